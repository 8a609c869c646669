#include "app/app_main.h"

#include <cstdio>

#include "app/headless_modes.h"
#include "app/usage_text.h"
#include "platform/folders.h"
#include "platform/system.h"
#include "platform/temp_files.h"
#include "platform/text.h"

namespace vesk {

int RunVeskRecorder(const std::vector<std::string>& args) {
  const CommandLine cmd = ScanArguments(args);
  if (!cmd.unknownOption.empty()) {
    // A typo must not start a window or a different mode.
    std::fputs(UsageText("未知选项：" + cmd.unknownOption).c_str(), stderr);
    return 2;
  }
  const Mode mode = SelectMode(cmd);

  if (!InitComForThread(WantsMultithreadedCom(cmd))) {
    if (!cmd.selfTest) ShowErrorBox("COM 初始化失败，程序无法启动。");
    return 1;
  }
  AcquireMediaFoundation();

  if (mode == Mode::WindowApp) {
    // What a killed run left (an export's audio, a helper exchange, a save's
    // staging) goes before anything new is made.
    RemoveStaleTemporaries();
    // The window application releases Media Foundation and COM itself, in
    // its own shut-down order.
    return RunWindowApplication(cmd);
  }

  int code = 1;
  const std::filesystem::path& data = DataFolder();
  switch (mode) {
    case Mode::SelfTest: code = RunSelfTestMode(cmd, data); break;
    case Mode::ExportVideo: code = RunExportVideoMode(cmd, data); break;
    case Mode::Denoise: code = RunDenoiseMode(cmd, data); break;
    case Mode::Loudness: code = RunLoudnessMode(cmd, data); break;
    case Mode::ProbeAudio: code = RunProbeAudioMode(cmd, data); break;
    case Mode::ProbeVideo: code = RunProbeVideoMode(cmd, data); break;
    case Mode::ProbePreview: code = RunProbePreviewMode(cmd, data); break;
    case Mode::Edit: code = RunEditMode(cmd, data); break;
    case Mode::WindowApp: break;
  }
  ReleaseMediaFoundation();
  UninitComForThread();
  return code;
}

std::filesystem::path HandedOverPath(const CommandLine& cmd) {
  if (cmd.openPath.empty()) return {};
  const std::filesystem::path path = PathFromUtf8(cmd.openPath);
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute;
}

}  // namespace vesk
