#include <windows.h>

#include "platform/process.h"
#include "platform/win/wide.h"

namespace vesk {

bool IsExecutableFile(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_DEVICE);
}

namespace {

// One job for all children, never closed by hand: the system closes it when
// the program ends, however it ends, and kills what is still in it.
HANDLE ChildrenJob() {
  static const HANDLE job = [] {
    HANDLE h = CreateJobObjectW(nullptr, nullptr);
    if (!h) return HANDLE(nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    // A child that faults ends at once with its exception code instead of
    // waiting on the system's error report (a helper running a broken
    // plug-in would otherwise hang behind a dialog).
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (!SetInformationJobObject(h, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
      CloseHandle(h);
      return HANDLE(nullptr);
    }
    return h;
  }();
  return job;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (process_) CloseHandle(reinterpret_cast<HANDLE>(process_));
}

bool ChildProcess::Start(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& outputFile, unsigned long* systemError) {
  std::string line = QuoteWindowsArgument(WideToUtf8(program.wstring()));
  for (const std::string& a : args) line += " " + QuoteWindowsArgument(a);
  std::wstring wline = Utf8ToWide(line);

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                          nullptr);
  HANDLE out = outputFile.empty()
                   ? CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr)
                   : CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = out;
  PROCESS_INFORMATION pi{};
  // Suspended until it is in the job, so not even its first instructions
  // run outside it.
  const BOOL ok = CreateProcessW(program.c_str(), wline.data(), nullptr, nullptr, TRUE,
                                 CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &si, &pi);
  const DWORD err = GetLastError();
  if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (!ok) {
    if (systemError) *systemError = err;
    return false;
  }
  // Without a job (or where the system refuses a nested one) the child
  // still runs, only without that guarantee.
  if (const HANDLE job = ChildrenJob()) AssignProcessToJobObject(job, pi.hProcess);
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  if (process_) CloseHandle(reinterpret_cast<HANDLE>(process_));
  process_ = reinterpret_cast<intptr_t>(pi.hProcess);
  started_ = true;
  ended_ = false;
  exitCode_ = -1;
  return true;
}

bool ChildProcess::Wait(int64_t timeoutMs) {
  if (!started_) return false;
  if (ended_) return true;
  const DWORD r = WaitForSingleObject(reinterpret_cast<HANDLE>(process_),
                                      timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
  if (r != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(reinterpret_cast<HANDLE>(process_), &code);
  exitCode_ = int(code);
  ended_ = true;
  return true;
}

void ChildProcess::Kill() {
  if (started_ && !ended_) {
    TerminateProcess(reinterpret_cast<HANDLE>(process_), 1);
    Wait(-1);
  }
}

}  // namespace vesk

