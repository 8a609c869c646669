#pragma once
// The built-in noise reduction, used whenever no plug-in is chosen: FFmpeg's
// spectral denoiser (afftdn) with a noise profile measured once from a quiet
// stretch, followed for the stronger levels by the speech model (arnndn).
//
// Contract: a render keeps the input's length and sample alignment (the
// chain's delay is measured once with an impulse and trimmed, its tail
// flushed), and two renders of the same samples with the same profile are
// identical: the render cache, selection denoise and video sync rely on both.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "media/sample_source.h"

namespace vesk {

inline constexpr const char* kBuiltinEngineName = "内置降噪";
inline constexpr int kNoiseBands = 15;

struct NoiseProfile {
  bool valid = false;
  int floorDb = -50;                        // afftdn's noise floor (nf)
  std::array<double, kNoiseBands> bands{};  // afftdn's band noise (bn), relative to the floor
  // The stretch it was measured on, in frames of the buffer it came from.
  uint64_t start = 0;
  uint64_t end = 0;
  bool quietest = false;  // chosen automatically (no noise sample marked)
};

// One filter of a chain: the filter's name and its option string.
struct FilterStep {
  std::string name;
  std::string options;
};

// The noise floor afftdn needs: the level of the stretch in dBFS (RMS over
// all channels), rounded and clamped to [-80, -20]. At afftdn's default of
// -50 dB real recordings lose nothing.
int NoiseFloorDb(const float* interleaved, uint64_t frames, uint32_t channels);
// Without a noise sample: the 10th percentile of the 50 ms frame levels.
int NoiseFloorFromPercentile(const SampleSource& samples, uint32_t channels, uint32_t rate);
// Start frame of the quietest stretch of `length` frames (steps of 50 ms);
// 0 when the buffer is not longer than that.
uint64_t QuietestStretch(const SampleSource& samples, uint32_t channels, uint32_t rate, uint64_t length);

// The render chain of a level (0 激进, 1 均衡, 2 轻柔) at `rate`. Without the
// model file (empty path) levels 0 and 1 fall back to afftdn alone at a
// stronger reduction and `*fallback` is set.
std::vector<FilterStep> BuiltinChain(unsigned level, const NoiseProfile& profile, uint32_t rate,
                                     const std::filesystem::path& model, bool* fallback);
// A value for a filter's option string, quoted so that colons, backslashes and
// spaces stay part of it.
std::string QuoteFilterValue(const std::string& value);
// The chain's text for logs and cache keys: "name=options,name=options".
std::string ChainText(const std::vector<FilterStep>& chain);
// Finds the last "bn=" line afftdn logged after sampling and reads its 15 values.
bool ParseBandNoise(const std::string& log, std::array<double, kNoiseBands>& bands);
// Where the speech model is: beside the program, then in the installed data
// folder (../share/VeskRecorder). Empty when none is there.
std::filesystem::path BuiltinModelPath();

// Measures the profile on frames [start, end) of the buffer (mixed to mono);
// start == end picks the quietest 2 s. Fills `profile` (valid on success).
bool MeasureNoiseProfile(const SampleSource& samples, uint32_t rate, uint32_t channels, uint64_t start,
                         uint64_t end, NoiseProfile& profile, std::string& error);
// Renders in place. An invalid profile is measured first (the quietest 2 s
// of these samples) and returned. `note` (optional) gets a remark for the
// user, e.g. that the model file is missing.
bool RunBuiltinDenoise(std::vector<float>& samples, uint32_t rate, uint32_t channels, unsigned level,
                       NoiseProfile& profile, std::string& error, std::string* note = nullptr);
// The delay of a chain in frames, measured once per chain text and rate.
bool ChainDelay(const std::vector<FilterStep>& chain, uint32_t rate, uint64_t& delay, std::string& error);

// Backend (denoise/ffmpeg with the FFmpeg filter library; a stand-in that
// fails without it). Runs the chain over interleaved floats and appends
// everything it emits, its flushed tail included, to `out`. With `log`, the
// filters' messages on this thread are collected there. Single-threaded
// filters, so the result does not depend on the machine.
bool RunFilterChain(const std::vector<FilterStep>& chain, const float* in, uint64_t frames, uint32_t rate,
                    uint32_t channels, std::vector<float>& out, std::string* log, std::string& error);
// The same, in place: the output replaces the input frame for frame after
// dropping its first `skip` frames; the input is followed by silence until
// the chain has given every frame back.
bool RunFilterChainInPlace(const std::vector<FilterStep>& chain, std::vector<float>& samples, uint32_t rate,
                           uint32_t channels, uint64_t skip, std::string& error);
bool BuiltinDenoiseSupported();

}  // namespace vesk
