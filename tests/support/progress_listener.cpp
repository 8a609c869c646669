// What the brief printer (--gtest_brief=1, used for the run under Wine) leaves
// out and scripts/run-tests.sh needs for its summary: the names of skipped
// tests with their reasons, and the test that was running when the program
// was killed for taking too long (kept in the file VESK_TEST_PROGRESS names).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

class ProgressListener final : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo& info) override {
    if (const char* file = std::getenv("VESK_TEST_PROGRESS"))
      std::ofstream(file, std::ios::trunc) << info.test_suite_name() << '.' << info.name() << '\n';
  }
  void OnTestEnd(const ::testing::TestInfo& info) override {
    if (!GTEST_FLAG_GET(brief) || !info.result()->Skipped()) return;
    std::string reason;
    for (int i = 0; i < info.result()->total_part_count(); ++i)
      if (info.result()->GetTestPartResult(i).skipped()) reason = info.result()->GetTestPartResult(i).message();
    reason = reason.substr(0, reason.find('\n'));
    std::printf("[  SKIPPED ] %s.%s: %s\n", info.test_suite_name(), info.name(), reason.c_str());
    std::fflush(stdout);
  }
};

const bool registered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new ProgressListener);
  return true;
}();

}  // namespace
