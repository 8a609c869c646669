#include "video/export_check.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/app_log.h"
#include "media/ffmpeg_url.h"
#include "platform/file.h"
#include "platform/text.h"
#include "video/ffmpeg_runner.h"

namespace vesk {

namespace {

constexpr double kEdgeMarginSeconds = 0.03;  // codec spread and the 5 ms ramps at cuts
constexpr double kWindowSeconds = 0.2;
constexpr double kMaxLagSeconds = 0.05;
constexpr double kMaxEncoderBlockSeconds = 0.11;  // a FLAC block of 4608 frames at 44100 Hz
constexpr float kSilentPeak = 0.003f;  // about -50 dBFS: what lossy coding leaves of digital silence
constexpr double kQuietRms = 0.003;
constexpr double kMatchCorrelation = 0.6;
constexpr char kStage[] = "正在核对导出结果…";

double MonoAt(const std::vector<float>& samples, unsigned channels, uint64_t frame) {
  double sum = 0;
  for (unsigned c = 0; c < channels; ++c) sum += samples[frame * channels + c];
  return sum / channels;
}

double MonoRms(const std::vector<float>& samples, unsigned channels, uint64_t start, uint64_t frames) {
  double energy = 0;
  for (uint64_t f = start; f < start + frames; ++f) {
    const double v = MonoAt(samples, channels, f);
    energy += v * v;
  }
  return frames ? std::sqrt(energy / double(frames)) : 0;
}

double Rms(const float* v, size_t n) {
  double energy = 0;
  for (size_t i = 0; i < n; ++i) energy += double(v[i]) * v[i];
  return n ? std::sqrt(energy / double(n)) : 0;
}

float Peak(const float* v, size_t n) {
  float peak = 0;
  for (size_t i = 0; i < n; ++i) peak = std::max(peak, std::fabs(v[i]));
  return peak;
}

// Normalised correlation of `e` with `o` starting at `o`.
double Correlation(const std::vector<float>& e, const float* o) {
  double cross = 0, ee = 0, oo = 0;
  for (size_t i = 0; i < e.size(); ++i) {
    cross += double(e[i]) * o[i];
    ee += double(e[i]) * e[i];
    oo += double(o[i]) * o[i];
  }
  return ee > 0 && oo > 0 ? cross / std::sqrt(ee * oo) : 0;
}

std::string FirstLine(const std::string& text) {
  const size_t end = text.find_first_of("\r\n");
  std::string line = text.substr(0, std::min<size_t>(end, 200));
  return line.empty() ? std::string("ffmpeg 没有说明原因") : line;
}

// ffmpeg's progress over one run mapped onto [lo, hi] of the check.
FfmpegProgress Band(const ExportProgress& progress, double totalSeconds, int lo, int hi) {
  if (!progress) return {};
  return [=](int64_t outTimeUs, double) {
    int percent = lo;
    if (totalSeconds > 0 && outTimeUs >= 0)
      percent = lo + int(std::clamp(double(outTimeUs) / (totalSeconds * 1e6), 0.0, 1.0) * (hi - lo));
    return progress(percent, kStage);
  };
}

}  // namespace

std::vector<CheckWindow> ChooseCheckWindows(const std::vector<FrameRange>& kept, const std::vector<float>& samples,
                                            unsigned channels, uint32_t rate) {
  std::vector<CheckWindow> windows;
  if (channels == 0 || rate == 0) return windows;
  const uint64_t total = samples.size() / channels;
  const uint64_t margin = uint64_t(rate * kEdgeMarginSeconds);
  const uint64_t window = uint64_t(rate * kWindowSeconds);
  const uint64_t minRemoved = rate / 50;  // 20 ms
  const uint64_t minKept = rate / 20;     // 50 ms

  // Removed ranges are what the kept ones leave uncovered.
  std::vector<FrameRange> removed;
  uint64_t covered = 0;
  for (const FrameRange& r : kept) {
    const uint64_t start = std::min<uint64_t>(uint64_t(std::max<int64_t>(r.start, 0)), total);
    const uint64_t end = std::min<uint64_t>(uint64_t(std::max<int64_t>(r.end, 0)), total);
    if (start > covered) removed.push_back({int64_t(covered), int64_t(start)});
    covered = std::max(covered, end);
  }
  if (covered < total) removed.push_back({int64_t(covered), int64_t(total)});
  std::stable_sort(removed.begin(), removed.end(),
                   [](const FrameRange& a, const FrameRange& b) { return a.end - a.start > b.end - b.start; });
  for (const FrameRange& r : removed) {
    if (windows.size() == 3) break;
    const uint64_t length = uint64_t(r.end - r.start);
    if (length < 2 * margin + minRemoved) continue;
    const uint64_t frames = std::min(length - 2 * margin, window);
    windows.push_back({uint64_t(r.start) + (length - frames) / 2, frames, true});
  }

  auto overlaps = [&](uint64_t start, uint64_t frames) {
    return std::any_of(windows.begin(), windows.end(), [&](const CheckWindow& w) {
      return start < w.start + w.frames && w.start < start + frames;
    });
  };
  for (const double fraction : {0.1, 0.4, 0.7, 0.95}) {
    const uint64_t target = uint64_t(double(total) * fraction);
    // The kept range holding the target, else the nearest one after it, else the last.
    const FrameRange* range = nullptr;
    for (const FrameRange& r : kept) {
      range = &r;
      if (uint64_t(r.end) > target) break;
    }
    if (!range) break;
    const uint64_t lo = std::min<uint64_t>(uint64_t(std::max<int64_t>(range->start, 0)), total) + margin;
    const uint64_t hi = std::min<uint64_t>(uint64_t(std::max<int64_t>(range->end, 0)), total);
    if (hi < lo + margin + minKept) continue;
    const uint64_t end = hi - margin;
    const uint64_t frames = std::min(end - lo, window);
    uint64_t start = std::clamp(target > frames / 2 ? target - frames / 2 : 0, lo, end - frames);
    // Quiet here: look up to 5 s further for sound, so the comparison can see a shift.
    for (int step = 0; step < 25 && MonoRms(samples, channels, start, frames) < kQuietRms; ++step) {
      if (start + 2 * frames > end) break;
      start += frames;
    }
    if (!overlaps(start, frames)) windows.push_back({start, frames, false});
  }
  std::sort(windows.begin(), windows.end(), [](const CheckWindow& a, const CheckWindow& b) { return a.start < b.start; });
  return windows;
}

bool ParsePictureTiming(const std::string& framecrc, PictureTiming& timing) {
  timing = PictureTiming{};
  long long tbNum = 0, tbDen = 0;
  std::vector<std::pair<int64_t, int64_t>> packets;  // pts, duration
  size_t pos = 0;
  while (pos < framecrc.size()) {
    size_t end = framecrc.find('\n', pos);
    if (end == std::string::npos) end = framecrc.size();
    const std::string line = framecrc.substr(pos, end - pos);
    pos = end + 1;
    if (line.rfind("#tb 0:", 0) == 0) {
      char* after = nullptr;
      tbNum = std::strtoll(line.c_str() + 6, &after, 10);
      if (after && *after == '/') tbDen = std::strtoll(after + 1, nullptr, 10);
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    // "stream, dts, pts, duration, size, crc[, more]"
    int64_t field[4] = {0, 0, 0, 0};
    const char* p = line.c_str();
    bool complete = true;
    for (int64_t& f : field) {
      char* after = nullptr;
      f = std::strtoll(p, &after, 10);
      if (after == p || *after != ',') {
        complete = false;
        break;
      }
      p = after + 1;
    }
    if (!complete || field[0] != 0) continue;
    packets.emplace_back(field[2] == INT64_MIN ? field[1] : field[2], std::max<int64_t>(field[3], 0));
  }
  if (packets.empty() || tbNum <= 0 || tbDen <= 0) return false;
  std::vector<int64_t> durations;
  for (const auto& p : packets)
    if (p.second > 0) durations.push_back(p.second);
  int64_t typical = 0;
  if (!durations.empty()) {
    std::nth_element(durations.begin(), durations.begin() + durations.size() / 2, durations.end());
    typical = durations[durations.size() / 2];
  }
  // A packet without a duration (some containers leave the last one open)
  // still shows for a typical frame.
  int64_t first = INT64_MAX, last = INT64_MIN;
  for (const auto& [pts, duration] : packets) {
    first = std::min(first, pts);
    last = std::max(last, pts + (duration > 0 ? duration : typical));
  }
  const double tb = double(tbNum) / double(tbDen);
  timing.frames = int64_t(packets.size());
  timing.seconds = double(last - first) * tb;
  timing.frameSeconds = typical > 0 ? double(typical) * tb : timing.seconds / double(timing.frames);
  return true;
}

std::string CompareCheckWindow(const std::vector<float>& expected, const std::vector<float>& output, size_t margin,
                               bool removed, uint32_t rate, double atSeconds) {
  const size_t n = expected.size();
  if (n == 0 || output.size() < n + 2 * margin) return {};
  const float* here = output.data() + margin;
  const double outRms = Rms(here, n);
  if (removed) {
    const float peak = Peak(here, n);
    if (peak <= kSilentPeak) return {};
    return Format("%.2f 秒处本应是静音（删掉的段落），实际有声音（峰值 %.3f）", atSeconds, double(peak));
  }
  const double expectedRms = Rms(expected.data(), n);
  if (expectedRms < kQuietRms) {
    if (outRms <= std::max(kQuietRms, 3 * expectedRms)) return {};
    return Format("%.2f 秒处本应几乎无声，实际有声音", atSeconds);
  }
  if (outRms < 0.1 * expectedRms) return Format("%.2f 秒处应有声音，实际几乎是静音", atSeconds);
  if (Correlation(expected, here) >= kMatchCorrelation) {
    const double ratio = outRms / expectedRms;
    if (ratio >= 0.5 && ratio <= 2.0) return {};
    return Format("%.2f 秒处音量和剪辑结果差了 %.1f dB", atSeconds, 20 * std::log10(ratio));
  }
  double best = -1;
  long bestLag = 0;
  const long lagFrames = long(margin);
  for (long lag = -lagFrames; lag <= lagFrames; ++lag) {
    const double c = Correlation(expected, here + lag);
    if (c > best) {
      best = c;
      bestLag = lag;
    }
  }
  if (best >= kMatchCorrelation && bestLag != 0) {
    const double ms = std::fabs(double(bestLag)) * 1000.0 / rate;
    return Format("%.2f 秒处声音错位约 %.0f 毫秒（比剪辑结果%s）", atSeconds, ms, bestLag > 0 ? "晚" : "早");
  }
  return Format("%.2f 秒处的声音和剪辑结果对不上", atSeconds);
}

bool CheckVideoExport(const ExportCheckInput& in, ExportCheckResult& result, std::string& error,
                      const ExportProgress& progress) {
  result = ExportCheckResult{};
  error.clear();
  const unsigned channels = in.format.channels;
  const uint32_t rate = in.format.sampleRate;
  if (!in.samples || channels == 0 || rate == 0) {
    error = "没有可对照的剪辑音频。";
    return false;
  }
  const double expectedSeconds = double(in.samples->size() / channels) / rate;
  const auto sourceCrc = in.workFolder / "picture-source.txt";
  const auto outputCrc = in.workFolder / "picture-output.txt";
  const auto audioRaw = in.workFolder / "audio.f32";
  const std::vector<std::string> head = {"-hide_banner", "-nostdin", "-loglevel", "error", "-y"};

  std::string log;
  bool cancelled = false;
  std::vector<std::string> args = head;
  args.insert(args.end(), {"-i", FfmpegFileUrl(in.source), "-map", "0:v:0", "-c", "copy", "-f", "framecrc",
                           FfmpegFileUrl(sourceCrc)});
  if (!RunFfmpeg(in.ffmpeg, args, log, 0, Band(progress, expectedSeconds, 0, 30), &cancelled)) {
    if (cancelled) return false;
    error = "读不回源视频的画面（" + FirstLine(log) + "）";
    return false;
  }

  // The edited track as one mono channel (the mean of its channels) at the
  // rate of the exported buffer, so it lines up with it frame by frame.
  args = head;
  args.insert(args.end(), {"-i", FfmpegFileUrl(in.output), "-map", "0:v:0", "-c", "copy", "-f", "framecrc",
                           FfmpegFileUrl(outputCrc), "-map", "0:a:" + std::to_string(in.audioIndex)});
  if (channels > 1) {
    std::string pan = "pan=mono|c0=";
    for (unsigned c = 0; c < channels; ++c) pan += Format("%s%.9g*c%u", c ? "+" : "", 1.0 / channels, c);
    args.insert(args.end(), {"-af", pan});
  }
  args.insert(args.end(), {"-ar", std::to_string(rate), "-c:a", "pcm_f32le", "-f", "f32le", FfmpegFileUrl(audioRaw)});
  if (!RunFfmpeg(in.ffmpeg, args, log, 0, Band(progress, expectedSeconds, 30, 95), &cancelled)) {
    if (cancelled) return false;
    error = "读不回导出的文件（" + FirstLine(log) + "）";
    return false;
  }

  std::string text;
  if (!ReadWholeFile(sourceCrc, text) || !ParsePictureTiming(text, result.sourcePicture)) {
    error = "源视频里读不出画面帧。";
    return false;
  }
  if (!ReadWholeFile(outputCrc, text) || !ParsePictureTiming(text, result.outputPicture)) {
    error = "导出的文件里读不出画面帧。";
    return false;
  }
  File audio;
  const int64_t bytes = audio.OpenRead(audioRaw) ? audio.Size() : -1;
  if (bytes < 0) {
    error = "导出的文件里读不出新音轨。";
    return false;
  }
  const uint64_t outFrames = uint64_t(bytes) / 4;
  result.audioSeconds = double(outFrames) / rate;

  const PictureTiming& src = result.sourcePicture;
  const PictureTiming& out = result.outputPicture;
  if (src.frames != out.frames)
    result.differences.push_back(Format("画面帧数变了：源视频 %lld 帧，导出文件 %lld 帧", static_cast<long long>(src.frames),
                                        static_cast<long long>(out.frames)));
  if (std::fabs(src.seconds - out.seconds) > std::max(0.002, src.frameSeconds / 2))
    result.differences.push_back(
        Format("画面时长变了：源视频 %.3f 秒，导出文件 %.3f 秒", src.seconds, out.seconds));
  const double frame = out.frameSeconds > 0 ? out.frameSeconds : src.frameSeconds;
  // A single picture is held for the whole sound: there is no picture
  // length for the track to match.
  const bool still = src.frames <= 1;
  const double excess = still ? 0.0 : result.audioSeconds - out.seconds;
  if (excess < -(frame + 0.001)) {
    result.differences.push_back(Format("音轨比画面短了 %.3f 秒（超过一帧）：音轨 %.3f 秒，画面 %.3f 秒", -excess,
                                        result.audioSeconds, out.seconds));
  } else if (excess > frame + 0.001) {
    // ffmpeg ends the padded track at an encoder block (FLAC 4608 frames,
    // AAC 1024), so it may run past the picture; that tail is padding and
    // must be silent.
    const uint64_t from = std::min<uint64_t>(uint64_t((out.seconds + frame) * rate), outFrames);
    const uint64_t count = outFrames - from;
    std::vector<float> tail(count);
    const bool read = count == 0 || (audio.Seek(int64_t(from) * 4) &&
                                     audio.Read(tail.data(), count * 4) == int64_t(count) * 4);
    if (!read || excess > frame + kMaxEncoderBlockSeconds || Peak(tail.data(), tail.size()) > kSilentPeak)
      result.differences.push_back(Format("音轨比画面长了 %.3f 秒（超过一帧）：音轨 %.3f 秒，画面 %.3f 秒", excess,
                                          result.audioSeconds, out.seconds));
    else
      result.silentTailSeconds = excess;
  }

  const size_t margin = size_t(rate * kMaxLagSeconds);
  for (const CheckWindow& w : in.windows) {
    if (w.frames == 0 || (w.start + w.frames) * channels > in.samples->size()) continue;
    std::vector<float> expected(w.frames);
    for (uint64_t i = 0; i < w.frames; ++i) expected[i] = float(MonoAt(*in.samples, channels, w.start + i));
    // The decoded stretch with the lag margin on both sides; zeros beyond the file.
    std::vector<float> decoded(w.frames + 2 * margin, 0.0f);
    const int64_t from = int64_t(w.start) - int64_t(margin);
    const int64_t readFrom = std::max<int64_t>(from, 0);
    const int64_t readTo = std::min<int64_t>(from + int64_t(decoded.size()), int64_t(outFrames));
    if (readTo > readFrom) {
      if (!audio.Seek(readFrom * 4) ||
          audio.Read(decoded.data() + (readFrom - from), size_t(readTo - readFrom) * 4) != (readTo - readFrom) * 4) {
        error = "导出的新音轨读不完整。";
        return false;
      }
    }
    const std::string difference =
        CompareCheckWindow(expected, decoded, margin, w.removed, rate, double(w.start + w.frames / 2) / rate);
    if (!difference.empty()) result.differences.push_back(difference);
    ++result.windowsChecked;
  }
  if (progress && !progress(100, kStage)) return false;
  AppLog("[ff] check %s: picture %lld/%lld frames %.3f/%.3f s, audio %.3f s (silent tail %.3f s), %d windows, "
         "%u differences",
         PathToUtf8(in.output).c_str(), static_cast<long long>(src.frames), static_cast<long long>(out.frames),
         src.seconds, out.seconds, result.audioSeconds, result.silentTailSeconds, result.windowsChecked,
         unsigned(result.differences.size()));
  return true;
}

}  // namespace vesk
