#pragma once
// Builds the scenes the waveform view paints: the empty area, the document
// with its ruler, envelope lanes, selection, play head and scroll strip, and
// the live waveform while recording.
#include <cstdint>
#include <vector>

#include "ui/wave_scene.h"
#include "ui/wave_view_model.h"

namespace vesk {
class AudioDoc;
class PlayHeadServo;
}  // namespace vesk

namespace vesk::ui {

inline constexpr int kRulerHeight = 18;
inline constexpr int kLaneGap = 4;
inline constexpr int kMajorTickSpacing = 80;  // at least this far apart, in units
inline constexpr const char* kHintPanZoom = "滚轮缩放 · 右键拖动平移";

// Ticks of the time ruler over frames [start, start + visible) drawn `width`
// units wide: majors with labels at a round time step at least
// kMajorTickSpacing apart, minors between them.
std::vector<RulerTick> RulerTicks(uint64_t start, uint64_t visible, uint32_t rate, int width);

WaveScene EmptyScene(int width, int height);

// The document as the view model shows it. `hintUsed` hides the hint.
WaveScene BuildEditScene(AudioDoc& doc, const WaveViewModel& view, int width, int height, bool hintUsed);

// The live waveform of a recording at `rate` with 1 or 2 channels: the page
// of `spanSeconds` that holds the displayed position (the servo's value of
// this repaint).
WaveScene BuildLiveScene(const PlayHeadServo& servo, int64_t displayed, uint32_t rate, int channels, double spanSeconds,
                         int width, int height);

}  // namespace vesk::ui
