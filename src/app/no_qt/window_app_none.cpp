// The window application of a Linux build without Qt: the usage text.
#include <cstdio>

#include "app/app_main.h"
#include "app/usage_text.h"
#include "platform/system.h"

namespace vesk {

int RunWindowApplication(const CommandLine& cmd) {
  if (!cmd.dumpLayoutPath.empty())
    std::fprintf(stderr, "这个版本没有窗口界面（构建时未带 Qt），无法导出窗口布局。\n");
  else
    std::fputs(UsageText("这个版本没有窗口界面（构建时未带 Qt），只提供命令行模式：").c_str(), stderr);
  ReleaseMediaFoundation();
  UninitComForThread();
  return 1;
}

}  // namespace vesk
