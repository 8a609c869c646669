#include <gtest/gtest.h>

#include "ui/box_text.h"

namespace vesk::ui {
namespace {

std::string Repeat(const std::string& piece, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += piece;
  return s;
}

TEST(CapBoxText, LongLinesAndManyLinesAreCutWithAMark) {
  struct Case {
    const char* name;
    std::string in, out;
  };
  const std::string line = Repeat("设", kBoxLineChars);
  const Case cases[] = {
      {"short", "无法打开设备：\nabc", "无法打开设备：\nabc"},
      {"exactly full", line, line},
      {"a 50,000-character name", "设备：" + Repeat("名", 50000) + "\n下一行",
       "设备：" + Repeat("名", kBoxLineChars - 3) + "…\n下一行"},
      {"too many lines", Repeat("x\n", 100), Repeat("x\n", kBoxLines - 1) + "x…"},
  };
  for (const Case& c : cases) EXPECT_EQ(CapBoxText(c.in), c.out) << c.name;
}

}  // namespace
}  // namespace vesk::ui
