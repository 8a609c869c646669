#include <gtest/gtest.h>

#include <set>

#include "core/diagnostics.h"
#include "core/log_fixture.h"
#include "platform/system_info.h"

namespace vesk {
namespace {
namespace fs = std::filesystem;
using test::SplitCrLf;

const std::string kClean = "\xEF\xBB\xBF" "10:00:00.000 [tid=1] ==== 日志结束 ====\r\n";

class DiagnosticsTest : public test::LogFolderTest {
 protected:
  fs::path Desktop() {
    fs::create_directories(scratch_ / "Desktop");
    return scratch_ / "Desktop";
  }
  static std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(PathToUtf8(entry.path().filename()));
    return names;
  }
  std::string CurrentLogName() const { return PathToUtf8(AppLogCurrentStatus().path.filename()); }
};

TEST_F(DiagnosticsTest, RefusesBeforeTheLogIsOpen) {
  std::string note;
  EXPECT_TRUE(ExportDiagnosticsTo(Desktop(), "0.9.124", "x", note).empty());
  AppLogInit();
  AppLogShutdown();
  EXPECT_TRUE(ExportDiagnosticsTo(Desktop(), "0.9.124", "x", note).empty());
  EXPECT_EQ(note, "日志模块还没初始化");
}

TEST_F(DiagnosticsTest, FirstRunPackageHoldsTheOneLogAndTheSnapshot) {
  AppLogInit();
  std::string note = "stale";
  const fs::path package = ExportDiagnosticsTo(Desktop(), "0.9.124", "快照\r\n", note);
  ASSERT_FALSE(package.empty()) << note;
  EXPECT_EQ(note, "");
  EXPECT_EQ(package.parent_path(), scratch_ / "Desktop");
  const std::string name = PathToUtf8(package.filename());
  EXPECT_EQ(name.rfind("VESK诊断日志-v0.9.124-", 0), 0u) << name;
  EXPECT_EQ(name.size(), std::string("VESK诊断日志-v0.9.124-").size() + 13);
  EXPECT_EQ(Names(package), (std::set<std::string>{CurrentLogName(), kSnapshotFileName}));
  EXPECT_EQ(test::ReadText(package / PathFromUtf8(kSnapshotFileName)), "\xEF\xBB\xBF快照\r\n");
  EXPECT_EQ(test::ReadText(package / CurrentLogName()), test::ReadText(AppLogCurrentStatus().path));
}

TEST_F(DiagnosticsTest, AfterACrashThePackageHoldsTheThreeNewestLogsAndTheirPrevFiles) {
  WriteLog("VeskRecorder-20200101-100000-1.log", kClean);
  WriteLog("VeskRecorder-20200102-100000-2.log", kClean);
  WriteLog("VeskRecorder-20200102-100000-2.log.prev", "rotated");
  WriteLog("VeskRecorder-20200103-100000-3.log", "\xEF\xBB\xBF" "10:00:00.000 [tid=1] [rec] cut off");
  AppLogInit();
  ASSERT_TRUE(AppLogPreviousRunUnclean());

  DiagnosticsState state;
  state.productTitle = "VeskRecorder 录音机";
  const std::string snapshot = BuildEnvironmentSnapshot(state);
  EXPECT_NE(snapshot.find("\r\n上次运行：**非正常结束**（崩溃 / 被强杀 / 断电 —— 日志已保留）\r\n"), std::string::npos);
  std::string note;
  const fs::path package = ExportDiagnosticsTo(Desktop(), "0.9.124", snapshot, note);
  ASSERT_FALSE(package.empty()) << note;
  EXPECT_EQ(Names(package), (std::set<std::string>{CurrentLogName(), "VeskRecorder-20200103-100000-3.log",
                                                   "VeskRecorder-20200102-100000-2.log",
                                                   "VeskRecorder-20200102-100000-2.log.prev", kSnapshotFileName}));
}

TEST_F(DiagnosticsTest, ExportingTwiceInOneMinuteOverwritesTheSameFolder) {
  AppLogInit();
  fs::path first, second;
  std::string note;
  for (int attempt = 0; attempt < 2; ++attempt) {  // retry once if a minute boundary fell between
    first = ExportDiagnosticsTo(Desktop(), "0.9.124", "first", note);
    AppLog("[test] between exports");
    second = ExportDiagnosticsTo(Desktop(), "0.9.124", "second", note);
    if (first == second) break;
  }
  ASSERT_EQ(first, second);
  EXPECT_EQ(test::ReadText(second / PathFromUtf8(kSnapshotFileName)), "\xEF\xBB\xBF" "second");
  EXPECT_EQ(test::ReadText(second / CurrentLogName()), test::ReadText(AppLogCurrentStatus().path));
  EXPECT_EQ(Names(scratch_ / "Desktop").size(), 1u);
}

TEST_F(DiagnosticsTest, WithoutADesktopThePackageGoesIntoTheLogFolder) {
  AppLogInit();
  for (const fs::path& desktop : {fs::path(), scratch_ / "no-such-desktop"}) {
    std::string note;
    const fs::path package = ExportDiagnosticsTo(desktop, "0.9.124", "s", note);
    ASSERT_FALSE(package.empty()) << note;
    EXPECT_EQ(package.parent_path(), logs_);
    EXPECT_EQ(note, "桌面不可用，已导出到日志目录");
    EXPECT_FALSE(fs::exists(scratch_ / "no-such-desktop"));
  }
}

TEST_F(DiagnosticsTest, WhenNoLogCanBeCopiedNoPackageIsReported) {
  AppLogInit();
  // A plain file where the package folder goes (for this minute and the
  // next): the folder "exists", every copy into it fails.
  const fs::path desktop = Desktop();
  for (int extra = 0; extra < 2; ++extra) {
    LocalTime t = LocalTimeNow();
    unsigned minute = t.minute + unsigned(extra), hour = t.hour;
    if (minute == 60) minute = 0, hour = (hour + 1) % 24;
    test::WriteBytes(desktop / PathFromUtf8(DiagnosticsFolderName("0.9.124", t.year, t.month, t.day, hour, minute)),
                     {'x'});
  }
  std::string note;
  EXPECT_TRUE(ExportDiagnosticsTo(desktop, "0.9.124", "s", note).empty());
  EXPECT_EQ(note, "日志文件拷贝失败（磁盘只读或被占用？）");
}

TEST_F(DiagnosticsTest, SnapshotListsEverySectionWithCrLfLines) {
  AppLogInit();
  DiagnosticsState s;
  s.productTitle = "VeskRecorder 录音机";
  s.version = "0.9.124";
  s.dpi = 144;
  s.programDir = PathFromUtf8("C:\\Program Files\\VeskRecorder");
  s.settingsPath = PathFromUtf8("C:\\Program Files\\VeskRecorder\\VeskRecorder.ini");
  s.outputDir = PathFromUtf8("D:\\录音\\");
  s.recSource = RecordSource::Both;
  s.inDeviceName = "麦克风 (USB)";
  s.inDeviceId = "{0.0.1.00000000}.{abc}";
  s.recordRate = 44100;
  s.recordBits = 24;
  s.recordChannels = 1;
  s.docEmpty = false;
  s.docFrames = 132300;
  s.docRate = 44100;
  s.docSourceBits = 24;
  s.docChannels = 2;
  s.docHasCuts = true;
  s.denoiseOn = true;
  s.denoiseLevel = 0;
  s.selDenoiseLevel = 2;
  s.engineName = "Voice De-noise (64 位)";
  s.pluginStatus = DenoisePluginStatus::FoundUnusable;
  s.pluginPath = "C:\\VST3\\Voice De-noise.vst3";
  s.recording = true;
  s.droppedFrames = 17;

  const std::string text = BuildEnvironmentSnapshot(s);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') {
      ASSERT_EQ(text[i - 1], '\r') << i;
    }
  const std::vector<std::string> lines = SplitCrLf(text);
  const AppLogStatus log = AppLogCurrentStatus();
  const std::vector<std::string> expected = {
      "VeskRecorder 录音机 · 诊断信息",
      std::string(48, '='),
      "",  // export time, checked below
      "程序版本：0.9.124",
      "",  // system, checked below
      "界面缩放：144 DPI（150%）",
      "程序目录：C:\\Program Files\\VeskRecorder",
      "配置文件：C:\\Program Files\\VeskRecorder\\VeskRecorder.ini",
      "录音输出目录：D:\\录音\\",
      "",
      "【诊断日志】",
      "上次运行：正常结束",
      "本次会话日志：" + PathToUtf8(log.path),
      "日志目录：" + PathToUtf8(log.folder),
      "本包日志：最近 3 份会话日志（各自的 .prev 也一并带上）",
      "⚠ 按文件名时间戳从新到旧看：**最新那份是「导出这次」，前一份通常就是出问题那次**。",
      "",
      "【录音设置】",
      "声音来源：麦克风 + 电脑声音（两者）",
      "录音设备：麦克风 (USB)",
      "  设备 ID：{0.0.1.00000000}.{abc}",
      "播放设备：（跟随系统默认）",
      "  设备 ID：（跟随系统默认）",
      "录制格式：44100 Hz / 24 bit / 1 声道",
      "",
      "【剪辑区】",
      "状态：有素材 · 时长 3.00 秒 · 44100 Hz / 24 bit / 2 声道",
      "帧数：132300",
      "（这份素材做过剪辑：删除/裁剪过）",
      "",
      "【降噪】",
      "开关：开",
      "试听档位：激进 · 选区档位：轻柔",
      "引擎：Voice De-noise (64 位)",
      "插件状态：已找到但不可用（32 位辅助程序没就位？）",
      "插件路径：C:\\VST3\\Voice De-noise.vst3",
      "",
      "【运行状态】",
      "正在录音：是",
      "本次会话丢帧：17",
  };
  ASSERT_EQ(lines.size(), expected.size()) << text;
  for (size_t i = 0; i < expected.size(); ++i)
    if (i != 2 && i != 4) {
      EXPECT_EQ(lines[i], expected[i]) << "line " << i;
    }
  EXPECT_EQ(lines[2].rfind("导出时间：", 0), 0u);
  EXPECT_EQ(lines[2].size(), std::string("导出时间：").size() + 19);
  EXPECT_EQ(lines[4].rfind("系统：", 0), 0u);
  EXPECT_EQ(lines[4].substr(lines[4].size() - std::string(" · 64 位程序").size()), " · 64 位程序");
}

TEST_F(DiagnosticsTest, SnapshotOfAnIdleProgramUsesTheEmptyTexts) {
  DiagnosticsState s;
  const std::string text = BuildEnvironmentSnapshot(s);
  for (const char* line : {"\r\n状态：空（还没录音或导入）\r\n", "\r\n开关：关\r\n", "\r\n引擎：（未检测到）\r\n",
                           "\r\n插件状态：未检测到（降噪用内置引擎）\r\n",
                           "\r\n声音来源：仅麦克风\r\n", "\r\n正在录音：否\r\n", "\r\n试听档位：均衡 · 选区档位：均衡\r\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_EQ(text.find("插件路径："), std::string::npos);
  EXPECT_EQ(text.find("帧数："), std::string::npos);
}

}  // namespace
}  // namespace vesk
