#include "app/app_main.h"

#include "app/headless_modes.h"
#include "platform/folders.h"
#include "platform/system.h"
#include "platform/temp_files.h"

namespace vesk {

int RunVeskRecorder(const std::vector<std::string>& args) {
  const CommandLine cmd = ScanArguments(args);
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
    case Mode::ProbeAudio: code = RunProbeAudioMode(cmd, data); break;
    case Mode::ProbeVideo: code = RunProbeVideoMode(cmd, data); break;
    case Mode::ProbePreview: code = RunProbePreviewMode(cmd, data); break;
    case Mode::WindowApp: break;
  }
  ReleaseMediaFoundation();
  UninitComForThread();
  return code;
}

}  // namespace vesk
