// The level tools on synthetic signals, judged by the loudness meter itself.
#include <gtest/gtest.h>

#include <cmath>

#include "media/level_tools.h"
#include "support/signal.h"

namespace vesk {
namespace {

constexpr uint32_t kRate = 48000;

LoudnessReading Measure(const std::vector<float>& s, uint16_t channels, bool dualMono = false) {
  LoudnessReading r;
  std::string error;
  EXPECT_TRUE(MeasureLoudness(s.data(), s.size() / channels, kRate, channels, dualMono, r, error)) << error;
  return r;
}

// Talk-like material: noise bursts of varying level with pauses, plus
// sharp clicks that stand 15 dB above the rest.
std::vector<float> Bursts(uint16_t channels, double seconds, float level) {
  std::vector<float> s = test::Noise(size_t(seconds * kRate) * channels, level);
  const size_t frames = s.size() / channels;
  for (size_t i = 0; i < frames; ++i) {
    const double t = double(i) / kRate;
    const double envelope = std::fmod(t, 1.5) < 1.1 ? 0.6 + 0.4 * std::sin(2 * test::kPi * 3 * t) : 0.02;
    for (uint16_t c = 0; c < channels; ++c) s[i * channels + c] *= float(envelope);
  }
  for (size_t at = kRate / 3; at + 8 < frames; at += kRate)
    for (size_t k = 0; k < 8; ++k)
      for (uint16_t c = 0; c < channels; ++c) s[(at + k) * channels + c] = (k % 2 ? -1.0f : 1.0f) * level * 5.6f;
  return s;
}

TEST(LevelTools, NormalisationReachesEachTargetWithoutPassingTheCeiling) {
  struct Case {
    const char* name;
    uint16_t channels;
    bool dualMono;
    float level;
    double target, ceiling;
    bool limits;
  };
  const Case cases[] = {
      {"quiet stereo to web video", 2, false, 0.02f, -14, -1, true},
      {"quiet stereo to podcast", 2, false, 0.02f, -16, -1, true},
      {"loud stereo down to broadcast", 2, false, 0.5f, -23, -1, false},
      {"mono heard as stereo", 1, true, 0.02f, -16, -1, true},
      {"custom target and ceiling", 2, false, 0.05f, -20, -3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<float> s = Bursts(c.channels, 8, c.level);
    const size_t size = s.size();
    NormalizeResult r;
    std::string error;
    ASSERT_TRUE(NormalizeLoudness(s, kRate, c.channels, c.dualMono, c.target, c.ceiling, r, error)) << error;
    ASSERT_EQ(s.size(), size);
    const LoudnessReading after = Measure(s, c.channels, c.dualMono);
    EXPECT_NEAR(after.integratedLufs, c.target, 0.3);
    EXPECT_LE(after.truePeakDbtp, c.ceiling);
    EXPECT_EQ(r.limited, c.limits);
    EXPECT_NEAR(r.after.integratedLufs, after.integratedLufs, 0.01);
  }
}

TEST(LevelTools, NormalisationRefusesWhatItCannotMeasure) {
  std::vector<float> silence(2 * kRate * 2, 0.0f), blip = test::Sine(kRate / 5, 2, 440, kRate);
  for (std::vector<float>* s : {&silence, &blip}) {
    const std::vector<float> before = *s;
    NormalizeResult r;
    std::string error;
    EXPECT_FALSE(NormalizeLoudness(*s, kRate, 2, false, -14, -1, r, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(*s, before);
  }
}

TEST(LevelTools, DualMonoCountsTheOneChannelTwice) {
  const std::vector<float> mono = test::Sine(3 * kRate, 1, 997, kRate, 0.1);
  std::vector<float> stereo;
  for (float v : mono) stereo.insert(stereo.end(), {v, v});
  EXPECT_NEAR(Measure(mono, 1, true).integratedLufs, Measure(stereo, 2).integratedLufs, 0.01);
  EXPECT_NEAR(Measure(mono, 1, true).integratedLufs - Measure(mono, 1).integratedLufs, 3.01, 0.02);
}

// A quarter-rate sine at 45° phase has samples at 0.707 of its peak: the
// overs live between the samples.
TEST(LevelTools, TheLimiterCatchesPeaksBetweenSamples) {
  std::vector<float> s(kRate * 2 * 2);
  for (size_t i = 0; i < s.size() / 2; ++i) {
    const float v = float(std::sin(test::kPi / 2 * double(i) + test::kPi / 4) * (i < kRate ? 0.2 : 1.2));
    s[2 * i] = s[2 * i + 1] = v;
  }
  const float ceiling = float(std::pow(10.0, -1.3 / 20));
  EXPECT_TRUE(LimitTruePeak(s.data(), s.size() / 2, 2, kRate, ceiling));
  EXPECT_LE(Measure(s, 2).truePeakDbtp, -1.2);
  // The quiet first half, 5 ms away from the loud part, is left alone.
  EXPECT_NEAR(test::Peak(std::vector<float>(s.begin(), s.begin() + (kRate - kRate / 100) * 2)), 0.2 * 0.7071, 1e-3);
}

TEST(LevelTools, FadesAreEqualPowerFromAndToSilence) {
  const size_t frames = 1000;
  std::vector<float> in(frames * 2, 1.0f), out(frames * 2, 1.0f);
  FadeInEqualPower(in.data(), frames, 2);
  FadeOutEqualPower(out.data(), frames, 2);
  EXPECT_EQ(in[0], 0.0f);
  EXPECT_EQ(out[2 * frames - 1], 0.0f);
  EXPECT_FLOAT_EQ(in[2 * frames - 1], 1.0f);
  for (size_t i = 0; i < frames; ++i) {
    EXPECT_NEAR(in[2 * i] * in[2 * i] + out[2 * i] * out[2 * i], 1.0, 1e-5) << i;
    EXPECT_EQ(in[2 * i], in[2 * i + 1]);
  }
}

TEST(LevelTools, HumOfEitherMainsIsFoundAndNotchedOut) {
  for (double mains : {50.0, 60.0, 50.2, 0.0}) {
    SCOPED_TRACE(mains);
    // Hiss, a 1 kHz tone that must survive, and hum with harmonics.
    std::vector<float> s = test::Noise(3 * kRate, 0.01f);
    for (size_t i = 0; i < s.size(); ++i) {
      const double t = double(i) / kRate;
      s[i] += float(0.1 * std::sin(2 * test::kPi * 1234 * t));
      for (int k = 1; mains > 0 && k <= 12; ++k) s[i] += float(0.05 / k * std::sin(2 * test::kPi * mains * k * t + k));
    }
    const double found = DetectMainsHum(s.data(), s.size(), 1, kRate);
    EXPECT_NEAR(found, mains, 0.03);
    if (mains == 0) continue;
    const double humBefore = test::TonePower(s, 1, 0, kRate, mains, kRate / 2);
    const double toneBefore = test::TonePower(s, 1, 0, kRate, 1234, kRate / 2);
    RemoveMainsHum(s.data(), s.size(), 1, kRate, found);
    for (int k : {1, 3, 12})  // 30 dB down
      EXPECT_LT(test::TonePower(s, 1, 0, kRate, k * mains, kRate / 2), humBefore * 1e-3) << k;
    EXPECT_NEAR(test::TonePower(s, 1, 0, kRate, 1234, kRate / 2), toneBefore, toneBefore * 0.02);
  }
}

TEST(LevelTools, InformationLineText) {
  LoudnessReading r;
  EXPECT_EQ(LoudnessText(r), "响度：内容太短或太安静");
  r = {true, -18.44, 5, -1.2};
  EXPECT_EQ(LoudnessText(r), "−18.4 LUFS · 峰值 −1.2 dBTP");
  r = {true, -0.04, 5, 0.3};
  EXPECT_EQ(LoudnessText(r), "0.0 LUFS · 峰值 0.3 dBTP");
}

}  // namespace
}  // namespace vesk
