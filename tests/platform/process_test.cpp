// Child processes and the Windows command-line quoting rules.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/process.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace vesk {
namespace {

TEST(QuoteWindowsArgument, QuotesOnlyWhatTheSplitterWouldBreak) {
  const std::pair<const char*, const char*> cases[] = {
      {"plain", "plain"},
      {"", "\"\""},
      {"with space", "\"with space\""},
      {"C:\\Program Files\\", "\"C:\\Program Files\\\\\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"a\\\\\"b", "\"a\\\\\\\\\\\"b\""},
      {"C:\\no\\space\\", "C:\\no\\space\\"},
      {"tab\there", "\"tab\there\""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(QuoteWindowsArgument(in), out) << in;
}

TEST(ChildProcess, ReportsExitCodeAndOutputOfARealProgram) {
  // The helper program refuses an incomplete command line with exit code 1
  // and writes its report next to the --out path.
  test::ScratchDir dir;
  // (The x64 helper where Wine can start no 32-bit program: same program.)
  const auto helper =
      test::BuiltProgramDir() / test::ProgramFileName(std::getenv("VESK_WINE_NO_32BIT") ? "VeskDenoise64" : "VeskDenoise32");
  const test::RunResult r = test::RunProgram(helper, {"--out", PathToUtf8(dir / "out 1.f32")});
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(test::ReadText(dir / "out 1.f32.log").find("参数不完整（需要 --plugin/--in/--out）"), std::string::npos);

  ChildProcess missing;
  unsigned long err = 0;
  EXPECT_FALSE(missing.Start(dir / "no-such-program", {}, {}, &err));
  EXPECT_NE(err, 0u);
}

}  // namespace
}  // namespace vesk
