#include <windows.h>
#include <mfapi.h>
#include <objbase.h>

#include <atomic>

#include "platform/system.h"
#include "platform/win/wide.h"

namespace vesk {

bool InitComForThread(bool multithreaded) {
  const HRESULT hr = CoInitializeEx(
      nullptr, multithreaded ? COINIT_MULTITHREADED : (COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  return SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;
}

void UninitComForThread() { CoUninitialize(); }

static LONG WINAPI EndWithFaultCode(EXCEPTION_POINTERS* info) {
  TerminateProcess(GetCurrentProcess(), info && info->ExceptionRecord ? UINT(info->ExceptionRecord->ExceptionCode) : 1u);
  return EXCEPTION_EXECUTE_HANDLER;
}

void EndProcessOnUnhandledFault() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(EndWithFaultCode);
}

static std::atomic<int> g_mfRefs{0};

bool AcquireMediaFoundation() {
  if (g_mfRefs.fetch_add(1) == 0) return SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL));
  return true;
}

void ReleaseMediaFoundation() {
  if (g_mfRefs.fetch_sub(1) == 1) MFShutdown();
}

void ShowErrorBox(const char* utf8Text) {
  MessageBoxW(nullptr, Utf8ToWide(utf8Text).c_str(), L"VeskRecorder 录音机", MB_OK | MB_ICONERROR);
}

}  // namespace vesk

#include <shellapi.h>

namespace vesk {

std::vector<std::string> ProcessArguments(int, char**) {
  std::vector<std::string> out;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return out;
  for (int i = 0; i < count; ++i) out.push_back(WideToUtf8(argv[i]));
  LocalFree(argv);
  return out;
}

}  // namespace vesk
