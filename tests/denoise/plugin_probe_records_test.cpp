// The probe verdict file and the isolation decision.
#include <gtest/gtest.h>

#include "denoise/plugin_probe.h"
#include "platform/text.h"

namespace vesk {
namespace {

TEST(ProbeRecords, RoundTripKeepsEveryFieldAndDropsLinesThatDoNotParse) {
  const std::vector<ProbeRecord> records = {
      {PathFromUtf8("/home/u/.vst3/甲 Voice De-noise.vst3/Contents/x86_64-linux/a.so"), {123456, -42},
       ProbeOutcome::Passed, "", false},
      {PathFromUtf8("C:\\VST3\\b\tc.vst3"), {8192, 1700000000123456789}, ProbeOutcome::Failed,
       "b.so：模块加载失败：/x/b.so: file too short\twith a tab\nand a line", true},
      {PathFromUtf8("/c.so"), {1, 2}, ProbeOutcome::Crashed, "试运行时崩溃（信号 7）", true},
      {PathFromUtf8("/d.so"), {3, 4}, ProbeOutcome::Hung, "试运行 20 秒没有结束，已停止它", true},
  };
  const std::string text = FormatProbeRecords(records);
  const std::string damaged = "garbage\npassed\t1\t2\t0\treason\t\nwhat\t1\t2\t0\t\t/e.so\npassed\t-1\t2\t0\t\t/f.so\n"
                              "passed\tx\t2\t0\t\t/g.so\n" + text;
  const std::vector<ProbeRecord> back = ParseProbeRecords(damaged);
  ASSERT_EQ(back.size(), records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(back[i].module, records[i].module) << i;
    EXPECT_EQ(back[i].stamp, records[i].stamp) << i;
    EXPECT_EQ(back[i].outcome, records[i].outcome) << i;
    EXPECT_EQ(back[i].everFailed, records[i].everFailed) << i;
    EXPECT_EQ(back[i].reason.find_first_of("\t\n"), std::string::npos) << i;
  }
  EXPECT_EQ(back[1].reason, "b.so：模块加载失败：/x/b.so: file too short with a tab\\nand a line");
}

TEST(ProbeRecords, IsolationFollowsTheChoiceElseAnyFailedProbe) {
  struct Case {
    int choice;
    bool everFailed;
    bool on;
  };
  for (const Case c : {Case{-1, false, false}, Case{-1, true, true}, Case{0, true, false}, Case{1, false, true}})
    EXPECT_EQ(PluginIsolationOn(c.choice, c.everFailed), c.on) << c.choice << " " << c.everFailed;
}

}  // namespace
}  // namespace vesk
