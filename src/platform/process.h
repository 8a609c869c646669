#pragma once
// Child processes: started from an argument list (no shell), standard input
// from the null device, standard output and error to a file or the null
// device, without a window. A child never outlives the program, also when
// the program is killed (Linux: killed when the thread that started it ends,
// so start and wait on one thread; Windows: a job object that kills its
// processes when the program's handle to it closes).
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/system_info.h"  // CurrentProcessId

namespace vesk {

class ChildProcess {
 public:
  ChildProcess() = default;
  // Closes the handles; a still running child keeps running.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // args excludes the program itself. outputFile empty = the null device.
  // On failure `systemError` receives the OS error number.
  bool Start(const std::filesystem::path& program, const std::vector<std::string>& args,
             const std::filesystem::path& outputFile, unsigned long* systemError = nullptr);
  // Waits at most timeoutMs (negative = without limit). True once the child
  // has ended; ExitCode is valid then.
  bool Wait(int64_t timeoutMs);
  int ExitCode() const { return exitCode_; }
  void Kill();
  bool Running() const { return started_ && !ended_; }

 private:
  intptr_t process_ = 0;  // pid on Linux, process HANDLE on Windows
  bool started_ = false;
  bool ended_ = false;
  int exitCode_ = -1;
};

// True when `path` (links followed) is a regular file this process may
// start: on Linux one with execute permission for us; on Windows any
// regular file (the system decides at start).
bool IsExecutableFile(const std::filesystem::path& path);

// One argument quoted for a Windows command line by the rules the C runtime
// and CommandLineToArgvW use to split it again. Pure; used by the Windows
// backend and unit-tested everywhere.
std::string QuoteWindowsArgument(const std::string& arg);

}  // namespace vesk
