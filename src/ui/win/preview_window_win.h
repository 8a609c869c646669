#pragma once
// The Win32 video preview window: an owned top-level window (it stays above
// the main window and goes with it) that paints the controller's latest
// picture with StretchDIBits into its client area, shape kept, black bars
// around. It reports moves, resizes and its close box; it decides nothing.
// Windows only; user-interface thread only.
#include <windows.h>

#include <memory>

#include "ui/view_port.h"

namespace vesk::ui::win {

inline constexpr wchar_t kPreviewClass[] = L"VESKPreviewWnd";

class PreviewWindow final : public PreviewView {
 public:
  // The window is created at the first Show, owned by `owner`.
  explicit PreviewWindow(HWND owner);
  ~PreviewWindow() override;
  PreviewWindow(const PreviewWindow&) = delete;
  PreviewWindow& operator=(const PreviewWindow&) = delete;

  // PreviewView.
  void Show(const std::optional<WindowRect>& frame, PreviewEvents events) override;
  void Hide() override;
  bool Shown() const override;
  void ShowPicture(std::shared_ptr<const PreviewPicture> picture) override;
  WindowRect Frame() const override;
  PreviewSize ClientSize() const override;
  PreviewPixels Pixels() const override { return PreviewPixels::Bgrx32; }
  ScreenMetrics Screen() const override;

  HWND Handle() const { return hwnd_; }
  std::shared_ptr<const PreviewPicture> Current() const { return picture_; }
  // Where the picture is drawn in the client area (empty when none).
  RECT PictureRect() const;

 private:
  template <typename T>
  friend LRESULT CALLBACK ClassProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  bool EnsureWindow();
  unsigned Dpi() const;
  void Paint(HDC dc);

  HWND owner_;
  HWND hwnd_ = nullptr;
  PreviewEvents events_;
  std::shared_ptr<const PreviewPicture> picture_;
};

}  // namespace vesk::ui::win
