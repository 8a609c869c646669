#pragma once
// What the Win32 window tests share: a main window over in-memory devices,
// a message pump that runs the program's own loop rules, a reader for the
// layout dump, and a way to act inside modal loops.
#include <windows.h>
#include <objidl.h>
// GDI+ expects min/max, which NOMINMAX takes away.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_backend.h"
#include "audio/capture_stream.h"
#include "audio/memory_device_backend.h"
#include "audio/memory_streams.h"
#include "audio/playback_stream.h"
#include "support/test_support.h"
#include "ui/app_parts.h"
#include "ui/win/main_window_win.h"

namespace vesk::ui::win::test {

using vesk::test::ScratchDir;
using vesk::test::WriteBytes;

// The in-memory sound system: two microphones and one output; the
// microphone delivers a tone at the pace of the wall clock.
inline AppParts FakeParts() {
  auto devices = std::make_unique<MemoryDeviceBackend>(std::vector<DeviceEntry>{
      {"mic-1", "麦克风 (USB Audio)", false, true, kDeviceActive},
      {"mic-2", "线路输入", false, false, kDeviceActive},
      {"spk-1", "扬声器 (Realtek Audio)", true, true, kDeviceActive}});
  AppParts parts;
  parts.microphone = std::make_unique<MemoryCaptureStream>(devices.get());
  parts.loopback = std::make_unique<MemoryCaptureStream>(devices.get());
  parts.playback = std::make_unique<MemoryPlaybackStream>(devices.get());
  parts.devices = std::move(devices);
  return parts;
}

// Settings, output folder, desktop and log in `dir`; `ini` lines, when
// given, are the settings file's content.
inline AppOptions WindowOptions(const ScratchDir& dir, const std::vector<std::string>& ini = {}) {
  if (!ini.empty()) {
    std::string text = "[VeskRecorder]\r\n";
    for (const std::string& line : ini) text += line + "\r\n";
    WriteBytes(dir / "VeskRecorder.ini", std::vector<uint8_t>(text.begin(), text.end()));
  }
  AppOptions options;
  options.settingsFile = dir / "VeskRecorder.ini";
  options.settingsEnvironment = {dir.path(), dir.path()};
  options.scanPlugins = false;
  options.desktopDir = dir / "desktop";
  options.logFile = dir / "logs" / "current.log";
  options.logFolder = dir / "logs";
  return options;
}

// The window and its controller, built as the program builds them; the
// window is destroyed while the controller exists, the controller goes
// before the window object.
class TestWindow {
 public:
  TestWindow() = default;
  TestWindow(TestWindow&&) = default;
  TestWindow& operator=(TestWindow&& other) {
    reset();
    window_ = std::move(other.window_);
    controller_ = std::move(other.controller_);
    return *this;
  }
  ~TestWindow() { reset(); }
  void reset() {
    if (window_) window_->Destroy();
    controller_.reset();
    window_.reset();
  }
  MainWindow* operator->() const { return window_.get(); }
  MainWindow& operator*() const { return *window_; }
  MainWindow* get() const { return window_.get(); }
  bool operator==(std::nullptr_t) const { return window_ == nullptr; }

 private:
  friend TestWindow MakeWindow(bool, AppOptions, AppParts);
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<AppController> controller_;
};

inline TestWindow MakeWindow(bool show, AppOptions options = {}, AppParts parts = FakeParts()) {
  TestWindow made;
  made.window_ = std::make_unique<MainWindow>();
  made.controller_ = std::make_unique<AppController>(std::move(parts), *made.window_, *made.window_, std::move(options));
  made.window_->Attach(*made.controller_);
  MainWindowOptions o;
  o.headless = !show;
  o.showCommand = SW_SHOWNOACTIVATE;
  o.quitOnDestroy = false;
  if (!made.window_->Create(o)) made.reset();
  return made;
}

// Runs the message loop as the program does for `ms` milliseconds.
inline void Pump(MainWindow* window, int ms = 60) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (window && window->PreTranslate(m)) continue;
      if (window && window->Handle() && IsDialogMessageW(window->Handle(), &m)) continue;
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < end);
}
inline void Pump(MainWindow& window, int ms = 60) { Pump(&window, ms); }
inline void Pump() { Pump(nullptr); }

inline HWND KeyedView(const MainWindow& window, const std::string& key) {
  for (const auto& c : window.Snapshot().children)
    if (c.key == key) return c.hwnd;
  return nullptr;
}
inline std::string StatusText(const MainWindow& window) {
  return WideToUtf8(WindowTextOf(KeyedView(window, "status")));
}

// Calls `act` from inside whatever modal loop runs once a window of class
// `cls` of this thread is visible (a dialog, a message box "#32770").
inline void WhenWindowAppears(const wchar_t* cls, std::function<void(HWND)> act) {
  struct Pending {
    std::wstring cls;
    std::function<void(HWND)> act;
    UINT_PTR timer = 0;
  };
  static Pending pending;
  pending = {cls, std::move(act), 0};
  pending.timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM lp) -> BOOL {
          if (IsWindowVisible(h) && ClassOf(h) == pending.cls) {
            *reinterpret_cast<HWND*>(lp) = h;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (!found) return;
    KillTimer(nullptr, id);
    auto act = std::move(pending.act);
    pending.act = nullptr;
    if (act) act(found);
  });
}

// Answers the next message box with Yes (or OK) or No and keeps its text.
inline void AnswerNextBox(bool yes, std::string* text = nullptr) {
  WhenWindowAppears(L"#32770", [yes, text](HWND box) {
    std::string longest;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      if (_wcsicmp(ClassOf(c).c_str(), L"Static") != 0) continue;
      const std::string t = WideToUtf8(WindowTextOf(c));
      if (t.size() > longest.size()) longest = t;
    }
    if (text) *text = longest;
    HWND button = GetDlgItem(box, yes ? IDYES : IDNO);
    if (!button && yes) button = GetDlgItem(box, IDOK);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
  });
}

// A popup menu as it is shown: the items in order, and which is checked.
struct MenuEntry {
  std::string text;  // "-" for a separator
  bool checked = false;
  bool grayed = false;
};

// Reads the next popup menu that opens and picks the item `pick` with the
// keyboard as a person does (an empty `pick` closes the menu); `then` runs
// once the keys are on their way (to wait for what the pick brings up).
inline void ChooseInNextMenu(const std::string& pick, std::vector<MenuEntry>* seen,
                             std::function<void()> then = nullptr) {
  WhenWindowAppears(L"#32768", [pick, seen, then](HWND popup) {
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    std::vector<MenuEntry> entries;
    const int count = GetMenuItemCount(menu);
    int steps = -1;
    for (int i = 0, selectable = 0; i < count; ++i) {
      const UINT state = GetMenuState(menu, UINT(i), MF_BYPOSITION);
      MenuEntry e;
      if (state & MF_SEPARATOR) {
        e.text = "-";
      } else {
        wchar_t text[256] = {};
        GetMenuStringW(menu, UINT(i), text, 256, MF_BYPOSITION);
        e.text = WideToUtf8(text);
        e.checked = state & MF_CHECKED;
        e.grayed = state & (MF_GRAYED | MF_DISABLED);
        ++selectable;
        if (e.text == pick) steps = selectable;
      }
      entries.push_back(e);
    }
    if (seen) *seen = entries;
    if (steps < 0) {
      PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
      for (int i = 0; i < steps; ++i) PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
      PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
    }
    if (then) then();
  });
}

// Fills in the next file dialog with `file` and accepts it.
inline void AcceptNextFileDialog(const std::filesystem::path& file) {
  WhenWindowAppears(L"#32770", [file](HWND dialog) {
    std::vector<HWND> edits;
    EnumChildWindows(
        dialog,
        [](HWND h, LPARAM lp) -> BOOL {
          if (_wcsicmp(ClassOf(h).c_str(), L"Edit") == 0 && IsWindowVisible(h))
            reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&edits));
    for (HWND e : edits) SetWindowTextW(e, file.wstring().c_str());
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  });
}

// Runs the loop until `done` or `ms` have passed; true when done.
inline bool PumpUntil(MainWindow& window, const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    Pump(window, 10);
  }
  return true;
}

// ---- Pixels ----

// A 32-bit top-down copy of what a window shows.
struct Capture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB
  uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)] & 0xFFFFFF; }
};

// The waveform view paints itself into a bitmap (WM_PRINTCLIENT), the same
// code path as its WM_PAINT.
inline Capture CaptureClient(HWND hwnd, UINT message = WM_PRINTCLIENT) {
  RECT rc{};
  GetClientRect(hwnd, &rc);
  Capture c;
  c.width = rc.right;
  c.height = rc.bottom;
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), c.width, -c.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC mem = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(mem, dib);
  if (message == WM_PRINTCLIENT) {
    SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
  } else {
    // What is on the screen: the window with its children, as composed.
    HDC wdc = GetDC(hwnd);
    BitBlt(mem, 0, 0, c.width, c.height, wdc, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, wdc);
  }
  GdiFlush();
  const auto* p = static_cast<const uint32_t*>(bits);
  c.pixels.assign(p, p + size_t(c.width) * size_t(c.height));
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(dib);
  ReleaseDC(nullptr, screen);
  return c;
}

// What the screen shows inside `r` (screen coordinates), whichever process
// owns the windows there.
inline Capture CaptureScreen(const RECT& r) {
  Capture c;
  c.width = r.right - r.left;
  c.height = r.bottom - r.top;
  if (c.width <= 0 || c.height <= 0) return c;
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), c.width, -c.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC mem = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(mem, dib);
  BitBlt(mem, 0, 0, c.width, c.height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const auto* p = static_cast<const uint32_t*>(bits);
  c.pixels.assign(p, p + size_t(c.width) * size_t(c.height));
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(dib);
  ReleaseDC(nullptr, screen);
  return c;
}

// Writes a capture as a PNG file.
inline bool SavePng(const Capture& c, const std::filesystem::path& file) {
  if (c.width <= 0 || c.height <= 0) return false;
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
  bool ok = false;
  {
    std::vector<uint32_t> opaque(c.pixels);
    for (uint32_t& px : opaque) px |= 0xFF000000u;
    Gdiplus::Bitmap bitmap(c.width, c.height, c.width * 4, PixelFormat32bppARGB,
                           reinterpret_cast<BYTE*>(opaque.data()));
    // The PNG encoder of GDI+.
    const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    ok = bitmap.Save(file.wstring().c_str(), &png, nullptr) == Gdiplus::Ok;
  }
  Gdiplus::GdiplusShutdown(token);
  return ok;
}

// Saves a window's client area as it is on the screen to a PNG file.
inline bool SaveScreenshot(HWND hwnd, const std::filesystem::path& file) {
  return SavePng(CaptureClient(hwnd, 0), file);
}

// build/<preset>/screens/<name>.png, next to the programs' folder.
inline std::filesystem::path ScreenshotPath(const std::string& name) {
  return vesk::test::BuiltProgramDir().parent_path() / "screens" / (name + ".png");
}

// ---- The layout dump ----

struct DumpedItem {
  std::string key, cls, text;
  int id = 0;
  double x = 0, y = 0, w = 0, h = 0;
  bool isCombo = false;
  int sel = -1;
  std::vector<std::string> options;
};
struct LayoutDump {
  int dpi = 0, clientW = 0, clientH = 0;
  std::vector<DumpedItem> items;
};

// Reads the dump's fixed one-item-per-line shape.
inline LayoutDump ParseLayoutDump(const std::string& json) {
  LayoutDump d;
  std::smatch m;
  if (std::regex_search(json, m, std::regex(R"("dpi": (\d+))"))) d.dpi = std::stoi(m[1]);
  if (std::regex_search(json, m, std::regex(R"("client": \{"w": (\d+), "h": (\d+)\})"))) {
    d.clientW = std::stoi(m[1]);
    d.clientH = std::stoi(m[2]);
  }
  const std::regex item(
      R"re(\{"key": "((?:[^"\\]|\\.)*)", "cls": "([^"]*)", "id": (-?\d+), "text": "((?:[^"\\]|\\.)*)", )re"
      R"re("x": (-?[\d.]+), "y": (-?[\d.]+), "w": (-?[\d.]+), "h": (-?[\d.]+)(?:, "sel": (-?\d+), "opts": \[(.*)\])?\})re");
  const std::regex option(R"re("((?:[^"\\]|\\.)*)")re");
  for (auto it = std::sregex_iterator(json.begin(), json.end(), item); it != std::sregex_iterator(); ++it) {
    const std::smatch& s = *it;
    DumpedItem i;
    i.key = s[1];
    i.cls = s[2];
    i.id = std::stoi(s[3]);
    i.text = s[4];
    i.x = std::stod(s[5]);
    i.y = std::stod(s[6]);
    i.w = std::stod(s[7]);
    i.h = std::stod(s[8]);
    if (s[9].matched) {
      i.isCombo = true;
      i.sel = std::stoi(s[9]);
      const std::string opts = s[10];
      for (auto o = std::sregex_iterator(opts.begin(), opts.end(), option); o != std::sregex_iterator(); ++o)
        i.options.push_back((*o)[1]);
    }
    d.items.push_back(std::move(i));
  }
  return d;
}

inline DumpedItem FindItem(const LayoutDump& dump, const std::string& key) {
  for (const DumpedItem& i : dump.items)
    if (i.key == key) return i;
  return {};
}

// Runs VeskRecorder.exe --dump-layout with the prefix's system DPI set to
// `dpi` (read by each process at its start) and returns the file's text.
inline std::string DumpLayoutAtDpi(unsigned dpi, const std::filesystem::path& out) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return {};
  DWORD old = 0, size = sizeof old, type = 0;
  const bool hadOld = RegQueryValueExW(key, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&old), &size) ==
                      ERROR_SUCCESS;
  const DWORD value = dpi;
  RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  const auto run = vesk::test::RunProgram(vesk::test::BuiltProgramDir() / vesk::test::ProgramFileName("VeskRecorder"),
                                          {"--dump-layout", out.string()});
  if (hadOld)
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old), sizeof old);
  else
    RegDeleteValueW(key, L"LogPixels");
  RegCloseKey(key);
  if (!run.started || run.exitCode != 0) return {};
  return vesk::test::ReadText(out);
}

}  // namespace vesk::ui::win::test
