#pragma once
// Geometry of the Windows main window's own frame: the caption band the
// program paints and hit-tests, the minimum tracking size, and the rings of
// the painted shadow-like border. Portable so the rules are tested on Linux
// and the self-test can check them.
#include <cstdint>
#include <vector>

namespace vesk::ui {

inline constexpr int kCaptionHeight = 34;  // 96-DPI units
inline constexpr int kCaptionButtonWidth = 46;
inline constexpr int kFrameBorder = 5;

enum class CaptionHit { Default, Caption, Minimize, Maximize, Close };

// Hit-test of a point in window coordinates (x from the window's left, y
// from its top, physical pixels) for a window `width` pixels wide at `dpi`.
CaptionHit HitTestCaption(int x, int y, int width, bool maximized, unsigned dpi);

// Units × dpi / 96, rounded half away from zero.
int ScaleUnits(int units, unsigned dpi);

struct TrackSize {
  int width = 0, height = 0;
};
// The smallest window: a 750 × 600 client plus the caption band, in pixels,
// given the frame's extra width and height around the client (the system's
// non-client border, 0 when the caption is removed entirely).
TrackSize MinimumTrackSize(unsigned dpi, int frameExtraWidth = 0, int frameExtraHeight = 0);

struct ShadowRing {
  int inset = 0;         // pixels from the window edge
  uint32_t color = 0;    // 0x00RRGGBB
};
// The painted frame, outermost ring first: one ring per physical pixel of a
// 4-unit band (at least 2), blending from a dark edge to the window
// background, the innermost ring equal to `background`.
std::vector<ShadowRing> ShadowRings(unsigned dpi, uint32_t background);

}  // namespace vesk::ui
