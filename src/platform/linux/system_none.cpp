#include <cstdio>

#include "platform/system.h"

namespace vesk {

bool InitComForThread(bool) { return true; }
void UninitComForThread() {}
bool AcquireMediaFoundation() { return true; }
void ReleaseMediaFoundation() {}
void ShowErrorBox(const char* utf8Text) { std::fprintf(stderr, "%s\n", utf8Text); }
void EndProcessOnUnhandledFault() {}

}  // namespace vesk

namespace vesk {

std::vector<std::string> ProcessArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace vesk
