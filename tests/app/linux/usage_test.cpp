// Without a headless option the Linux program, which has no window yet,
// prints its usage and exits 0.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace vesk {
namespace {

TEST(LinuxEntry, WithoutHeadlessOptionPrintsUsageAndSucceeds) {
  test::ScratchDir dir;
  const std::filesystem::path program = test::CopyBuiltProgram("VeskRecorder", dir.path());
  const test::RunResult r = test::RunProgram(program, {"--dev", "3"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.output.find("--probe-audio"), std::string::npos) << r.output;
  EXPECT_EQ(test::RunProgram(program, {"--dump-layout", (dir / "x.json").string()}).exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.json")) << "there is no window to dump";
}

}  // namespace
}  // namespace vesk
