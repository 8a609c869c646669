#include "doc/stretch_render.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "media/resample.h"
#include "media/sample_spill.h"
#include "media/wav_reader.h"

namespace vesk {

namespace {

constexpr double kLeadSeconds = 5.0;
constexpr double kTailSeconds = 1.0;
constexpr double kFadeSeconds = 0.02;
const char kLengthChanged[] = "降噪结果长度不符";
const char kNoMemory[] = "内存不足，处理没能完成。";

bool RenderOne(const SampleSource& in, uint64_t from, uint64_t to, const BufferRender& render,
               std::vector<float>& buffer, std::string& error) {
  const size_t ch = in.Channels();
  buffer.assign((to - from) * ch, 0.0f);
  ReadFrames(in, from, to - from, ch, buffer.data());
  if (!render(buffer, error)) return false;
  if (buffer.size() != (to - from) * ch) {
    error = kLengthChanged;
    return false;
  }
  return true;
}

// Runs `work`; a failed allocation becomes the user's text.
template <class Work>
bool Guarded(std::string& error, Work&& work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  error = kNoMemory;
  return false;
}

// Writes `rest` and hands the spill file over as `out`.
bool FinishInto(SampleSpill& spill, std::vector<float>& rest, uint32_t rate, size_t ch, SampleSequence& out,
                std::string& error) {
  auto file = spill.Finish(rest, AudioFormat{rate, uint16_t(ch), 32}, error);
  if (!file) return false;
  out = SampleSequence::OfFile(std::move(file));
  return true;
}

}  // namespace

StretchPlan PlanStretches(uint64_t frames, size_t channels, uint32_t rate, uint64_t limitBytes) {
  StretchPlan plan;
  const uint64_t frameBytes = std::max<size_t>(channels, 1) * sizeof(float);
  if (frames * frameBytes <= limitBytes) return plan;
  plan.lead = uint64_t(kLeadSeconds * rate);
  plan.tail = std::max<uint64_t>(uint64_t(kTailSeconds * rate), 1);
  plan.fade = std::clamp<uint64_t>(uint64_t(kFadeSeconds * rate), 1, plan.tail);
  // An eighth of the limit per stretch: the effect may hold a copy or two,
  // and a render stops between stretches (a few seconds apart).
  plan.stretch = std::max<uint64_t>(limitBytes / 8 / frameBytes, std::max<uint32_t>(rate, 1));
  return plan;
}

bool RenderInStretches(const SampleSource& in, uint32_t rate, uint64_t limitBytes, const BufferRender& render,
                       SampleSequence& out, std::string& error, const RenderProgress& progress) {
  error.clear();
  const uint64_t total = in.Frames();
  const size_t ch = in.Channels();
  const StretchPlan plan = PlanStretches(total, ch, rate, limitBytes);
  return Guarded(error, [&] {
    std::vector<float> buffer;
    if (plan.stretch == 0) {
      if (!RenderOne(in, 0, total, render, buffer, error)) return false;
      out = SampleSequence(std::move(buffer), ch);
      return true;
    }
    SampleSpill spill(limitBytes);
    std::vector<float> seam;  // the last render's frames over the next seam
    for (uint64_t s = 0; s < total;) {
      const uint64_t e = std::min(total, s + plan.stretch);
      const uint64_t from = s > plan.lead ? s - plan.lead : 0;
      const uint64_t to = std::min(total, e + plan.tail);
      if (!RenderOne(in, from, to, render, buffer, error)) return false;
      float* core = buffer.data() + (s - from) * ch;
      const uint64_t fade = std::min<uint64_t>(seam.size() / ch, e - s);
      for (uint64_t k = 0; k < fade; ++k) {
        const float w = float((double(k) + 0.5) / double(fade));
        for (size_t c = 0; c < ch; ++c) core[k * ch + c] = (1 - w) * seam[k * ch + c] + w * core[k * ch + c];
      }
      seam.assign(buffer.begin() + ptrdiff_t((e - from) * ch),
                  buffer.begin() + ptrdiff_t((std::min(to, e + plan.fade) - from) * ch));
      if (!spill.Write(core, size_t((e - s) * ch), error)) return false;
      s = e;
      if (progress && !progress(e, total)) {
        error.clear();
        return false;
      }
    }
    std::vector<float> rest;  // every frame is written already
    return FinishInto(spill, rest, rate, ch, out, error);
  });
}

bool ResampleLong(const SampleSource& in, uint32_t sourceRate, uint32_t targetRate, uint64_t limitBytes,
                  SampleSequence& out, std::string& error) {
  error.clear();
  const size_t ch = in.Channels();
  const uint64_t frames = in.Frames();
  return Guarded(error, [&] {
    if (frames * ch * sizeof(float) <= limitBytes || sourceRate == targetRate || sourceRate == 0 ||
        targetRate == 0 || (ch != 1 && ch != 2)) {
      std::vector<float> whole(frames * ch), resampled;
      ReadFrames(in, 0, frames, ch, whole.data());
      if (!ResampleAudio(whole, sourceRate, targetRate, uint16_t(ch), resampled, error)) return false;
      out = SampleSequence(std::move(resampled), ch);
      return true;
    }
    // Output frame j lies at input position j·source/target; the exact
    // fraction keeps a long take from drifting. The length is ResampleAudio's.
    const uint64_t outFrames = uint64_t(std::floor(double(frames) / (double(sourceRate) / double(targetRate))));
    constexpr uint64_t kChunk = uint64_t(1) << 18;
    SampleSpill spill(limitBytes);
    std::vector<float> window, chunk;
    uint64_t windowStart = 0, windowFrames = 0;
    for (uint64_t j = 0; j < outFrames; ++j) {
      const uint64_t scaled = j * sourceRate;
      const uint64_t k = scaled / targetRate;
      if (k + 1 >= frames) break;
      if (k + 1 >= windowStart + windowFrames) {
        windowStart = k;
        windowFrames = std::min(frames - k, kChunk);
        window.resize(windowFrames * ch);
        ReadFrames(in, windowStart, windowFrames, ch, window.data());
      }
      const double f = double(scaled % targetRate) / double(targetRate);
      const float* a = &window[(k - windowStart) * ch];
      for (size_t c = 0; c < ch; ++c) chunk.push_back(float(a[c] + (double(a[ch + c]) - a[c]) * f));
      if (chunk.size() >= kChunk * ch) {
        if (!spill.Write(chunk.data(), chunk.size(), error)) return false;
        chunk.clear();
      }
    }
    return FinishInto(spill, chunk, targetRate, ch, out, error);
  });
}

}  // namespace vesk
