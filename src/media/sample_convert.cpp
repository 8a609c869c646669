#include "media/sample_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/memory.h"


namespace vesk {

void AppendFloatFrames(const uint8_t* bytes, size_t frames, unsigned sourceChannels, unsigned outChannels,
                       std::vector<float>& out) {
  const size_t start = out.size();
  MakeRoom(out, frames * outChannels);
  out.resize(start + frames * outChannels);
  float* dst = out.data() + start;
  for (size_t f = 0; f < frames; ++f) {
    const uint8_t* frame = bytes + f * sourceChannels * 4;
    for (unsigned c = 0; c < outChannels; ++c) {
      float v;
      std::memcpy(&v, frame + c * 4, 4);
      // NaN compares false both ways and would pass a plain clamp.
      *dst++ = std::isnan(v) ? 0.0f : std::clamp(v, -1.0f, 1.0f);
    }
  }
}

void AppendPcm16Frames(const uint8_t* bytes, size_t frames, unsigned sourceChannels, unsigned outChannels,
                       std::vector<float>& out) {
  const size_t start = out.size();
  MakeRoom(out, frames * outChannels);
  out.resize(start + frames * outChannels);
  float* dst = out.data() + start;
  for (size_t f = 0; f < frames; ++f) {
    const uint8_t* frame = bytes + f * sourceChannels * 2;
    for (unsigned c = 0; c < outChannels; ++c) {
      const int16_t v = int16_t(uint16_t(frame[c * 2]) | uint16_t(frame[c * 2 + 1]) << 8);
      *dst++ = float(v) * (1.0f / 32768.0f);
    }
  }
}

void ZeroNonFinite(float* samples, size_t count) {
  // x - x is 0 for finite x and NaN otherwise; a select, not a branch, so
  // the loop vectorises (see CMakeLists.txt for this file's flags).
  for (size_t i = 0; i < count; ++i) samples[i] = samples[i] - samples[i] == 0.0f ? samples[i] : 0.0f;
}

void RequireAvailableMemory(size_t bytes) {
  uint64_t available = 0;
  if (AvailablePhysicalMemory(available) && bytes > available) throw std::bad_alloc();
}

namespace {

// A day of 8-channel 384 kHz audio is far beyond anything real; larger
// figures come from broken headers.
constexpr double kMostValues = 86400.0 * 384000.0 * 8.0;

void ReserveValues(std::vector<float>& samples, double values) {
  if (!(values > 0) || values > kMostValues || values > double(samples.max_size())) return;
  try {
    RequireAvailableMemory(size_t(values) * sizeof(float));
    samples.reserve(size_t(values));
  } catch (const std::exception&) {
    // Not affordable in one piece: let the vector grow as the data comes.
  }
}

}  // namespace

void ReserveForDuration(std::vector<float>& samples, double seconds, uint32_t rate, unsigned channels) {
  if (!(seconds > 0) || seconds > 86400.0 || rate == 0 || channels == 0) return;
  // 2 % and half a second of slack cover rounding and decoder padding.
  ReserveValues(samples, (seconds * 1.02 + 0.5) * double(rate) * double(channels));
}

void ReserveForFrames(std::vector<float>& samples, uint64_t frames, unsigned channels) {
  if (frames == 0 || channels == 0) return;
  ReserveValues(samples, (double(frames) + double(kCountedFramesSlack)) * double(channels));
}

void MakeRoom(std::vector<float>& samples, size_t more) {
  const size_t need = samples.size() + more;
  if (need <= samples.capacity()) return;
  const size_t capacity = std::max(need, samples.capacity() + samples.capacity() / 2);
  RequireAvailableMemory(capacity * sizeof(float));
  samples.reserve(capacity);
}

void TrimSlack(std::vector<float>& samples) {
  const size_t slack = samples.capacity() - samples.size();
  if (slack < (size_t(1) << 18) || slack <= samples.capacity() / 8) return;
  try {
    samples.shrink_to_fit();
  } catch (const std::exception&) {
    // No room for the copy: keep the larger buffer.
  }
}

}  // namespace vesk
