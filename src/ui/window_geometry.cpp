#include "ui/window_geometry.h"

#include <algorithm>

#include "ui/main_layout.h"

namespace vesk::ui {

int ScaleUnits(int units, unsigned dpi) {
  if (dpi == 0) dpi = 96;
  const int64_t v = int64_t(units) * int64_t(dpi);
  return int(v >= 0 ? (v + 48) / 96 : -((-v + 48) / 96));
}

CaptionHit HitTestCaption(int x, int y, int width, bool maximized, unsigned dpi) {
  const int caption = ScaleUnits(kCaptionHeight, dpi);
  const int border = ScaleUnits(kFrameBorder, dpi);
  const int button = ScaleUnits(kCaptionButtonWidth, dpi);
  if (y < 0 || y >= caption || x < 0 || x >= width) return CaptionHit::Default;
  if (x < border || x >= width - border) return CaptionHit::Default;
  if (!maximized && y < border) return CaptionHit::Default;
  if (x >= width - button) return CaptionHit::Close;
  if (x >= width - 2 * button) return CaptionHit::Maximize;
  if (x >= width - 3 * button) return CaptionHit::Minimize;
  return CaptionHit::Caption;
}

TrackSize MinimumTrackSize(unsigned dpi, int frameExtraWidth, int frameExtraHeight) {
  return {ScaleUnits(kMinClientWidth, dpi) + frameExtraWidth,
          ScaleUnits(kMinClientHeight + kCaptionHeight, dpi) + frameExtraHeight};
}

std::vector<ShadowRing> ShadowRings(unsigned dpi, uint32_t background) {
  const int count = std::max(2, ScaleUnits(4, dpi));
  // The outer edge: the background darkened to 55 %.
  auto channel = [](uint32_t c, int shift) { return int((c >> shift) & 0xFF); };
  std::vector<ShadowRing> rings;
  rings.reserve(size_t(count));
  for (int i = 0; i < count; ++i) {
    // i = 0 outermost (darkest) … count − 1 innermost (= background).
    const int keep = 55 + (45 * i) / (count - 1);  // percent of the background kept
    uint32_t color = 0;
    for (int shift : {16, 8, 0}) color |= uint32_t(channel(background, shift) * keep / 100) << shift;
    rings.push_back({i, color});
  }
  return rings;
}

}  // namespace vesk::ui
