#pragma once
// The waveform view "VESKWaveView": paints the edit area's scene through an
// off-screen bitmap and forwards mouse, wheel and cursor questions to it in
// 96-DPI units. It decides nothing; the edit area owns every gesture.
#include <windows.h>

#include "ui/view_tables.h"
#include "ui/wave_scene.h"
#include "ui/win/win_common.h"

namespace vesk::ui {
class AppController;
}

namespace vesk::ui::win {



// Paints `scene` (units) into `dc` over a client of `size` pixels.
void PaintWaveScene(HDC dc, SIZE size, const WaveScene& scene, unsigned dpi);

class WaveView {
 public:
  WaveView(AppController& controller, unsigned dpi);
  ~WaveView();
  WaveView(const WaveView&) = delete;
  WaveView& operator=(const WaveView&) = delete;

  // Creates the child window (not yet placed).
  bool Create(HWND parent, int id);
  HWND Handle() const { return hwnd_; }

  // While the progress window is up the view takes no input.
  void SetInputBlocked(bool blocked) { blocked_ = blocked; }

  // A wheel message of the main window: `delta` as WM_MOUSEWHEEL carries it,
  // `screen` the pointer. True when the pointer was over the view and the
  // step went to the edit area.
  bool RouteWheel(int delta, POINT screen);

 private:
  template <typename T>
  friend LRESULT CALLBACK ClassProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT OnWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  void OnPaint();
  // True when the event asks for the window's context menu.
  bool Mouse(int action, int button, LPARAM lp);
  SIZE ClientUnits() const;
  int ToUnits(int px) const { return MulDiv(px, 96, int(dpi_)); }

  AppController& controller_;
  unsigned dpi_;
  HWND hwnd_ = nullptr;
  bool blocked_ = false;
  int wheelRemainder_ = 0;
  int pressedButton_ = -1;     // -1 none, else the MouseButton held
  POINT lastPoint_{};          // units
  // The off-screen bitmap, kept while the size stays.
  GdiObject<HBITMAP> buffer_;
  SIZE bufferSize_{};
};

}  // namespace vesk::ui::win
