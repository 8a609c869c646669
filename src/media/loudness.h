#pragma once
// Loudness of interleaved float audio as the video and podcast platforms
// measure it (ITU-R BS.1770 / EBU R128, through libebur128): integrated
// loudness, loudness range and true peak (4× oversampled at 48 kHz).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "media/sample_source.h"

namespace vesk {

struct LoudnessReading {
  // False when the integrated loudness is undefined: shorter than one 400 ms
  // block, or nothing above the absolute gate (-70 LUFS).
  bool valid = false;
  double integratedLufs = 0;
  double rangeLu = 0;
  double truePeakDbtp = -200;  // over all channels; -200 for digital silence
};

// Measures `frames` frames. `dualMono`: a mono signal that is heard on two
// speakers (a mono document exported as stereo) counts twice, +3.01 LU, as
// the platforms measure the stereo file. `cancelled` (optional) is asked
// between blocks; a cancel returns false with an empty error. Without
// `truePeak` (the costly part) only the integrated loudness is measured.
bool MeasureLoudness(const float* samples, size_t frames, uint32_t rate, uint16_t channels, bool dualMono,
                     LoudnessReading& out, std::string& error, const std::function<bool()>& cancelled = {},
                     bool truePeak = true);

// The same over all frames of `samples`, read a stretch at a time.
bool MeasureLoudness(const SampleSource& samples, uint32_t rate, bool dualMono, LoudnessReading& out,
                     std::string& error, bool truePeak = true);

// The same measurement fed piece by piece (the window's background reading
// takes a slice per tick). Add any number of frames, then Result().
class LoudnessMeter {
 public:
  LoudnessMeter(uint32_t rate, uint16_t channels, bool dualMono, bool truePeak = true);
  ~LoudnessMeter();
  LoudnessMeter(const LoudnessMeter&) = delete;
  LoudnessMeter& operator=(const LoudnessMeter&) = delete;
  // False with a message when the format is invalid or the library failed.
  bool Add(const float* samples, size_t frames, std::string& error);
  // Once, after the last Add.
  LoudnessReading Result();

 private:
  struct State;
  State* state_;
  uint16_t channels_;
};

// The editor's information line: "−18.4 LUFS · 峰值 −1.2 dBTP" (minus signs
// as U+2212); "响度：内容太短或太安静" when the reading is not valid.
std::string LoudnessText(const LoudnessReading& reading);

// Decibels of a linear amplitude; -200 for 0.
double AmplitudeDb(double amplitude);

}  // namespace vesk
