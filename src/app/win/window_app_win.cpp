// The Windows window application: single instance, main window, message loop.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/app_main.h"
#include "app/layout_json.h"
#include "core/version.h"
#include "core/app_log.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/win/wide.h"

namespace vesk {
namespace {

constexpr wchar_t kMutexName[] = L"Local\\VeskRecorder.SingleInstance.7E3A";
constexpr wchar_t kMainClass[] = L"VESKRecorderMain";
constexpr wchar_t kWaveClass[] = L"VESKWaveView";

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

BOOL CALLBACK CollectChild(HWND child, LPARAM lp) {
  auto* items = reinterpret_cast<std::vector<HWND>*>(lp);
  if (GetParent(child) == GetAncestor(child, GA_PARENT)) items->push_back(child);
  return TRUE;
}

bool WriteLayout(HWND main, const std::string& path) {
  const int dpi = 96;
  RECT rc{};
  GetClientRect(main, &rc);
  std::vector<HWND> children;
  EnumChildWindows(main, CollectChild, reinterpret_cast<LPARAM>(&children));
  std::vector<LayoutItem> items;
  for (HWND c : children) {
    LayoutItem it;
    wchar_t cls[256] = {};
    GetClassNameW(c, cls, 256);
    it.cls = WideToUtf8(cls);
    it.id = GetDlgCtrlID(c);
    const int len = GetWindowTextLengthW(c);
    std::wstring text(size_t(len) + 1, L'\0');
    GetWindowTextW(c, text.data(), len + 1);
    text.resize(size_t(len));
    it.text = WideToUtf8(text);
    it.key = it.id > 0 ? "id:" + std::to_string(it.id) : !it.text.empty() ? "text:" + it.text : "other";
    RECT wr{};
    GetWindowRect(c, &wr);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&wr), 2);
    it.x = To96Dpi(wr.left, dpi);
    it.y = To96Dpi(wr.top, dpi);
    it.w = To96Dpi(wr.right - wr.left, dpi);
    it.h = To96Dpi(wr.bottom - wr.top, dpi);
    items.push_back(it);
  }
  const std::string json = BuildLayoutJson(std::string("VeskRecorder ") + kVersion, dpi, rc.right - rc.left,
                                           rc.bottom - rc.top, items);
  File f;
  return f.OpenWrite(PathFromUtf8(path)) && f.Write(json.data(), json.size());
}

}  // namespace

int RunWindowApplication(const CommandLine& cmd) {
  const bool dump = !cmd.dumpLayoutPath.empty();
  HANDLE mutex = nullptr;
  if (!dump) {
    mutex = CreateMutexW(nullptr, TRUE, kMutexName);
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
      if (HWND other = FindWindowW(kMainClass, nullptr)) {
        if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
        SetForegroundWindow(other);
      }
      CloseHandle(mutex);
      ReleaseMediaFoundation();
      UninitComForThread();
      return 0;
    }
  }

  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  AppLogInit();
  AppLog("启动：pid=%lu", static_cast<unsigned long>(GetCurrentProcessId()));

  HINSTANCE inst = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainProc;
  wc.hInstance = inst;
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hIconSm = wc.hIcon;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainClass;
  WNDCLASSEXW wave{};
  wave.cbSize = sizeof wave;
  wave.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wave.lpfnWndProc = DefWindowProcW;
  wave.hInstance = inst;
  wave.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
  wave.lpszClassName = kWaveClass;
  if (!RegisterClassExW(&wc) || !RegisterClassExW(&wave)) {
    ShowErrorBox("注册窗口类失败。");
    AppLogShutdown();
    if (mutex) CloseHandle(mutex);
    return 1;
  }

  const std::wstring title = Utf8ToWide(std::string(kProductTitle) + " " + kVersion);
  HWND main = CreateWindowExW(0, kMainClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                              960, 640, nullptr, nullptr, inst, nullptr);
  if (!main) {
    ShowErrorBox("创建主窗口失败。");
    AppLogShutdown();
    if (mutex) CloseHandle(mutex);
    return 1;
  }

  if (dump) {
    WriteLayout(main, cmd.dumpLayoutPath);
    DestroyWindow(main);
    ReleaseMediaFoundation();
    AppLogShutdown();
    UninitComForThread();
    return 0;
  }

  STARTUPINFOW si{};
  si.cb = sizeof si;
  GetStartupInfoW(&si);
  ShowWindow(main, (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT);
  UpdateWindow(main);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(main, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  ReleaseMediaFoundation();
  AppLogShutdown();
  UninitComForThread();
  if (mutex) CloseHandle(mutex);
  return int(msg.wParam);
}

}  // namespace vesk
