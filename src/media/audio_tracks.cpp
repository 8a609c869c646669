#include "media/audio_tracks.h"

#include "media/sample_spill.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "media/audition.h"
#include "media/ffmpeg_decoder.h"
#include "media/resample.h"
#include "media/sample_convert.h"
#include "media/sample_spill.h"
#include "media/system_reader.h"
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

bool MixInto(const std::filesystem::path& path, const std::vector<AudioTrack>& tracks, uint32_t rate,
             unsigned channels, std::vector<float>& mix, std::string& error) {
  for (const AudioTrack& track : tracks) {
    AudioFormat trackFormat;
    std::vector<float> decoded;
    if (!DecodeAudioTrack(path, track, trackFormat, decoded, error)) return false;
    // Channels first: the resampler takes one or two channels, and a 5.1
    // track decoded by FFmpeg keeps six. Both steps are linear, so the order
    // does not change the result.
    if (trackFormat.channels != channels) decoded = ConvertChannels(decoded, trackFormat.channels, channels);
    if (trackFormat.sampleRate != rate) {
      std::vector<float> resampled;
      if (!ResampleAudio(decoded, trackFormat.sampleRate, rate, uint16_t(channels), resampled, error)) return false;
      decoded = std::move(resampled);
    }
    if (decoded.size() > mix.size()) mix.resize(decoded.size(), 0.0f);
    for (size_t i = 0; i < decoded.size(); ++i) mix[i] += decoded[i];
  }
  return true;
}

}  // namespace

bool DecodeAllTracksMixed(const std::filesystem::path& path, const std::vector<AudioTrack>& tracks,
                          AudioFormat& format, std::vector<float>& samples, std::string& error) {
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
  std::vector<float> mix;
  try {
    if (!MixInto(path, tracks, rate, channels, mix, error)) return false;
  } catch (const std::bad_alloc&) {
    error = "内存不足。";
    return false;
  }
  float peak = 0;
  for (float v : mix) peak = std::max(peak, std::fabs(v));
  if (peak > 1.0f) {
    const float gain = 1.0f / peak;
    for (float& v : mix) v *= gain;
  }
  samples = std::move(mix);
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
