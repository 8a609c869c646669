// Without a headless option the Linux program, which has no window yet,
// prints its usage and exits 0.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace vesk {
namespace {

TEST(LinuxEntry, WithoutHeadlessOptionPrintsUsageAndSucceeds) {
  const test::RunResult r = test::RunProgram(test::BuiltProgramDir() / "VeskRecorder", {"--dev", "3"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.output.find("--probe-audio"), std::string::npos) << r.output;
  EXPECT_EQ(test::RunProgram(test::BuiltProgramDir() / "VeskRecorder", {"--dump-layout", "/tmp/x.json"}).exitCode, 1);
}

}  // namespace
}  // namespace vesk
