#include "media/system_reader.h"

#include <algorithm>
#include <new>

#include "media/sample_convert.h"
#include "media/sample_spill.h"
#include "platform/text.h"

namespace vesk {

namespace {
std::string CodeSuffix(uint32_t code) { return Format("（HRESULT 0x%08X）", code); }
}  // namespace

bool ConfigureSystemReader(SystemAudioReader& reader, SystemReaderOutput& output, std::string& error) {
  uint32_t rate = 0, channels = 0;
  if (!reader.NativeFormat(rate, channels)) {
    error = "这条轨道读不出音频参数。";
    return false;
  }
  if (rate == 0 || channels == 0) {
    error = "读不出音频参数。";
    return false;
  }
  uint32_t code = 0;
  output.isFloat = true;
  if (!reader.SetOutput(true, rate, channels, code)) {
    output.isFloat = false;
    if (!reader.SetOutput(false, rate, channels, code)) {
      error = "解码器不接受 PCM/float 输出" + CodeSuffix(code);
      return false;
    }
  }
  output.sourceChannels = channels;
  output.format = AudioFormat{rate, uint16_t(std::min<uint32_t>(channels, 2)), 16};
  return true;
}

bool DecodeWithSourceReader(SystemAudioReader& reader, AudioFormat& format, std::vector<float>& samples,
                            std::string& error, SampleSpill* spill) {
  SystemReaderOutput out;
  if (!ConfigureSystemReader(reader, out, error)) return false;
  format = out.format;
  samples.clear();
  try {
    const double seconds = reader.DurationSeconds() > 0 ? std::min(reader.DurationSeconds(), 1e7) : 0;
    const uint64_t expected = uint64_t(seconds * format.sampleRate) * format.channels;
    if (spill) spill->Expect(expected);
    if (spill && expected > spill->ReserveValues())
      samples.reserve(spill->ReserveValues());  // the rest goes to the spill file
    else
      ReserveForDuration(samples, reader.DurationSeconds(), format.sampleRate, format.channels);
    const size_t bytesPerFrame = size_t(out.sourceChannels) * (out.isFloat ? 4 : 2);
    for (;;) {
      bool end = false;
      uint32_t code = 0;
      const bool ok = reader.ReadSample(
          [&](const uint8_t* bytes, size_t size) {
            const size_t frames = size / bytesPerFrame;
            if (out.isFloat)
              AppendFloatFrames(bytes, frames, out.sourceChannels, format.channels, samples);
            else
              AppendPcm16Frames(bytes, frames, out.sourceChannels, format.channels, samples);
          },
          end, code);
      if (!ok) {
        error = "解码读取失败" + CodeSuffix(code);
        return false;
      }
      if (spill && !spill->Offer(samples, format.channels, error)) return false;
      if (end) {
        if (!spill || !spill->Spilled()) TrimSlack(samples);
        return true;
      }
    }
  } catch (const std::bad_alloc&) {
    samples.clear();
    samples.shrink_to_fit();
    error = "内存不足。";
    return false;
  }
}

}  // namespace vesk
