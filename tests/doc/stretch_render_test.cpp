// Rendering audio longer than the spill limit a stretch at a time: the
// result matches one render of the whole (the effect below remembers the
// past and looks one frame ahead, like a real noise reduction), reads from a
// temporary file, and a failed, resized or stopped stretch ends the render.
#include <gtest/gtest.h>

#include <cmath>

#include "doc/stretch_render.h"
#include "media/resample.h"

namespace vesk {
namespace {

constexpr uint32_t kRate = 8000;
constexpr size_t kCh = 2;
constexpr uint64_t kLimit = uint64_t(1) << 20;

// A one-pole smoother over each channel's frame and the next one.
bool Smooth(std::vector<float>& s, std::string&) {
  for (size_t c = 0; c < kCh; ++c) {
    float state = 0;
    for (size_t i = c; i < s.size(); i += kCh) {
      const float next = i + kCh < s.size() ? s[i + kCh] : 0.0f;
      state = 0.9f * state + 0.1f * (0.5f * s[i] + 0.5f * next);
      s[i] = state;
    }
  }
  return true;
}

std::vector<float> Noise(uint64_t frames) {
  std::vector<float> v(frames * kCh);
  uint32_t x = 12345;
  for (float& f : v) {
    x = x * 1664525u + 1013904223u;
    f = float(int32_t(x >> 8) - (1 << 23)) / float(1 << 23);
  }
  return v;
}

bool InFile(const SampleSequence& s) {
  bool file = false;
  s.ForEachStorage([&](const SampleStorage* storage) { file = file || storage->File() != nullptr; });
  return file;
}

TEST(StretchRender, LongAudioMatchesOneRenderAndReadsFromAFile) {
  // 3.2 MB of stereo, past the 1 MiB limit, and a short clip below it.
  for (const uint64_t frames : {uint64_t(400000), uint64_t(20000)}) {
    const std::vector<float> in = Noise(frames);
    std::vector<float> whole = in;
    std::string error;
    Smooth(whole, error);
    SampleSequence out;
    std::vector<uint64_t> done;
    ASSERT_TRUE(RenderInStretches(ContiguousSamples(in.data(), frames, kCh), kRate, kLimit, Smooth, out, error,
                                  [&](uint64_t d, uint64_t total) {
                                    EXPECT_EQ(total, frames);
                                    done.push_back(d);
                                    return true;
                                  }))
        << error;
    ASSERT_EQ(out.Frames(), frames);
    ASSERT_EQ(out.Channels(), kCh);
    const std::vector<float> got = out.Copy(0, frames);
    double worst = 0;
    for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, double(std::fabs(got[i] - whole[i])));
    EXPECT_LT(worst, 1e-6) << frames << " frames";
    const bool long_ = frames * kCh * sizeof(float) > kLimit;
    EXPECT_EQ(InFile(out), long_);
    EXPECT_EQ(done.size(), long_ ? size_t((frames + 16383) / 16384) : 0u);
    if (!done.empty()) {
      EXPECT_EQ(done.back(), frames);
    }
  }
}

TEST(StretchRender, AFailedResizedOrStoppedStretchEndsTheRender) {
  const std::vector<float> in = Noise(300000);
  const ContiguousSamples source(in.data(), 300000, kCh);
  int calls = 0;
  const BufferRender thirdFails = [&](std::vector<float>&, std::string& error) {
    if (++calls < 3) return true;
    error = "插件出错";
    return false;
  };
  const BufferRender shortens = [](std::vector<float>& s, std::string&) {
    s.resize(s.size() - kCh);
    return true;
  };
  SampleSequence out;
  std::string error;
  EXPECT_FALSE(RenderInStretches(source, kRate, kLimit, thirdFails, out, error));
  EXPECT_EQ(error, "插件出错");
  EXPECT_EQ(calls, 3);
  EXPECT_FALSE(RenderInStretches(source, kRate, kLimit, shortens, out, error));
  EXPECT_EQ(error, "降噪结果长度不符");
  EXPECT_FALSE(RenderInStretches(ContiguousSamples(in.data(), 1000, kCh), kRate, kLimit, shortens, out, error));
  EXPECT_EQ(error, "降噪结果长度不符");
  EXPECT_FALSE(RenderInStretches(source, kRate, kLimit, Smooth, out, error,
                                 [](uint64_t done, uint64_t) { return done < 70000; }));
  EXPECT_EQ(error, "");
}

TEST(StretchRender, ALongResampleMatchesTheOneBufferResampler) {
  const std::vector<float> in = Noise(400000);
  for (const auto& [from, to] : {std::pair<uint32_t, uint32_t>{48000, 44100}, {44100, 48000}, {48000, 16000}}) {
    std::vector<float> whole;
    std::string error;
    ASSERT_TRUE(ResampleAudio(in, from, to, kCh, whole, error));
    SampleSequence out;
    ASSERT_TRUE(ResampleLong(ContiguousSamples(in.data(), 400000, kCh), from, to, kLimit, out, error)) << error;
    EXPECT_TRUE(InFile(out));
    ASSERT_EQ(out.Frames() * kCh, whole.size()) << from << " to " << to;
    const std::vector<float> got = out.Copy(0, out.Frames());
    double worst = 0;
    for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, double(std::fabs(got[i] - whole[i])));
    EXPECT_LT(worst, 1e-5) << from << " to " << to;
  }
}

}  // namespace
}  // namespace vesk
