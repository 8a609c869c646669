#pragma once
// What both windows draw the same way: the colours of the waveform, the
// level meter and the record button, the meter's scale and the names the
// layout dump gives the text views. Colours are 0xRRGGBB.
#include <cstdint>

#include "ui/window_state.h"

namespace vesk::ui {

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

namespace meter_colors {
inline constexpr uint32_t kTrack = 0x2A2F36;
inline constexpr uint32_t kRms = 0x3FB950;
inline constexpr uint32_t kPeak = 0x8FE19A;
inline constexpr uint32_t kHold = 0xFFD54F;
inline constexpr uint32_t kClip = 0xF03A2E;
inline constexpr uint32_t kClipOff = 0x4A3030;
}  // namespace meter_colors

// The record button: red while it starts a recording, dark while it stops
// one (its checked state), grey while it cannot.
uint32_t RecordButtonColor(const ControlState& state);

// A level's share of the meter bar on a -60 … 0 dBFS scale.
double MeterShare(float linear);

// The name the layout dump gives a text view ("status", "editorInfo", …).
const char* TextViewKey(TextView view);

}  // namespace vesk::ui
