#include "media/audio_tracks.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "media/audition.h"
#include "media/ffmpeg_decoder.h"
#include "media/sample_convert.h"
#include "media/sample_spill.h"
#include "media/system_reader.h"
#include "media/wav_reader.h"
#include "platform/file.h"
#include "platform/text.h"

namespace vesk {

std::string TrackLabel(const AudioTrack& track) {
  std::string suffix;
  if (!track.name.empty()) suffix += " · " + track.name;
  if (!track.language.empty()) suffix += "（" + track.language + "）";
  return Format("轨道 %u · %u Hz · %s%s", unsigned(track.ordinal + 1), track.sampleRate,
                track.channels < 2 ? "单声道" : "立体声", suffix.c_str());
}

bool ListAudioTracks(const std::filesystem::path& path, std::vector<AudioTrack>& tracks, std::string& error) {
  tracks.clear();
  error.clear();
  if (IsSpecialFile(path)) {
    error = kSpecialFileText;
    return false;
  }
  if (AsciiLower(PathToUtf8(path.extension())) == ".wav") {
    tracks.push_back(AudioTrack{});
    return true;
  }
  switch (ListAudioTracksWithSystemReader(path, tracks)) {
    case SystemListing::Listed: return true;
    case SystemListing::Failed:
      tracks.clear();
      error = "读不出文件的流清单。";
      return false;
    case SystemListing::Unavailable: break;
  }
  return ListAudioTracksWithFfmpeg(path, tracks, error);
}

std::vector<float> ConvertChannels(const std::vector<float>& input, unsigned from, unsigned to) {
  if (from == to || from == 0 || to == 0) return input;
  const size_t frames = input.size() / from;
  std::vector<float> out;
  out.reserve(frames * to);
  if (from == 1) {
    for (size_t f = 0; f < frames; ++f)
      for (unsigned c = 0; c < to; ++c) out.push_back(input[f]);
    return out;
  }
  for (size_t f = 0; f < frames; ++f) {
    double sum = 0;
    for (unsigned c = 0; c < from; ++c) sum += input[f * from + c];
    const float mean = float(sum / from);
    for (unsigned c = 0; c < to; ++c) out.push_back(mean);
  }
  return out;
}

bool DecodeAudioTrack(const std::filesystem::path& path, const AudioTrack& track, AudioFormat& format,
                      std::vector<float>& samples, std::string& error, SampleSpill* spill) {
  if (auto reader = OpenSystemAudioReader(path, track.streamIndex)) {
    if (DecodeWithSourceReader(*reader, format, samples, error, spill)) return true;
    if (spill) spill->Reset();
  }
  error.clear();
  samples.clear();
  return DecodeWithFfmpeg(path, track.ordinal, format, samples, error, nullptr, spill);
}

namespace {

// One decoded track as the mix reads it: in memory, or past the spill limit
// in its own spill file; a track of another rate is interpolated as it is
// read (as ResampleAudio does: linearly, with the same length).
struct MixSource {
  std::vector<float> samples;
  std::shared_ptr<const WavFileFrames> file;
  unsigned channels = 1;
  uint32_t sourceRate = 0, rate = 0;  // differ for a track of another rate

  uint64_t StoredFrames() const { return file ? file->Layout().Frames() : samples.size() / channels; }
  uint64_t Frames() const {
    const uint64_t stored = StoredFrames();
    if (sourceRate == rate) return stored;
    if (stored <= 1) return stored;
    const auto whole = uint64_t(std::floor(double(stored) / (double(sourceRate) / double(rate))));
    // Output frame j needs stored frames k and k + 1, k = ⌊j·source/rate⌋.
    return std::min(whole, ((stored - 1) * rate + sourceRate - 1) / sourceRate);
  }
  void Read(uint64_t at, uint64_t n, std::vector<float>& chunk) const {
    chunk.resize(size_t(n) * channels);
    if (file)
      file->Read(at, n, chunk.data());
    else
      std::copy_n(samples.begin() + ptrdiff_t(at * channels), n * channels, chunk.begin());
  }
  // Frames [at, at + count) brought to `to` channels, added into `sum`.
  void AddInto(uint64_t at, uint64_t count, unsigned to, std::vector<float>& chunk, float* sum) const {
    const uint64_t n = at < Frames() ? std::min(count, Frames() - at) : 0;
    if (n == 0) return;
    if (sourceRate != rate && StoredFrames() > 1) {
      const uint64_t first = at * sourceRate / rate;
      const uint64_t last = std::min((at + n - 1) * sourceRate / rate + 1, StoredFrames() - 1);
      std::vector<float> stored;
      Read(first, last + 1 - first, stored);
      chunk.resize(size_t(n) * channels);
      for (uint64_t j = 0; j < n; ++j) {
        const uint64_t scaled = (at + j) * sourceRate;
        const float* a = &stored[(scaled / rate - first) * channels];
        const double f = double(scaled % rate) / double(rate);
        for (unsigned c = 0; c < channels; ++c)
          chunk[j * channels + c] = float(a[c] + (double(a[channels + c]) - a[c]) * f);
      }
    } else {
      Read(at, n, chunk);
    }
    if (channels != to) chunk = ConvertChannels(chunk, channels, to);
    for (size_t i = 0; i < size_t(n) * to; ++i) sum[i] += chunk[i];
  }
};

bool DecodeForMix(const std::filesystem::path& path, const AudioTrack& track, uint32_t rate, uint64_t spillBytes,
                  MixSource& source, std::string& error) {
  AudioFormat format;
  SampleSpill spill(spillBytes);
  bool ok = DecodeAudioTrack(path, track, format, source.samples, error, &spill);
  if (ok && spill.Spilled()) ok = (source.file = spill.Finish(source.samples, format, error)) != nullptr;
  if (!ok && spill.Failed()) {
    // No room for the spill file: the track in memory.
    spill.Reset();
    ok = DecodeAudioTrack(path, track, format, source.samples, error);
  }
  if (!ok) return false;
  source.channels = std::max<unsigned>(format.channels, 1);
  source.sourceRate = format.sampleRate ? format.sampleRate : rate;
  source.rate = rate;
  return true;
}

}  // namespace

bool DecodeAllTracksMixed(const std::filesystem::path& path, const std::vector<AudioTrack>& tracks,
                          AudioFormat& format, std::vector<float>& samples, std::string& error, SampleSpill* spill,
                          uint64_t trackSpillBytes) {
  error.clear();
  samples.clear();
  if (tracks.empty()) {
    error = "文件里没有音频轨道。";
    return false;
  }
  const uint32_t rate = tracks.front().sampleRate;
  if (rate == 0) {
    error = "读不出音频参数。";
    return false;
  }
  const bool anyMulti = std::any_of(tracks.begin(), tracks.end(), [](const AudioTrack& t) { return t.channels > 1; });
  const unsigned channels = anyMulti ? 2 : 1;
  try {
    std::vector<MixSource> sources(tracks.size());
    uint64_t frames = 0;
    for (size_t t = 0; t < tracks.size(); ++t) {
      if (!DecodeForMix(path, tracks[t], rate, trackSpillBytes, sources[t], error)) return false;
      frames = std::max(frames, sources[t].Frames());
    }
    // Two passes a stretch at a time: the peak of the sum, then the sum
    // scaled down when it clips.
    constexpr uint64_t kStretch = 65536;
    std::vector<float> sum, chunk;
    auto mixed = [&](uint64_t at) {
      const uint64_t n = std::min(kStretch, frames - at);
      sum.assign(size_t(n) * channels, 0.0f);
      for (const MixSource& source : sources) source.AddInto(at, n, channels, chunk, sum.data());
    };
    float peak = 0;
    for (uint64_t at = 0; at < frames; at += kStretch) {
      mixed(at);
      for (float v : sum) peak = std::max(peak, std::fabs(v));
    }
    const float gain = peak > 1.0f ? 1.0f / peak : 1.0f;
    if (!spill) samples.reserve(size_t(frames) * channels);
    for (uint64_t at = 0; at < frames; at += kStretch) {
      mixed(at);
      if (gain != 1.0f)
        for (float& v : sum) v *= gain;
      samples.insert(samples.end(), sum.begin(), sum.end());
      if (spill && !spill->Offer(samples, channels, error)) return false;
    }
  } catch (const std::bad_alloc&) {
    samples.clear();
    error = "内存不足。";
    return false;
  }
  format = AudioFormat{rate, uint16_t(channels), 16};
  return true;
}

namespace {

// Steps 2-4 of the audition over the system reader. False with an empty error
// means the reader could not be configured and FFmpeg should try.
bool AuditionWithSystemReader(SystemAudioReader& reader, double clipSeconds, double scanSeconds, AudioFormat& format,
                              std::vector<float>& samples, bool& allSilent, std::string& error) {
  SystemReaderOutput out;
  std::string configureError;
  if (!ConfigureSystemReader(reader, out, configureError)) return false;
  AuditionCollector collector(out.format.sampleRate, out.format.channels, clipSeconds, scanSeconds);
  std::vector<float> block;
  const size_t bytesPerFrame = size_t(out.sourceChannels) * (out.isFloat ? 4 : 2);
  while (collector.WantsMore()) {
    bool end = false;
    uint32_t code = 0;
    const bool ok = reader.ReadSample(
        [&](const uint8_t* bytes, size_t size) {
          block.clear();
          const size_t frames = size / bytesPerFrame;
          // Every channel goes to the collector, which folds them into what is played.
          if (out.isFloat)
            AppendFloatFrames(bytes, frames, out.sourceChannels, out.sourceChannels, block);
          else
            AppendPcm16Frames(bytes, frames, out.sourceChannels, out.sourceChannels, block);
          collector.Add(block.data(), frames, out.sourceChannels);
        },
        end, code);
    if (!ok) {
      error = Format("解码读取失败（HRESULT 0x%08X）", code);
      return false;
    }
    if (end) break;
  }
  samples = collector.Finish(allSilent);
  format = out.format;
  return true;
}

}  // namespace

bool DecodeAudition(const std::filesystem::path& path, const AudioTrack& track, double clipSeconds,
                    double scanSeconds, AudioFormat& format, std::vector<float>& samples, bool& allSilent,
                    std::string& error) {
  allSilent = false;
  samples.clear();
  error.clear();
  try {
    if (auto reader = OpenSystemAudioReader(path, track.streamIndex)) {
      if (AuditionWithSystemReader(*reader, clipSeconds, scanSeconds, format, samples, allSilent, error)) return true;
      if (!error.empty()) return false;
    }
    return DecodeAuditionWithFfmpeg(path, track.ordinal, clipSeconds, scanSeconds, format, samples, allSilent,
                                    error);
  } catch (const std::bad_alloc&) {
    samples.clear();
    error = "内存不足。";
    return false;
  }
}

}  // namespace vesk
