// Feeds arbitrary decoder output blocks through the block conversion and the
// audition excerpt rule: values must come out clamped, frames whole, and the
// excerpt never longer than its clip.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "media/audio_tracks.h"
#include "media/audition.h"
#include "media/sample_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const unsigned sourceChannels = 1 + data[0] % 8;
  const unsigned outChannels = sourceChannels < 2 ? 1 : 2;
  const uint32_t rate = 1 + data[1] * 7;
  const double clipSeconds = data[2] / 16.0;
  const bool pcm = data[3] & 1;
  data += 4;
  size -= 4;

  vesk::AuditionCollector collector(rate, outChannels, clipSeconds, 60.0);
  std::vector<float> block;
  size_t offset = 0;
  while (offset < size && collector.WantsMore()) {
    const size_t bytesPerFrame = sourceChannels * (pcm ? 2 : 4);
    const size_t want = (1 + data[offset] % 64) * bytesPerFrame;
    ++offset;
    const size_t take = std::min(want, size - offset);
    const size_t frames = take / bytesPerFrame;
    block.clear();
    if (pcm)
      vesk::AppendPcm16Frames(data + offset, frames, sourceChannels, outChannels, block);
    else
      vesk::AppendFloatFrames(data + offset, frames, sourceChannels, outChannels, block);
    if (block.size() != frames * outChannels) abort();
    for (float v : block)
      if (!(v >= -1.0f && v <= 1.0f)) abort();
    collector.Add(block.data(), frames, outChannels);
    offset += take;
  }
  bool allSilent = false;
  const std::vector<float> clip = collector.Finish(allSilent);
  if (clip.size() % outChannels != 0) abort();
  if (clip.size() / outChannels > uint64_t(std::floor(rate * clipSeconds))) abort();
  if (allSilent != clip.empty() && !(clipSeconds * rate < 1)) abort();

  const std::vector<float> stereo = vesk::ConvertChannels(block, outChannels, 2);
  if (stereo.size() != block.size() / outChannels * 2) abort();
  return 0;
}
