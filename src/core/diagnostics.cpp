#include "core/diagnostics.h"

#include <system_error>
#include <vector>

#include "core/app_log.h"
#include "platform/file.h"
#include "platform/file_ops.h"
#include "platform/folders.h"
#include "platform/system_info.h"
#include "platform/text.h"

namespace vesk {
namespace fs = std::filesystem;

namespace {

const char* SourceText(RecordSource source) {
  switch (source) {
    case RecordSource::ComputerSound: return "仅电脑声音";
    case RecordSource::Both: return "麦克风 + 电脑声音（两者）";
    case RecordSource::Microphone: break;
  }
  return "仅麦克风";
}

std::string OrDefault(const std::string& s) { return s.empty() ? "（跟随系统默认）" : s; }

const char* PluginStatusText(DenoisePluginStatus status) {
  switch (status) {
    case DenoisePluginStatus::FoundUnusable: return "插件状态：已找到但不可用（32 位辅助程序没就位？）";
    case DenoisePluginStatus::Usable: return "插件状态：可用";
    case DenoisePluginStatus::NotFound: break;
  }
  return "插件状态：未检测到（降噪用内置引擎）";
}

bool IsRegularFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

}  // namespace

std::string BuildEnvironmentSnapshot(const DiagnosticsState& s) {
  const AppLogStatus log = AppLogCurrentStatus();
  const LocalTime now = LocalTimeNow();
  std::string t;
  auto line = [&t](const std::string& text) { t += text + "\r\n"; };

  line(s.productTitle + " · 诊断信息");
  line(std::string(48, '='));
  line(Format("导出时间：%04u-%02u-%02u %02u:%02u:%02u", now.year, now.month, now.day, now.hour, now.minute,
              now.second));
  line("程序版本：" + s.version);
  line("系统：" + OperatingSystemText() + (sizeof(void*) == 8 ? " · 64 位程序" : " · 32 位程序"));
  line(Format("界面缩放：%d DPI（%d%%）", int(s.dpi), int(s.dpi) * 100 / 96));
  line("程序目录：" + PathToUtf8(s.programDir));
  line("配置文件：" + PathToUtf8(s.settingsPath));
  line("录音输出目录：" + PathToUtf8(s.outputDir));
  line("");

  line("【诊断日志】");
  line(log.previousRunUnclean ? "上次运行：**非正常结束**（崩溃 / 被强杀 / 断电 —— 日志已保留）"
                              : "上次运行：正常结束");
  line("本次会话日志：" + PathToUtf8(log.path));
  line("日志目录：" + PathToUtf8(log.folder));
  line(Format("本包日志：最近 %u 份会话日志（各自的 .prev 也一并带上）", kDiagnosticsLogCount));
  line("⚠ 按文件名时间戳从新到旧看：**最新那份是「导出这次」，前一份通常就是出问题那次**。");
  line("");

  line("【录音设置】");
  line(Format("声音来源：%s", SourceText(s.recSource)));
  line("录音设备：" + OrDefault(s.inDeviceName));
  line("  设备 ID：" + OrDefault(s.inDeviceId));
  line("播放设备：" + OrDefault(s.outDeviceName));
  line("  设备 ID：" + OrDefault(s.outDeviceId));
  line(Format("录制格式：%u Hz / %u bit / %u 声道", s.recordRate, s.recordBits, s.recordChannels));
  line("");

  line("【剪辑区】");
  if (s.docEmpty) {
    line("状态：空（还没录音或导入）");
  } else {
    const double seconds = s.docRate ? double(s.docFrames) / double(s.docRate) : 0.0;
    line(Format("状态：有素材 · 时长 %.2f 秒 · %u Hz / %u bit / %u 声道", seconds, s.docRate, s.docSourceBits,
                s.docChannels));
    line(Format("帧数：%llu", static_cast<unsigned long long>(s.docFrames)));
    if (s.docHasCuts) line("（这份素材做过剪辑：删除/裁剪过）");
  }
  line("");

  line("【降噪】");
  line(s.denoiseOn ? "开关：开" : "开关：关");
  line(std::string("试听档位：") + DenoiseLevelName(s.denoiseLevel) + " · 选区档位：" +
       DenoiseLevelName(s.selDenoiseLevel));
  line("引擎：" + (s.engineName.empty() ? std::string("（未检测到）") : s.engineName));
  line(PluginStatusText(s.pluginStatus));
  if (!s.pluginPath.empty()) line("插件路径：" + s.pluginPath);
  line("");

  line("【运行状态】");
  line(s.recording ? "正在录音：是" : "正在录音：否");
  line(Format("本次会话丢帧：%llu", static_cast<unsigned long long>(s.droppedFrames)));
  return t;
}

std::string DiagnosticsFolderName(const std::string& version, unsigned year, unsigned month, unsigned day,
                                  unsigned hour, unsigned minute) {
  return "VESK诊断日志-v" + version + "-" + Format("%04u%02u%02u-%02u%02u", year, month, day, hour, minute);
}

fs::path ExportDiagnostics(const std::string& version, const std::string& snapshot, std::string& note) {
  return ExportDiagnosticsTo(DesktopDir(), version, snapshot, note);
}

fs::path ExportDiagnosticsTo(const fs::path& desktop, const std::string& version, const std::string& snapshot,
                             std::string& note) {
  note.clear();
  const AppLogStatus initial = AppLogCurrentStatus();
  if (!initial.started || !initial.open) {
    note = "日志模块还没初始化";
    return {};
  }
  std::error_code ec;
  const bool haveDesktop = !desktop.empty() && fs::is_directory(desktop, ec);
  const fs::path base = haveDesktop ? desktop : initial.folder;

  fs::path package;
  int copied = 0;
  AppLogRunLocked([&](const AppLogStatus& log) {
    if (!log.open) {
      note = "日志模块已关闭";
      return;
    }
    const LocalTime now = LocalTimeNow();
    const fs::path folder =
        base / PathFromUtf8(DiagnosticsFolderName(version, now.year, now.month, now.day, now.hour, now.minute));
    unsigned long error = 0;
    if (!CreateDirectoryTree(folder, error) && !IsAlreadyExistsError(error)) {
      note = Format("建导出目录失败（错误码 %lu）", error);
      return;
    }
    package = folder;
    for (const std::string& name : SelectNewestLogs(ListRegularFileNames(log.folder), kDiagnosticsLogCount)) {
      const fs::path from = log.folder / PathFromUtf8(name);
      if (CopyFileReplacing(from, folder / PathFromUtf8(name))) ++copied;
      const fs::path prev = log.folder / PathFromUtf8(name + ".prev");
      if (IsRegularFile(prev) && CopyFileReplacing(prev, folder / PathFromUtf8(name + ".prev"))) ++copied;
    }
  });
  if (package.empty()) return {};

  File snapshotFile;
  if (snapshotFile.OpenWrite(package / PathFromUtf8(kSnapshotFileName))) {
    const std::string bytes = "\xEF\xBB\xBF" + snapshot;
    snapshotFile.Write(bytes.data(), bytes.size());
  }
  if (copied == 0) {
    note = "日志文件拷贝失败（磁盘只读或被占用？）";
    return {};
  }
  if (!haveDesktop) note = "桌面不可用，已导出到日志目录";
  return package;
}

}  // namespace vesk
