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
constexpr int kAacFrame = 1024;
constexpr float kSilentPeak = 0.003f;  // about -50 dBFS: what lossy coding leaves of digital silence
constexpr double kQuietRms = 0.003;
constexpr double kMatchCorrelation = 0.6;
constexpr double kClearPeak = 0.9;  // another lag this close to the best makes the lag unknown
constexpr char kStage[] = "正在核对导出结果…";

// Frames [start, start + frames) mixed to mono.
std::vector<float> MonoStretch(const SampleSource& samples, unsigned channels, uint64_t start, uint64_t frames) {
  std::vector<float> frame(size_t(frames) * channels);
  ReadFrames(samples, start, frames, channels, frame.data());
  std::vector<float> mono(static_cast<size_t>(frames));
  for (size_t f = 0; f < mono.size(); ++f) {
    double sum = 0;
    for (unsigned c = 0; c < channels; ++c) sum += frame[f * channels + c];
    mono[f] = float(sum / channels);
  }
  return mono;
}

double MonoRms(const SampleSource& samples, unsigned channels, uint64_t start, uint64_t frames) {
  double energy = 0;
  for (const float v : MonoStretch(samples, channels, start, frames)) energy += double(v) * v;
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

std::vector<CheckWindow> ChooseCheckWindows(const std::vector<FrameRange>& kept, const SampleSource& samples,
                                            unsigned channels, uint32_t rate) {
  std::vector<CheckWindow> windows;
  if (channels == 0 || rate == 0) return windows;
  const uint64_t total = samples.Frames();
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

namespace {

struct FramecrcStream {
  double tb = 0;
  std::string codec;
  int sampleRate = 0;
  std::vector<std::pair<int64_t, int64_t>> packets;  // pts, duration
};

// The time base, codec and packets of stream `index` of a framecrc text.
FramecrcStream ReadFramecrcStream(const std::string& framecrc, int index) {
  FramecrcStream stream;
  const std::string tbTag = "#tb " + std::to_string(index) + ":";
  const std::string codecTag = "#codec_id " + std::to_string(index) + ":";
  const std::string rateTag = "#sample_rate " + std::to_string(index) + ":";
  size_t pos = 0;
  while (pos < framecrc.size()) {
    size_t end = framecrc.find('\n', pos);
    if (end == std::string::npos) end = framecrc.size();
    const std::string line = framecrc.substr(pos, end - pos);
    pos = end + 1;
    if (line.rfind(tbTag, 0) == 0) {
      char* after = nullptr;
      const long long num = std::strtoll(line.c_str() + tbTag.size(), &after, 10);
      const long long den = after && *after == '/' ? std::strtoll(after + 1, nullptr, 10) : 0;
      if (num > 0 && den > 0) stream.tb = double(num) / double(den);
      continue;
    }
    if (line.rfind(codecTag, 0) == 0) {
      stream.codec = line.substr(codecTag.size());
      stream.codec.erase(0, stream.codec.find_first_not_of(' '));
      continue;
    }
    if (line.rfind(rateTag, 0) == 0) {
      stream.sampleRate = std::atoi(line.c_str() + rateTag.size());
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
    if (!complete || field[0] != index) continue;
    stream.packets.emplace_back(field[2] == INT64_MIN ? field[1] : field[2], std::max<int64_t>(field[3], 0));
  }
  return stream;
}

}  // namespace

int FramecrcStreams(const std::string& framecrc) {
  int streams = 0;
  for (size_t pos = framecrc.find("#tb "); pos != std::string::npos; pos = framecrc.find("#tb ", pos + 4))
    if (pos == 0 || framecrc[pos - 1] == '\n') ++streams;
  return streams;
}

bool ParsePictureTiming(const std::string& framecrc, PictureTiming& timing) {
  timing = PictureTiming{};
  const FramecrcStream stream = ReadFramecrcStream(framecrc, 0);
  if (stream.packets.empty() || stream.tb <= 0) return false;
  std::vector<int64_t> durations;
  for (const auto& p : stream.packets)
    if (p.second > 0) durations.push_back(p.second);
  int64_t typical = 0;
  if (!durations.empty()) {
    std::nth_element(durations.begin(), durations.begin() + durations.size() / 2, durations.end());
    typical = durations[durations.size() / 2];
  }
  // The last frame counts one typical frame whatever its own duration says:
  // MP4 derives it from the edit list, Matroska may leave it open.
  int64_t first = INT64_MAX, last = INT64_MIN;
  for (const auto& p : stream.packets) {
    first = std::min(first, p.first);
    last = std::max(last, p.first);
  }
  const double tb = stream.tb;
  timing.frames = int64_t(stream.packets.size());
  timing.startSeconds = double(first) * tb;
  timing.spanSeconds = double(last - first) * tb;
  timing.frameSeconds = typical > 0 ? double(typical) * tb : 0;
  timing.seconds = timing.spanSeconds + timing.frameSeconds;
  timing.stepSeconds = tb;
  return true;
}

std::string CompareCheckWindow(const std::vector<float>& expected, const std::vector<float>& output, size_t margin,
                               bool removed, uint32_t rate, double atSeconds, size_t tolerance) {
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

  const long lagFrames = long(margin);
  const long inPlace = std::min(long(tolerance), lagFrames);
  std::vector<double> c(size_t(2 * lagFrames + 1));
  for (long lag = -lagFrames; lag <= lagFrames; ++lag) c[size_t(lag + lagFrames)] = Correlation(expected, here + lag);
  auto at = [&](long lag) { return c[size_t(lag + lagFrames)]; };
  long placed = 0;
  for (long lag = -inPlace; lag <= inPlace; ++lag)
    if (at(lag) > at(placed)) placed = lag;
  if (at(placed) >= kMatchCorrelation) {
    const double ratio = Rms(here + placed, n) / expectedRms;
    if (ratio >= 0.5 && ratio <= 2.0) return {};
    return Format("%.2f 秒处音量和剪辑结果差了 %.1f dB", atSeconds, 20 * std::log10(ratio));
  }
  long best = -lagFrames;
  for (long lag = -lagFrames; lag <= lagFrames; ++lag)
    if (at(lag) > at(best)) best = lag;
  // The runner-up among the other peaks: a lag is named only when it stands
  // clear of them, or a periodic sound would get a made-up shift.
  double second = -1;
  for (long lag = -lagFrames + 1; lag < lagFrames; ++lag) {
    if (std::labs(lag - best) <= long(rate / 2000) || at(lag) < at(lag - 1) || at(lag) < at(lag + 1)) continue;
    second = std::max(second, at(lag));
  }
  if (at(best) >= kMatchCorrelation && second < kClearPeak * at(best)) {
    const double ms = std::fabs(double(best)) * 1000.0 / rate;
    return Format("%.2f 秒处声音错位约 %.0f 毫秒（比剪辑结果%s）", atSeconds, ms, best > 0 ? "晚" : "早");
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
  const uint64_t expectedFrames = in.samples->Frames();
  const double expectedSeconds = double(expectedFrames) / rate;
  const auto sourceCrc = in.workFolder / "picture-source.txt";
  const auto outputCrc = in.workFolder / "streams-output.txt";
  const auto audioCrc = in.workFolder / "audio-output.txt";
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
  // The picture and every audio track as stored: frame times, track count,
  // and the time base and codec of the new track.
  args = head;
  args.insert(args.end(), {"-i", FfmpegFileUrl(in.output), "-map", "0:v:0", "-map", "0:a?", "-c", "copy", "-f",
                           "framecrc", FfmpegFileUrl(outputCrc)});
  if (!RunFfmpeg(in.ffmpeg, args, log, 0, Band(progress, expectedSeconds, 30, 45), &cancelled)) {
    if (cancelled) return false;
    error = "读不回导出的文件（" + FirstLine(log) + "）";
    return false;
  }
  std::string text, outputText;
  if (!ReadWholeFile(sourceCrc, text) || !ParsePictureTiming(text, result.sourcePicture)) {
    error = "源视频里读不出画面帧。";
    return false;
  }
  if (!ReadWholeFile(outputCrc, outputText) || !ParsePictureTiming(outputText, result.outputPicture)) {
    error = "导出的文件里读不出画面帧。";
    return false;
  }
  const PictureTiming& src = result.sourcePicture;
  const PictureTiming& out = result.outputPicture;
  if (src.frames != out.frames)
    result.differences.push_back(Format("画面帧数变了：源视频 %lld 帧，导出文件 %lld 帧", static_cast<long long>(src.frames),
                                        static_cast<long long>(out.frames)));
  const double frame = out.frameSeconds > 0 ? out.frameSeconds : src.frameSeconds;
  if (std::fabs(src.spanSeconds - out.spanSeconds) > std::max(0.002, frame / 2))
    result.differences.push_back(Format("画面时长变了：源视频 %.3f 秒，导出文件 %.3f 秒", src.seconds, out.seconds));

  result.audioTracks = std::max(FramecrcStreams(outputText) - 1, 0);
  if (in.audioTracks > 0 && result.audioTracks != in.audioTracks)
    result.differences.push_back(
        Format("音轨数不对：应有 %d 条，导出文件里有 %d 条", in.audioTracks, result.audioTracks));
  if (in.audioIndex >= result.audioTracks) {
    result.differences.push_back("导出文件里找不到新音轨");
    if (progress && !progress(100, kStage)) return false;
    return true;
  }
  const FramecrcStream stored = ReadFramecrcStream(outputText, in.audioIndex + 1);

  // The edited track decoded as one mono channel (the mean of its channels)
  // at the rate of the exported buffer, so it lines up with it frame by
  // frame, and the times of its decoded frames.
  args = head;
  args.insert(args.end(), {"-i", FfmpegFileUrl(in.output), "-map", "0:a:" + std::to_string(in.audioIndex)});
  if (channels > 1) {
    std::string pan = "pan=mono|c0=";
    for (unsigned c = 0; c < channels; ++c) pan += Format("%s%.9g*c%u", c ? "+" : "", 1.0 / channels, c);
    args.insert(args.end(), {"-af", pan});
  }
  args.insert(args.end(), {"-ar", std::to_string(rate), "-c:a", "pcm_f32le", "-f", "f32le", FfmpegFileUrl(audioRaw),
                           "-map", "0:a:" + std::to_string(in.audioIndex), "-c:a", "pcm_f32le", "-f", "framecrc",
                           FfmpegFileUrl(audioCrc)});
  if (!RunFfmpeg(in.ffmpeg, args, log, 0, Band(progress, expectedSeconds, 45, 95), &cancelled)) {
    if (cancelled) return false;
    error = "读不回导出的文件（" + FirstLine(log) + "）";
    return false;
  }
  PictureTiming decoded;  // the decoded frames' times, read the same way
  if (!ReadWholeFile(audioCrc, text) || !ParsePictureTiming(text, decoded)) {
    error = "导出的文件里读不出新音轨。";
    return false;
  }
  File audio;
  const int64_t bytes = audio.OpenRead(audioRaw) ? audio.Size() : -1;
  if (bytes < 0) {
    error = "导出的文件里读不出新音轨。";
    return false;
  }
  const int64_t outFrames = bytes / 4;

  // Where the exported buffer's first frame lies in the decoded sound: the
  // picture's start moved as much as the source's (a container may shift
  // every stream by an encoder's priming), measured from where the decoded
  // sound starts. Times are only as fine as the coarsest time base.
  const double lead = (out.startSeconds - src.startSeconds) - decoded.startSeconds;
  const int64_t shift = std::llround(lead * rate);
  const double step = std::max({src.stepSeconds, out.stepSeconds, stored.tb, 1.0 / rate});
  const int64_t tolerance = int64_t(std::ceil(step * rate)) + 1;
  result.audioLeadSeconds = lead;
  const int64_t endFrame = outFrames - shift;
  result.audioSeconds = double(endFrame) / rate;
  if (shift < -tolerance)
    result.differences.push_back(Format("新音轨比画面晚开始了 %.3f 秒", double(-shift) / rate));
  // AAC is coded in whole blocks of 1024 frames. MP4 states where the sound
  // ends inside the last one, Matroska cannot, and ffmpeg's decoder plays it
  // whole either way: up to one block of padding past the end is the
  // codec's, not a fault.
  const int64_t padding =
      stored.codec == "aac" ? int64_t(std::ceil(double(kAacFrame) * rate / std::max(stored.sampleRate, 1))) : 0;
  const int64_t excess = endFrame - int64_t(expectedFrames);
  if (excess < -tolerance)
    result.differences.push_back(Format("新音轨比剪辑结果短了 %.3f 秒：音轨 %.3f 秒，剪辑结果 %.3f 秒",
                                        double(-excess) / rate, result.audioSeconds, expectedSeconds));
  else if (excess > tolerance + padding)
    result.differences.push_back(Format("新音轨比剪辑结果长了 %.3f 秒：音轨 %.3f 秒，剪辑结果 %.3f 秒",
                                        double(excess) / rate, result.audioSeconds, expectedSeconds));
  // A single picture is held for the whole sound: there is no picture
  // length for the track to match.
  if (src.frames > 1 && result.audioSeconds < out.seconds - frame - 0.001)
    result.differences.push_back(Format("音轨比画面短了 %.3f 秒（超过一帧）：音轨 %.3f 秒，画面 %.3f 秒",
                                        out.seconds - result.audioSeconds, result.audioSeconds, out.seconds));

  const size_t margin = size_t(rate * kMaxLagSeconds);
  for (const CheckWindow& w : in.windows) {
    if (w.frames == 0 || w.start + w.frames > in.samples->Frames()) continue;
    const std::vector<float> expected = MonoStretch(*in.samples, channels, w.start, w.frames);
    // The decoded stretch with the lag margin on both sides; zeros beyond the file.
    std::vector<float> decodedWindow(w.frames + 2 * margin, 0.0f);
    const int64_t from = int64_t(w.start) + shift - int64_t(margin);
    const int64_t readFrom = std::max<int64_t>(from, 0);
    const int64_t readTo = std::min<int64_t>(from + int64_t(decodedWindow.size()), outFrames);
    if (readTo > readFrom) {
      if (!audio.Seek(readFrom * 4) || audio.Read(decodedWindow.data() + (readFrom - from),
                                                  size_t(readTo - readFrom) * 4) != (readTo - readFrom) * 4) {
        error = "导出的新音轨读不完整。";
        return false;
      }
    }
    const std::string difference = CompareCheckWindow(expected, decodedWindow, margin, w.removed, rate,
                                                      double(w.start + w.frames / 2) / rate, size_t(tolerance));
    if (!difference.empty()) result.differences.push_back(difference);
    ++result.windowsChecked;
  }
  if (progress && !progress(100, kStage)) return false;
  AppLog("[ff] check %s: picture %lld/%lld frames %.3f/%.3f s, %d audio tracks, new track %.3f s from %+.3f s, "
         "%d windows, %u differences",
         PathToUtf8(in.output).c_str(), static_cast<long long>(src.frames), static_cast<long long>(out.frames),
         src.seconds, out.seconds, result.audioTracks, result.audioSeconds, lead, result.windowsChecked,
         unsigned(result.differences.size()));
  return true;
}

}  // namespace vesk
