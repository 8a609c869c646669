#include "media/level_tools.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>

#include "media/true_peak.h"

namespace vesk {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLimiterMarginDb = 0.3;

// The largest absolute value around frame n over all channels: the sample
// itself and, where the signal comes near the ceiling, the interpolated
// points on both sides of it.
float PeakAround(const float* x, size_t frames, uint16_t channels, size_t n, float near) {
  float peak = 0;
  bool close = false;
  for (size_t m = n ? n - 1 : 0; m <= n + 1 && m < frames; ++m)
    for (uint16_t c = 0; c < channels; ++c) {
      const float v = std::fabs(x[m * channels + c]);
      close = close || v >= near;
      if (m == n) peak = std::max(peak, v);
    }
  if (!close) return peak;
  const Interpolator4x& in = Lanczos4x();
  constexpr int kTaps = Interpolator4x::kTaps;
  // The gaps after n and before n.
  for (int64_t base : {int64_t(n), int64_t(n) - 1}) {
    if (base < 0 || uint64_t(base) + 1 >= frames) continue;
    for (uint16_t c = 0; c < channels; ++c) {
      for (const auto& h : in.h) {
        double v = 0;
        for (int k = 0; k < kTaps; ++k) {
          const int64_t i = base + k - Interpolator4x::kBefore;
          if (i >= 0 && uint64_t(i) < frames) v += double(h[size_t(k)]) * x[uint64_t(i) * channels + c];
        }
        peak = std::max(peak, float(std::fabs(v)));
      }
    }
  }
  return peak;
}

// Sliding minimum over [i - radius, i + radius] of `v`.
std::vector<float> SlidingMin(const std::vector<float>& v, size_t radius) {
  std::vector<float> out(v.size());
  std::deque<size_t> window;  // indices with increasing values
  size_t next = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    const size_t hi = std::min(v.size() - 1, i + radius);
    for (; next <= hi; ++next) {
      while (!window.empty() && v[window.back()] >= v[next]) window.pop_back();
      window.push_back(next);
    }
    while (window.front() + radius < i) window.pop_front();
    out[i] = v[window.front()];
  }
  return out;
}

void Biquad(double f, double bandwidth, uint32_t rate, std::array<double, 5>& c) {
  const double w0 = 2 * kPi * f / rate;
  const double alpha = std::sin(w0) / (2 * (f / bandwidth));
  const double a0 = 1 + alpha;
  c = {1 / a0, -2 * std::cos(w0) / a0, 1 / a0, -2 * std::cos(w0) / a0, (1 - alpha) / a0};
}

// A cascade of biquads over one channel; state per stage.
struct Cascade {
  std::vector<std::array<double, 5>> coefficients;
  std::vector<std::array<double, 4>> state;
  void Reset() { state.assign(coefficients.size(), {0, 0, 0, 0}); }
  double Run(double x) {
    for (size_t s = 0; s < coefficients.size(); ++s) {
      const auto& c = coefficients[s];
      auto& z = state[s];  // x1 x2 y1 y2
      const double y = c[0] * x + c[1] * z[0] + c[2] * z[1] - c[3] * z[2] - c[4] * z[3];
      z[1] = z[0];
      z[0] = x;
      z[3] = z[2];
      z[2] = y;
      x = y;
    }
    return x;
  }
};

double Goertzel(const std::vector<float>& x, double f, uint32_t rate) {
  const double coeff = 2 * std::cos(2 * kPi * f / rate);
  double s1 = 0, s2 = 0;
  const size_t n = x.size();
  for (size_t i = 0; i < n; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2 * kPi * double(i) / double(n - 1));
    const double s = w * x[i] + coeff * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

}  // namespace

void ApplyGainDb(float* samples, size_t count, double db) {
  const float g = float(std::pow(10.0, db / 20.0));
  for (size_t i = 0; i < count; ++i) samples[i] *= g;
}

float SamplePeak(const float* samples, size_t count) {
  float peak = 0;
  for (size_t i = 0; i < count; ++i) peak = std::max(peak, std::fabs(samples[i]));
  return peak;
}

bool LimitTruePeak(float* samples, size_t frames, uint16_t channels, uint32_t rate, float ceiling) {
  if (frames == 0 || channels == 0 || ceiling <= 0) return false;
  const float near = ceiling * 0.5f;
  const size_t radius = std::max<size_t>(1, rate / 200);  // 5 ms of look-ahead and attack
  // The gain may rise 6 dB per 100 ms after a peak.
  const double rise = std::pow(10.0, 6.0 / 20.0 / (0.1 * rate));
  constexpr size_t kChunk = size_t(1) << 16;
  bool acted = false;
  double previous = 1.0;
  std::vector<float> need, gain;
  for (size_t s = 0; s < frames; s += kChunk) {
    const size_t e = std::min(frames, s + kChunk);
    // need over [s - 2r, e + 2r), 1 outside the buffer.
    const int64_t from = int64_t(s) - int64_t(2 * radius);
    const size_t span = (e - s) + 4 * radius;
    need.assign(span, 1.0f);
    bool any = false;
    for (size_t i = 0; i < span; ++i) {
      const int64_t n = from + int64_t(i);
      if (n < 0 || uint64_t(n) >= frames) continue;
      const float peak = PeakAround(samples, frames, channels, size_t(n), near);
      if (peak > ceiling) {
        need[i] = ceiling / peak;
        any = true;
      }
    }
    if (!any && previous >= 1.0) continue;
    // A moving average (radius r) of the sliding minimum (radius r) stays at
    // or below every need within reach, and is smooth.
    const std::vector<float> low = SlidingMin(need, radius);
    gain.assign(e - s, 1.0f);
    double sum = 0;
    const size_t centre0 = 2 * radius;  // index of frame s in `need`
    for (size_t i = centre0 - radius; i <= centre0 + radius; ++i) sum += low[i];
    for (size_t k = 0; k < e - s; ++k) {
      const size_t centre = centre0 + k;
      if (k > 0) sum += double(low[centre + radius]) - double(low[centre - radius - 1]);
      const double average = sum / double(2 * radius + 1);
      previous = std::min({average, previous * rise, 1.0});
      gain[k] = float(previous);
    }
    for (size_t k = 0; k < e - s; ++k) {
      if (gain[k] >= 1.0f) continue;
      acted = true;
      for (uint16_t c = 0; c < channels; ++c) samples[(s + k) * channels + c] *= gain[k];
    }
  }
  return acted;
}

bool NormalizeWith(const LoudnessReading& before, double targetLufs, double ceilingDbtp, const GainPass& pass,
                   NormalizeResult& result, std::string& error) {
  result = {};
  error.clear();
  if (!(targetLufs >= -40 && targetLufs <= -5) || !(ceilingDbtp >= -10 && ceilingDbtp <= 0)) {
    error = "目标响度要在 −40 到 −5 LUFS 之间，峰值上限要在 −10 到 0 dBTP 之间。";
    return false;
  }
  result.before = before;
  if (!before.valid) {
    error = "这段内容太短或太安静（至少要 0.4 秒有声音的内容），测不出响度，没有改动。";
    return false;
  }
  double gain = targetLufs - before.integratedLufs;
  // Gain alone scales both readings exactly: no limiter and nothing to
  // measure again when the peaks stay under the limiter's threshold.
  if (before.truePeakDbtp + gain <= ceilingDbtp - kLimiterMarginDb) {
    if (!pass(GainStep{gain, 0, 0, false, false}, result.after, result.limited, error)) return false;
    result.gainDb = gain;
    result.after = before;
    result.after.integratedLufs += gain;
    result.after.truePeakDbtp += gain;
    return true;
  }
  const float ceiling = float(std::pow(10.0, (ceilingDbtp - kLimiterMarginDb) / 20.0));
  // The limiter takes loudness away where it acts: the gain is raised by
  // what is missing and the pass repeated. Under heavy limiting a decibel
  // of gain brings much less than a unit of loudness, so after the first
  // pass the step follows the slope the passes so far have shown.
  double lastGain = 0, lastLufs = 0, slope = 1.0;
  for (int round = 0; round < 8; ++round) {
    if (!pass(GainStep{gain, ceiling, 0, true, false}, result.after, result.limited, error)) return false;
    if (!result.after.valid || std::fabs(result.after.integratedLufs - targetLufs) <= 0.1) break;
    if (round > 0 && std::fabs(gain - lastGain) > 1e-3)
      slope = std::clamp((result.after.integratedLufs - lastLufs) / (gain - lastGain), 0.2, 1.0);
    lastGain = gain;
    lastLufs = result.after.integratedLufs;
    gain += std::clamp((targetLufs - result.after.integratedLufs) / slope, -12.0, 12.0);
  }
  if (!pass(GainStep{gain, ceiling, 0, true, true}, result.after, result.limited, error)) return false;
  // The meter's interpolation may see a point the limiter's did not: never
  // above the ceiling, at the price of a little loudness.
  if (result.after.truePeakDbtp > ceilingDbtp) {
    const double trim = ceilingDbtp - 0.05 - result.after.truePeakDbtp;
    if (!pass(GainStep{gain, ceiling, trim, true, true}, result.after, result.limited, error)) return false;
  }
  result.gainDb = gain;
  return true;
}

bool ApplyGainStep(const GainStep& step, float* samples, size_t frames, uint16_t channels, uint32_t rate) {
  ApplyGainDb(samples, frames * channels, step.gainDb);
  const bool limited = step.ceiling > 0 && LimitTruePeak(samples, frames, channels, rate, step.ceiling);
  if (step.trimDb != 0) ApplyGainDb(samples, frames * channels, step.trimDb);
  return limited;
}

bool NormalizeLoudness(std::vector<float>& samples, uint32_t rate, uint16_t channels, bool dualMono,
                       double targetLufs, double ceilingDbtp, NormalizeResult& result, std::string& error) {
  if (channels == 0 || samples.size() < channels) {
    result = {};
    error = "没有可处理的音频。";
    return false;
  }
  const size_t frames = samples.size() / channels;
  LoudnessReading before;
  if (!MeasureLoudness(samples.data(), frames, rate, channels, dualMono, before, error)) return false;
  std::vector<float> work;
  const GainPass pass = [&](const GainStep& step, LoudnessReading& after, bool& limited, std::string& why) {
    work = samples;
    limited = ApplyGainStep(step, work.data(), frames, channels, rate);
    return !step.measure || MeasureLoudness(work.data(), frames, rate, channels, dualMono, after, why, {}, step.truePeak);
  };
  if (!NormalizeWith(before, targetLufs, ceilingDbtp, pass, result, error)) return false;
  samples = std::move(work);
  return true;
}

void FadeInEqualPower(float* samples, size_t frames, uint16_t channels) {
  if (frames < 2) {
    std::fill(samples, samples + frames * channels, 0.0f);
    return;
  }
  for (size_t i = 0; i < frames; ++i) {
    const float g = float(std::sin(kPi / 2 * double(i) / double(frames - 1)));
    for (uint16_t c = 0; c < channels; ++c) samples[i * channels + c] *= g;
  }
}

void FadeOutEqualPower(float* samples, size_t frames, uint16_t channels) {
  if (frames < 2) {
    std::fill(samples, samples + frames * channels, 0.0f);
    return;
  }
  for (size_t i = 0; i < frames; ++i) {
    const float g = float(std::sin(kPi / 2 * double(frames - 1 - i) / double(frames - 1)));
    for (uint16_t c = 0; c < channels; ++c) samples[i * channels + c] *= g;
  }
}

double DetectMainsHum(const float* samples, size_t frames, uint16_t channels, uint32_t rate) {
  if (channels == 0 || frames < rate / 2) return 0;
  std::vector<float> mono(frames);
  for (size_t i = 0; i < frames; ++i) {
    float sum = 0;
    for (uint16_t c = 0; c < channels; ++c) sum += samples[i * channels + c];
    mono[i] = sum / channels;
  }
  // How far the strongest of the first four harmonics stands above the
  // spectrum 6 and 9 Hz to either side of it, in dB.
  auto prominence = [&](int mains) {
    double best = -100;
    for (int k = 1; k <= 4; ++k) {
      const double f = double(mains * k);
      const double p = Goertzel(mono, f, rate);
      double around = 0;
      for (double d : {-9.0, -6.0, 6.0, 9.0}) around += Goertzel(mono, f + d, rate) / 4;
      if (p <= 0) continue;
      best = std::max(best, 10 * std::log10(p / std::max(around, p * 1e-12)));
    }
    return best;
  };
  const double at50 = prominence(50), at60 = prominence(60);
  constexpr double kClear = 15;
  if (std::max(at50, at60) < kClear) return 0;
  const int nominal = at50 >= at60 ? 50 : 60;
  // Mains run a little off their nominal frequency, and the notches are
  // narrow: the fundamental where the first four harmonics peak together,
  // within ±0.5 Hz in steps of 0.01 Hz.
  double best = nominal, bestPower = -1;
  for (int step = -50; step <= 50; ++step) {
    const double f = nominal + step * 0.01;
    double power = 0;
    for (int k = 1; k <= 4; ++k) power += Goertzel(mono, f * k, rate);
    if (power > bestPower) {
      bestPower = power;
      best = f;
    }
  }
  return best;
}

void RemoveMainsHum(float* samples, size_t frames, uint16_t channels, uint32_t rate, double mainsHz) {
  if (frames < 2 || channels == 0 || mainsHz <= 0) return;
  Cascade cascade;
  // Each notch takes a little of the voice with the hum: as narrow as the
  // estimate of the fundamental allows, widening with the harmonic number
  // (an error of the fundamental multiplies with it).
  for (int k = 1; k * mainsHz <= 1000 && 2 * k * mainsHz < rate; ++k) {
    std::array<double, 5> c;
    Biquad(k * mainsHz, 0.4 + 0.04 * k, rate, c);
    cascade.coefficients.push_back(c);
  }
  // Forwards and backwards. The notches need a second or two to settle; so
  // that they are settled where the buffer starts and ends, each pass first
  // runs over two seconds of the buffer's own periodic extension: a whole
  // number of mains periods (up to one second) repeated, in which the hum
  // goes on without a seam.
  const size_t period = std::max<size_t>(
      1, size_t(std::lround(std::floor(double(std::min<size_t>(frames, rate)) * mainsHz / rate) * rate / mainsHz)));
  const size_t p = std::min(period, frames);
  const size_t warm = 2 * size_t(rate);
  for (uint16_t ch = 0; ch < channels; ++ch) {
    float* x = samples + ch;
    auto at = [&](size_t i) -> float& { return x[i * channels]; };
    cascade.Reset();
    for (size_t j = warm; j >= 1; --j) cascade.Run(at((p - j % p) % p));
    for (size_t i = 0; i < frames; ++i) at(i) = float(cascade.Run(at(i)));
    cascade.Reset();
    for (size_t j = warm; j >= 1; --j) cascade.Run(at(frames - p + (j - 1) % p));
    for (size_t i = frames; i-- > 0;) at(i) = float(cascade.Run(at(i)));
  }
}

}  // namespace vesk
