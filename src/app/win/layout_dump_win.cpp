#include "app/win/layout_dump_win.h"

#include <windows.h>

#include <algorithm>

#include "app/layout_json.h"
#include "core/version.h"
#include "ui/win/main_window_win.h"

namespace vesk {

std::string WindowLayoutJson(const ui::win::MainWindow& window) {
  const ui::win::LayoutSnapshot snap = window.Snapshot();
  const int dpi = int(snap.dpi);
  auto place = [dpi](LayoutItem& it, const RECT& r) {
    it.x = To96Dpi(r.left, dpi);
    it.y = To96Dpi(r.top, dpi);
    it.w = To96Dpi(r.right - r.left, dpi);
    it.h = To96Dpi(r.bottom - r.top, dpi);
  };
  std::vector<LayoutItem> items;
  for (const auto& child : snap.children) {
    LayoutItem it;
    const std::wstring cls = ui::win::ClassOf(child.hwnd);
    it.cls = WideToUtf8(cls);
    it.id = GetDlgCtrlID(child.hwnd);
    it.text = WideToUtf8(ui::win::WindowTextOf(child.hwnd));
    it.key = !child.key.empty()   ? child.key
             : it.id > 0          ? "id:" + std::to_string(it.id)
             : !it.text.empty()   ? "text:" + it.text
                                  : "other";
    place(it, child.rect);
    if (_wcsicmp(cls.c_str(), L"ComboBox") == 0) {
      it.isCombo = true;
      it.sel = int(SendMessageW(child.hwnd, CB_GETCURSEL, 0, 0));
      const int count = int(SendMessageW(child.hwnd, CB_GETCOUNT, 0, 0));
      for (int i = 0; i < count; ++i) {
        const int len = std::max(0, int(SendMessageW(child.hwnd, CB_GETLBTEXTLEN, WPARAM(i), 0)));
        std::wstring text(size_t(len) + 1, L'\0');
        SendMessageW(child.hwnd, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(size_t(len));
        it.options.push_back(WideToUtf8(text));
      }
    }
    items.push_back(std::move(it));
  }
  // The level meter is painted on the window, not a child: one extra item.
  LayoutItem meter;
  meter.key = "meter";
  meter.cls = "VESKMeter";
  place(meter, snap.meter);
  items.push_back(std::move(meter));
  return BuildLayoutJson(std::string("VeskRecorder ") + kVersion, dpi, snap.client.cx, snap.client.cy, items);
}

}  // namespace vesk
