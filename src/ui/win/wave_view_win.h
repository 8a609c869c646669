#pragma once
// The waveform view "VESKWaveView": paints the edit area's scene through an
// off-screen bitmap and forwards mouse, wheel and cursor questions to it in
// 96-DPI units. It decides nothing; the edit area owns every gesture.
#include <windows.h>

#include "ui/wave_scene.h"
#include "ui/win/win_common.h"

namespace vesk::ui {
class EditArea;
}

namespace vesk::ui::win {

// Colours of the scene's element kinds (0xRRGGBB).
namespace wave_colors {
inline constexpr uint32_t kBackground = 0x1E2228;
inline constexpr uint32_t kLaneBackground = 0x242932;
inline constexpr uint32_t kCenterLine = 0x3A414C;
inline constexpr uint32_t kEnvelope = 0x4FC3F7;
inline constexpr uint32_t kLiveEnvelope = 0xEF6C5A;
inline constexpr uint32_t kRulerBackground = 0x171A1F;
inline constexpr uint32_t kRulerTick = 0x6B7482;
inline constexpr uint32_t kRulerText = 0xAEB6C2;
inline constexpr uint32_t kSelection = 0xFFFFFF;  // blended over the lanes
inline constexpr uint8_t kSelectionAlpha = 56;
inline constexpr uint32_t kPlayHead = 0xFFB300;
inline constexpr uint32_t kScrollTrack = 0x2E343D;
inline constexpr uint32_t kScrollThumb = 0x8A94A3;
inline constexpr uint32_t kHintText = 0x8A94A3;
inline constexpr uint32_t kEmptyText = 0xB8C0CC;
inline constexpr uint32_t kWatermark = 0x2A3039;
}  // namespace wave_colors

LRESULT CALLBACK WaveViewProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Paints `scene` (units) into `dc` over a client of `size` pixels.
void PaintWaveScene(HDC dc, SIZE size, const WaveScene& scene, unsigned dpi);

class WaveView {
 public:
  WaveView(EditArea& edit, unsigned dpi);
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
  friend LRESULT CALLBACK WaveViewProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  void OnPaint();
  void Mouse(int action, int button, LPARAM lp);
  SIZE ClientUnits() const;
  int ToUnits(int px) const { return MulDiv(px, 96, int(dpi_)); }

  EditArea& edit_;
  unsigned dpi_;
  HWND hwnd_ = nullptr;
  bool blocked_ = false;
  int wheelRemainder_ = 0;
  int pressedButton_ = -1;     // -1 none, else the MouseButton held
  POINT lastPoint_{};          // units
  bool zoomedAtRightPress_ = false;
  bool zoomed_ = false;        // the last painted scene had a scroll strip
  // The off-screen bitmap, kept while the size stays.
  GdiObject<HBITMAP> buffer_;
  SIZE bufferSize_{};
};

}  // namespace vesk::ui::win
