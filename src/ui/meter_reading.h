#pragma once
// The level meter as the views paint it, per channel.

namespace vesk::ui {

struct MeterReading {
  int channels = 0;  // 0: nothing to show
  float peak[2] = {0, 0};
  float peakHold[2] = {0, 0};
  float rms[2] = {0, 0};
  bool clip[2] = {false, false};
};

}  // namespace vesk::ui
