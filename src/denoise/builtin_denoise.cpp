#include "denoise/builtin_denoise.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <system_error>

#include "platform/folders.h"
#include "platform/text.h"

namespace vesk {

namespace {

constexpr double kSampleSeconds = 2.0;  // the automatic noise sample
constexpr double kMinSampleSeconds = 0.25;
constexpr uint32_t kModelRate = 48000;  // arnndn works at 48 kHz only

double MeanSquare(const float* s, uint64_t frames, uint32_t channels) {
  double sum = 0;
  const uint64_t n = frames * channels;
  for (uint64_t i = 0; i < n; ++i) sum += double(s[i]) * s[i];
  return n ? sum / double(n) : 0;
}

int FloorFromMeanSquare(double ms) {
  const double db = ms > 0 ? 10.0 * std::log10(ms) : -200.0;
  return int(std::clamp<long>(std::lround(db), -80, -20));
}

// Mean square of every `hop` frames.
std::vector<double> FrameLevels(const SampleSource& s, uint32_t channels, uint64_t hop) {
  std::vector<double> levels;
  if (hop == 0) return levels;
  std::vector<float> frame(hop * channels);
  for (uint64_t f = 0; f + hop <= s.Frames(); f += hop) {
    ReadFrames(s, f, hop, channels, frame.data());
    levels.push_back(MeanSquare(frame.data(), hop, channels));
  }
  return levels;
}

std::string BandsText(const std::array<double, kNoiseBands>& bands) {
  std::string text;
  for (int i = 0; i < kNoiseBands; ++i) text += Format(i ? "|%.0f" : "%.0f", bands[size_t(i)]);
  return text;
}

}  // namespace

int NoiseFloorDb(const float* s, uint64_t frames, uint32_t channels) {
  return FloorFromMeanSquare(MeanSquare(s, frames, std::max<uint32_t>(channels, 1)));
}

int NoiseFloorFromPercentile(const SampleSource& s, uint32_t channels, uint32_t rate) {
  channels = std::max<uint32_t>(channels, 1);
  std::vector<double> levels = FrameLevels(s, channels, rate / 20);
  if (levels.empty()) {
    std::vector<float> all(s.Frames() * channels);
    ReadFrames(s, 0, s.Frames(), channels, all.data());
    return NoiseFloorDb(all.data(), s.Frames(), channels);
  }
  const size_t k = levels.size() / 10;
  std::nth_element(levels.begin(), levels.begin() + std::ptrdiff_t(k), levels.end());
  return FloorFromMeanSquare(levels[k]);
}

uint64_t QuietestStretch(const SampleSource& s, uint32_t channels, uint32_t rate, uint64_t length) {
  const uint64_t hop = std::max<uint64_t>(rate / 20, 1);
  if (s.Frames() <= length || length < hop) return 0;
  const std::vector<double> levels = FrameLevels(s, std::max<uint32_t>(channels, 1), hop);
  const size_t window = size_t(length / hop);
  if (levels.size() < window) return 0;
  // Sliding sum over `window` frames; ties keep the earliest stretch.
  double sum = 0;
  for (size_t i = 0; i < window; ++i) sum += levels[i];
  double best = sum;
  size_t bestAt = 0;
  for (size_t i = window; i < levels.size(); ++i) {
    sum += levels[i] - levels[i - window];
    if (sum < best * (1 - 1e-9)) {
      best = sum;
      bestAt = i + 1 - window;
    }
  }
  return uint64_t(bestAt) * hop;
}

std::vector<FilterStep> BuiltinChain(unsigned level, const NoiseProfile& profile, uint32_t rate,
                                     const std::filesystem::path& model, bool* fallback) {
  const bool useModel = level != 2 && !model.empty();
  if (fallback) *fallback = level != 2 && model.empty();
  const int nr = level == 2 || useModel ? 10 : level == 0 ? 30 : 20;
  std::vector<FilterStep> chain;
  chain.push_back({"afftdn", Format("nr=%d:nf=%d:nt=c:bn=%s", nr, profile.floorDb, BandsText(profile.bands).c_str())});
  if (useModel) {
    if (rate != kModelRate) chain.push_back({"aresample", Format("%u", kModelRate)});
    chain.push_back({"arnndn", "m=" + QuoteFilterValue(PathToUtf8(model)) + (level == 0 ? ":mix=1" : ":mix=0.8")});
    if (rate != kModelRate) chain.push_back({"aresample", Format("%u", rate)});
  }
  return chain;
}

std::string QuoteFilterValue(const std::string& value) {
  // Inside single quotes every character but the quote itself is literal
  // (Windows paths carry colons and backslashes).
  std::string out = "'";
  for (char c : value) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string ChainText(const std::vector<FilterStep>& chain) {
  std::string text;
  for (const FilterStep& step : chain) text += (text.empty() ? "" : ",") + step.name + "=" + step.options;
  return text;
}

bool ParseBandNoise(const std::string& log, std::array<double, kNoiseBands>& bands) {
  const size_t at = log.rfind("bn=");
  if (at == std::string::npos) return false;
  const char* p = log.c_str() + at + 3;
  for (int i = 0; i < kNoiseBands; ++i) {
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end == p || !std::isfinite(v)) return false;
    bands[size_t(i)] = v;
    p = end;
    while (*p == ' ' || *p == '|') ++p;
  }
  return true;
}

std::filesystem::path BuiltinModelPath() {
  const std::filesystem::path dir = ProgramDir();
  for (const std::filesystem::path& p :
       {dir / "sh.rnnn", dir / "models" / "sh.rnnn", dir.parent_path() / "share" / "VeskRecorder" / "sh.rnnn"}) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(p, ec)) return p;
  }
  return {};
}

bool ChainDelay(const std::vector<FilterStep>& chain, uint32_t rate, uint64_t& delay, std::string& error) {
  // The delay does not depend on the profile's values: key on the chain
  // without them.
  std::string key = Format("%u:", rate);
  for (const FilterStep& step : chain) key += step.name + (step.name == "afftdn" ? "" : "=" + step.options) + ",";
  static std::mutex mutex;
  static std::map<std::string, uint64_t> known;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (auto it = known.find(key); it != known.end()) {
      delay = it->second;
      return true;
    }
  }
  // An impulse half a second in, far above any floor, comes out at its delay.
  const uint64_t at = rate / 2, frames = uint64_t(rate) * 2;
  std::vector<float> impulse(frames, 0.0f);
  impulse[at] = 0.5f;
  std::vector<float> out;
  if (!RunFilterChain(chain, impulse.data(), frames, rate, 1, out, nullptr, error)) return false;
  size_t peak = 0;
  for (size_t i = 1; i < out.size(); ++i)
    if (std::fabs(out[i]) > std::fabs(out[peak])) peak = i;
  if (out.empty() || peak < at || out[peak] == 0.0f) {
    error = "内置降噪：测不出滤镜链的延迟";
    return false;
  }
  delay = peak - at;
  std::lock_guard<std::mutex> lock(mutex);
  known[key] = delay;
  return true;
}

bool MeasureNoiseProfile(const SampleSource& samples, uint32_t rate, uint32_t channels, uint64_t start,
                         uint64_t end, NoiseProfile& profile, std::string& error) {
  channels = std::max<uint32_t>(channels, 1);
  const uint64_t frames = samples.Frames();
  const uint64_t wanted = uint64_t(kSampleSeconds * rate);
  const bool quietest = start >= end || end > frames;
  if (quietest) {
    start = QuietestStretch(samples, channels, rate, wanted);
    end = std::min(frames, start + wanted);
  }
  if (end - start < uint64_t(kMinSampleSeconds * rate)) {
    error = "内置降噪：素材太短，取不到噪声样本（至少要 0.25 秒）";
    return false;
  }
  // The profile comes from the mono mix, so every channel gets the same one.
  const uint64_t n = end - start;
  std::vector<float> stretch(n * channels);
  ReadFrames(samples, start, n, channels, stretch.data());
  std::vector<float> mono(n);
  for (uint64_t f = 0; f < n; ++f) {
    double sum = 0;
    for (uint32_t c = 0; c < channels; ++c) sum += stretch[f * channels + c];
    mono[f] = float(sum / channels);
  }
  std::vector<float>().swap(stretch);
  NoiseProfile result;
  result.start = start;
  result.end = end;
  result.quietest = quietest;
  result.floorDb = quietest ? NoiseFloorFromPercentile(samples, channels, rate)
                            : NoiseFloorDb(mono.data(), n, 1);
  // afftdn samples between the two commands; the frames after the stop
  // command make it finish and report the bands.
  const double stop = double(n) / rate;
  mono.resize(n + rate / 10, 0.0f);
  const std::vector<FilterStep> chain = {
      {"asendcmd", Format("c=0 afftdn sn start;%.4f afftdn sn stop", stop)},
      {"afftdn", Format("nf=%d", result.floorDb)},
  };
  std::vector<float> out;
  std::string log;
  if (!RunFilterChain(chain, mono.data(), mono.size(), rate, 1, out, &log, error)) return false;
  if (!ParseBandNoise(log, result.bands)) {
    error = "内置降噪：没能测出噪声样本的频谱";
    return false;
  }
  result.valid = true;
  profile = result;
  return true;
}

bool RunBuiltinDenoise(std::vector<float>& samples, uint32_t rate, uint32_t channels, unsigned level,
                       NoiseProfile& profile, std::string& error, std::string* note) {
  channels = std::max<uint32_t>(channels, 1);
  if (samples.empty()) return true;
  if (!profile.valid &&
      !MeasureNoiseProfile(ContiguousSamples(samples.data(), samples.size() / channels, channels), rate, channels, 0, 0,
                           profile, error))
    return false;
  bool fallback = false;
  const std::vector<FilterStep> chain = BuiltinChain(level, profile, rate, BuiltinModelPath(), &fallback);
  if (note) *note = fallback ? "没找到语音模型 sh.rnnn，改用频谱降噪加大力度" : "";
  uint64_t delay = 0;
  if (!ChainDelay(chain, rate, delay, error)) return false;
  return RunFilterChainInPlace(chain, samples, rate, channels, delay, error);
}

}  // namespace vesk
