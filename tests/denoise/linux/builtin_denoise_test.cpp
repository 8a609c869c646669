// The built-in noise reduction over the voice test set (clean read speech and
// the same speech with hiss, fan and mains hum at 5 dB SNR): every level must
// clean speech measurably, keep the input's length and alignment, and render
// the same samples twice the same way.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "denoise/builtin_denoise.h"
#include "denoise/denoise_engine.h"
#include "doc/stretch_render.h"
#include "media/audio_loader.h"
#include "platform/text.h"
#include "support/signal.h"
#include "support/test_support.h"
#include "support/voice_clips.h"

namespace vesk::test {
namespace {

namespace fs = std::filesystem;

// The lag (in frames of channel `c`) at which `out` matches `ref` best,
// searched over ±64 frames on 4 s of speech.
int BestLag(const std::vector<float>& out, const std::vector<float>& ref, uint32_t channels, uint32_t c, uint64_t from) {
  int best = 0;
  double bestDot = -1e300;
  for (int lag = -64; lag <= 64; ++lag) {
    double dot = 0;
    for (uint64_t f = from; f < from + 4 * 48000 && (f + lag) * channels < out.size(); ++f)
      dot += double(out[(f + lag) * channels + c]) * ref[f * channels + c];
    if (dot > bestDot) {
      bestDot = dot;
      best = lag;
    }
  }
  return best;
}

double TailDb(const std::vector<float>& s, uint32_t rate) {
  const size_t n = size_t(0.8 * rate);
  double sum = 0;
  for (size_t i = s.size() - n; i < s.size(); ++i) sum += double(s[i]) * s[i];
  return 10 * std::log10(sum / double(n) + 1e-20);
}

TEST(BuiltinDenoise, EveryLevelCleansSpeechAndKeepsItAligned) {
  const char* const mixes[] = {"hiss_5db.flac", "fan_5db.flac", "hum_5db.flac"};
  // Level, the least mean SI-SDR gain, the least drop of the speech pause's noise.
  struct {
    unsigned level;
    double meanGain;
    double pauseDrop;
  } const levels[] = {{1, 4.0, 15.0}, {0, 3.5, 15.0}, {2, 3.5, 8.0}};
  uint32_t rate = 0;
  const std::vector<float> clean = LoadMono(VoiceFile("clean.flac"), &rate);
  ASSERT_EQ(rate, 48000u);
  for (const auto& l : levels) {
    double sum = 0;
    for (const char* mix : mixes) {
      const std::vector<float> noisy = LoadMono(VoiceFile(mix));
      std::vector<float> out = noisy;
      NoiseProfile profile;
      std::string error;
      ASSERT_TRUE(RunBuiltinDenoise(out, rate, 1, l.level, profile, error)) << error;
      ASSERT_EQ(out.size(), noisy.size()) << mix;
      EXPECT_NEAR(BestLag(out, clean, 1, 0, 3 * rate), 0, 1) << mix << " level " << l.level;
      const double gain = SiSdr(out, clean) - SiSdr(noisy, clean);
      const double drop = TailDb(noisy, rate) - TailDb(out, rate);
      std::printf("level %u %-14s SI-SDR %+.2f dB, pause noise -%.1f dB, floor %d dB\n", l.level, mix, gain, drop,
                  profile.floorDb);
      EXPECT_GE(gain, 2.5) << mix << " level " << l.level;
      EXPECT_GE(drop, l.pauseDrop) << mix << " level " << l.level;
      // The quietest 2 s are mostly noise (speech at least 15 dB below it).
      EXPECT_TRUE(profile.quietest);
      ASSERT_EQ(profile.end - profile.start, 2u * rate);
      EXPECT_LT(RmsOfRange(clean, profile.start, profile.end), 0.18 * RmsOfRange(noisy, profile.start, profile.end))
          << mix;
      sum += gain;
    }
    EXPECT_GE(sum / 3, l.meanGain) << "level " << l.level;
  }
}

TEST(BuiltinDenoise, StereoAtAnotherRateStaysAlignedAndRendersTheSameTwice) {
  ScratchDir dir;
  const fs::path wav = dir / "stereo44.wav";
  ASSERT_EQ(Shell("ffmpeg -v error -y -i '" + PathToUtf8(VoiceFile("fan_5db.flac")) +
                  "' -filter_complex '[0]asplit[a][b];[b]volume=0.5[c];[a][c]join=inputs=2' -ar 44100 '" +
                  PathToUtf8(wav) + "'"),
            0);
  AudioFormat format;
  std::vector<float> in;
  std::string error;
  ASSERT_TRUE(LoadAudioFile(wav, format, in, error)) << error;
  ASSERT_EQ(format.channels, 2u);
  // A marked noise sample: the first 1.5 s, which hold no speech.
  NoiseProfile profile;
  ASSERT_TRUE(MeasureNoiseProfile(ContiguousSamples(in.data(), in.size() / 2, 2), 44100, 2, 0, 66150, profile, error)) << error;
  EXPECT_FALSE(profile.quietest);
  for (unsigned level : {1u, 2u}) {
    std::vector<float> first = in, second = in;
    NoiseProfile p1 = profile, p2 = profile;
    ASSERT_TRUE(RunBuiltinDenoise(first, 44100, 2, level, p1, error)) << error;
    ASSERT_TRUE(RunBuiltinDenoise(second, 44100, 2, level, p2, error)) << error;
    ASSERT_EQ(first.size(), in.size());
    EXPECT_TRUE(first == second) << "level " << level << " renders differ";
    for (uint32_t c = 0; c < 2; ++c) EXPECT_NEAR(BestLag(first, in, 2, c, 3 * 44100), 0, 1) << "channel " << c;
  }
}

// Past the spill limit (1 MiB here: 1 s stretches, each with its 5 s of
// lead) the take is rendered a stretch at a time; the seams must not cost
// the cleaning anything nor move the speech.
TEST(BuiltinDenoise, ALongTakeRenderedInStretchesCleansAsOneRenderDoes) {
  uint32_t rate = 0;
  const std::vector<float> clean = LoadMono(VoiceFile("clean.flac"), &rate);
  const std::vector<float> noisy = LoadMono(VoiceFile("hiss_5db.flac"));
  const ContiguousSamples source(noisy.data(), noisy.size(), 1);
  NoiseProfile profile;
  std::string error;
  ASSERT_TRUE(MeasureNoiseProfile(source, rate, 1, 0, 0, profile, error)) << error;
  const BufferRender render = [&](std::vector<float>& s, std::string& why) {
    NoiseProfile kept = profile;
    return RunBuiltinDenoise(s, rate, 1, 1, kept, why);
  };
  std::vector<float> whole = noisy;
  ASSERT_TRUE(render(whole, error)) << error;
  SampleSequence out;
  ASSERT_TRUE(RenderInStretches(source, rate, 1u << 20, render, out, error)) << error;
  ASSERT_EQ(out.Frames(), noisy.size());
  const std::vector<float> stretched = out.Copy(0, out.Frames());
  std::printf("stretched SI-SDR %+.2f dB, one render %+.2f dB, stretched against one render %.1f dB\n",
              SiSdr(stretched, clean), SiSdr(whole, clean), SiSdr(stretched, whole));
  EXPECT_GT(SiSdr(stretched, clean), SiSdr(whole, clean) - 0.3);
  EXPECT_GT(SiSdr(stretched, whole), 20.0);
  EXPECT_EQ(BestLag(stretched, whole, 1, 0, 3 * rate), 0);
}

TEST(BuiltinDenoise, DecisionsOnLevelsProfilesAndFilterText) {
  const uint32_t rate = 8000;
  // Quiet everywhere but a loud middle: the quietest 1 s is at the start or end.
  std::vector<float> s(rate * 4, 0.1f);
  for (size_t i = 0; i < rate; ++i) s[i + 2 * rate] = 0.001f;  // a hole from 2 s to 3 s
  EXPECT_EQ(QuietestStretch(ContiguousSamples(s.data(), s.size(), 1), 1, rate, rate), 2u * rate);
  EXPECT_EQ(NoiseFloorDb(s.data() + 2 * rate, rate, 1), -60);
  EXPECT_EQ(NoiseFloorDb(s.data(), rate, 1), -20);  // -20 dBFS
  const std::vector<float> silence(rate, 0.0f);
  EXPECT_EQ(NoiseFloorDb(silence.data(), rate, 1), -80);
  EXPECT_EQ(NoiseFloorFromPercentile(ContiguousSamples(s.data(), s.size(), 1), 1, rate), -60);

  std::array<double, kNoiseBands> bands{};
  EXPECT_TRUE(ParseBandNoise("[afftdn @ 0x1] bn=-1.3 -0.9 0 1 2 3 4 5 6 7 8 9 10 11 12.5 \n", bands));
  EXPECT_DOUBLE_EQ(bands[0], -1.3);
  EXPECT_DOUBLE_EQ(bands[14], 12.5);
  EXPECT_FALSE(ParseBandNoise("bn=1 2 3", bands));

  EXPECT_EQ(QuoteFilterValue("C:\\it's\\sh.rnnn"), "'C:\\it'\\''s\\sh.rnnn'");
  NoiseProfile profile;
  profile.floorDb = -47;
  bool fallback = false;
  EXPECT_EQ(ChainText(BuiltinChain(2, profile, 48000, "/m/sh.rnnn", &fallback)),
            "afftdn=nr=10:nf=-47:nt=c:bn=0|0|0|0|0|0|0|0|0|0|0|0|0|0|0");
  EXPECT_EQ(ChainText(BuiltinChain(0, profile, 44100, "/m/sh.rnnn", &fallback)).substr(57),
            ",aresample=48000,arnndn=m='/m/sh.rnnn':mix=1,aresample=44100");
  EXPECT_FALSE(fallback);
  // Without the model the stronger levels turn up afftdn instead.
  EXPECT_EQ(ChainText(BuiltinChain(0, profile, 48000, {}, &fallback)).substr(0, 12), "afftdn=nr=30");
  EXPECT_TRUE(fallback);

  // Without a plug-in the built-in engine is chosen and named in the report.
  DenoiseEngine engine;
  ChooseBuiltinEngine(engine, false);
  EXPECT_TRUE(engine.builtin);
  EXPECT_EQ(engine.displayName, "内置降噪");
}

}  // namespace
}  // namespace vesk::test
