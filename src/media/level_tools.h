#pragma once
// Level tools on interleaved float buffers: loudness normalisation to a
// platform target, gain, equal-power fades and mains-hum removal. Each keeps
// the buffer's length and sample alignment.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "media/loudness.h"

namespace vesk {

struct LoudnessTarget {
  const char* name;  // the menu's text
  double lufs;
  double ceilingDbtp;
};

// 网络视频, 播客, 广播 (EBU R128).
inline constexpr LoudnessTarget kLoudnessPresets[] = {
    {"网络视频 −14 LUFS / −1 dBTP", -14.0, -1.0},
    {"播客 −16 LUFS / −1 dBTP", -16.0, -1.0},
    {"广播 EBU R128 −23 LUFS / −1 dBTP", -23.0, -1.0},
};

struct NormalizeResult {
  double gainDb = 0;        // the static gain
  bool limited = false;     // the true-peak limiter had to act
  LoudnessReading before;
  LoudnessReading after;
};

// One rendering of the copy while normalising: the gain, then (with a
// ceiling) the true-peak limiter, then the trim gain.
struct GainStep {
  double gainDb = 0;
  float ceiling = 0;  // linear; 0: no limiter
  double trimDb = 0;
  bool measure = true;   // measure the copy into `after`
  bool truePeak = true;  // with its true peak (else the integrated loudness only)
};
// Makes the copy of `step` (the last one made is the result) and measures
// it; `limited` says whether the limiter acted.
using GainPass = std::function<bool(const GainStep& step, LoudnessReading& after, bool& limited, std::string& error)>;
// Applies a step to a buffer; true when the limiter acted.
bool ApplyGainStep(const GainStep& step, float* samples, size_t frames, uint16_t channels, uint32_t rate);
// The gain search of NormalizeLoudness over a copy made anywhere (a long
// take's goes to a temporary file), from the reading before.
bool NormalizeWith(const LoudnessReading& before, double targetLufs, double ceilingDbtp, const GainPass& pass,
                   NormalizeResult& result, std::string& error);

// One static gain to `targetLufs`, then a true-peak limiter (4× oversampled
// detection, 0.3 dB below the ceiling, linked channels) only where a peak
// would pass `ceilingDbtp`. The result measures within ±0.3 LU of the target
// (closer when the limiter did not act) and never above the ceiling.
// `dualMono` as for MeasureLoudness. False with a message when the loudness
// cannot be measured (too short, silent) or the target is implausible.
bool NormalizeLoudness(std::vector<float>& samples, uint32_t rate, uint16_t channels, bool dualMono,
                       double targetLufs, double ceilingDbtp, NormalizeResult& result, std::string& error);

// The true-peak limiter alone: afterwards no sample and no 4× interpolated
// point between samples exceeds `ceiling` (linear). True when it acted.
bool LimitTruePeak(float* samples, size_t frames, uint16_t channels, uint32_t rate, float ceiling);

// Multiplies by 10^(db/20).
void ApplyGainDb(float* samples, size_t count, double db);
// The largest absolute sample value.
float SamplePeak(const float* samples, size_t count);

// Equal-power fades over the whole buffer: in rises sin(π/2·t) from silence,
// out falls cos(π/2·t) to silence (t from 0 at the first frame to 1 at the last).
void FadeInEqualPower(float* samples, size_t frames, uint16_t channels);
void FadeOutEqualPower(float* samples, size_t frames, uint16_t channels);

// The mains frequency (near 50 or 60 Hz, to 0.01 Hz) when a stretch of
// noise (the noise sample or the quietest 2 s) holds hum standing clearly
// above its neighbourhood at that fundamental or its first harmonics; 0
// when there is none.
double DetectMainsHum(const float* samples, size_t frames, uint16_t channels, uint32_t rate);
// Narrow notches at `mainsHz` and every harmonic up to 1 kHz, run forwards
// and backwards (no delay, no phase change).
void RemoveMainsHum(float* samples, size_t frames, uint16_t channels, uint32_t rate, double mainsHz);

}  // namespace vesk
