#include <cstdio>

#include "app/app_main.h"
#include "core/version.h"
#include "platform/folders.h"
#include "platform/system.h"

namespace vesk {

static const char kUsage[] =
    "VeskRecorder %s\n"
    "Linux 版本目前只提供命令行模式：\n"
    "  --probe-audio <文件>                     读取音频文件并报告参数\n"
    "  --probe-video <文件>                     分析视频文件\n"
    "  --probe-preview <文件> [音轨]            解码试听片段\n"
    "  --denoise <输入> [输出]                  降噪\n"
    "  --export-video-edited <视频> <音频> [输出] 把音频写回视频\n"
    "  --selftest [秒数]                        自检\n"
    "报告写在数据文件夹：%s\n";

int RunWindowApplication(const CommandLine& cmd) {
  int code = 0;
  if (!cmd.dumpLayoutPath.empty()) {
    std::fprintf(stderr, "Linux 版本还没有窗口界面，无法导出窗口布局。\n");
    code = 1;
  } else {
    std::printf(kUsage, kVersion, DataFolder().c_str());
  }
  ReleaseMediaFoundation();
  UninitComForThread();
  return code;
}

}  // namespace vesk
