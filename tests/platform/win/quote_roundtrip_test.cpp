// Quoted arguments split back into the same arguments by the system splitter.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/win/wide.h"

namespace vesk {
namespace {

TEST(QuoteWindowsArgument, RoundTripsThroughCommandLineToArgvW) {
  const std::vector<std::string> args = {"a b", "", "x\\", "\"q\"", "C:\\dir with space\\", "中文 路径", "\\\\server\\s"};
  std::string line = "prog.exe";
  for (const auto& a : args) line += " " + QuoteWindowsArgument(a);
  int n = 0;
  LPWSTR* argv = CommandLineToArgvW(Utf8ToWide(line).c_str(), &n);
  ASSERT_NE(argv, nullptr);
  ASSERT_EQ(size_t(n), args.size() + 1);
  for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ(WideToUtf8(argv[i + 1]), args[i]) << i;
  LocalFree(argv);
}

}  // namespace
}  // namespace vesk
