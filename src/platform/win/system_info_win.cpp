#include <windows.h>

#include "platform/system_info.h"
#include "platform/text.h"

namespace vesk {

LocalTime LocalTimeNow() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.millisecond = st.wMilliseconds;
  return t;
}

unsigned long CurrentThreadId() { return GetCurrentThreadId(); }
unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

std::string OperatingSystemText() {
  // GetVersionEx lies to programs without a compatibility manifest; the
  // kernel's own query does not.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto fn = ntdll ? reinterpret_cast<RtlGetVersionFn>(
                        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                  : nullptr;
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!fn || fn(&info) != 0) return "Windows（版本未知）";
  return Format("Windows %lu.%lu（Build %lu）", info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
}

}  // namespace vesk
