#pragma once
// Process-wide system services that only Windows has. On Linux they succeed
// without doing anything.

namespace vesk {

// COM for the calling thread; a changed threading mode counts as success.
bool InitComForThread(bool multithreaded);
void UninitComForThread();

// One process-wide count: the first acquisition starts Media Foundation, the
// release that brings the count to zero shuts it down.
bool AcquireMediaFoundation();
void ReleaseMediaFoundation();

// An error message box (never used by headless modes).
void ShowErrorBox(const char* utf8Text);

// A fault nobody handles ends the process at once with the fault's code as
// its exit code: no error-report dialog, no debugger (Windows). Linux
// processes end by the signal already.
void EndProcessOnUnhandledFault();

}  // namespace vesk

#include <string>
#include <vector>

namespace vesk {

// The process's arguments as UTF-8, program name first (CommandLineToArgvW on
// Windows, argv elsewhere).
std::vector<std::string> ProcessArguments(int argc, char** argv);

}  // namespace vesk
