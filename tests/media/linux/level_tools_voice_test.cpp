// The level tools on read speech: hum found where there is hum (and not in a
// fan's blade tone), notched out without moving the speech, and a voice-over
// normalised to the podcast target as a stereo export would be measured.
#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>

#include "media/level_tools.h"
#include "media/true_peak.h"
#include "support/signal.h"
#include "support/voice_clips.h"

namespace vesk::test {
namespace {

TEST(LevelToolsVoice, HumIsFoundInTheNoiseOnlyStartAndRemovedWithTheSpeechInPlace) {
  uint32_t rate = 0;
  const std::vector<float> clean = LoadMono(VoiceFile("clean.flac"), &rate);
  ASSERT_EQ(rate, 48000u);
  for (const char* other : {"clean.flac", "fan_15db.flac", "hiss_15db.flac"}) {
    const std::vector<float> s = LoadMono(VoiceFile(other));
    EXPECT_EQ(DetectMainsHum(s.data(), 2 * rate, 1, rate), 0) << other;
  }
  std::vector<float> hum = LoadMono(VoiceFile("hum_15db.flac"));
  ASSERT_EQ(hum.size(), clean.size());
  const double mains = DetectMainsHum(hum.data(), 2 * rate, 1, rate);
  EXPECT_NEAR(mains, 50, 0.03);
  const double before = SiSdr(hum, clean);
  const double pauseBefore = RmsOfRange(hum, hum.size() - rate * 8 / 10, hum.size());
  std::vector<double> harmonicsBefore;
  for (int k = 1; k <= 6; ++k) harmonicsBefore.push_back(TonePower(hum, 1, 0, rate, k * mains));
  RemoveMainsHum(hum.data(), hum.size(), 1, rate, mains);
  for (int k = 1; k <= 6; ++k)
    EXPECT_LT(TonePower(hum, 1, 0, rate, k * mains), harmonicsBefore[size_t(k - 1)] / 100) << "harmonic " << k;
  EXPECT_GT(SiSdr(hum, clean), before + 5);
  EXPECT_LT(RmsOfRange(hum, hum.size() - rate * 8 / 10, hum.size()), pauseBefore / 2);
  // What the notches take of the voice itself.
  std::vector<float> voice = clean;
  RemoveMainsHum(voice.data(), voice.size(), 1, rate, mains);
  EXPECT_GT(SiSdr(voice, clean), 18);
  const double level = RmsOfRange(voice, 0, voice.size()) / RmsOfRange(clean, 0, clean.size());
  EXPECT_LT(std::fabs(20 * std::log10(level)), 0.5);
}

TEST(LevelToolsVoice, AVoiceOverReachesThePodcastTargetAsAStereoExport) {
  uint32_t rate = 0;
  std::vector<float> voice = LoadMono(VoiceFile("clean.flac"), &rate);
  NormalizeResult r;
  std::string error;
  ASSERT_TRUE(NormalizeLoudness(voice, rate, 1, true, -16, -1, r, error)) << error;
  std::vector<float> stereo;
  for (float v : voice) stereo.insert(stereo.end(), {v, v});
  LoudnessReading exported;
  ASSERT_TRUE(MeasureLoudness(stereo.data(), voice.size(), rate, 2, false, exported, error));
  EXPECT_NEAR(exported.integratedLufs, -16, 0.3);
  EXPECT_LE(exported.truePeakDbtp, -1.0);
}

// The meter's own true peak agrees with the library's 4× reading on speech
// and on tones with overs between the samples, whatever the pieces it is fed in.
TEST(TruePeak, AgreesWithTheLibraryAndDoesNotDependOnThePieces) {
  struct Case {
    const char* name;
    std::vector<float> mono;
  };
  uint32_t rate = 48000;
  std::vector<Case> cases;
  cases.push_back({"speech", LoadMono(VoiceFile("clean.flac"), &rate)});
  cases.push_back({"hum and speech", LoadMono(VoiceFile("hum_15db.flac"))});
  // A quarter-rate sine sampled 45° off its crests: every sample is 3 dB under the peak.
  cases.push_back({"quarter-rate sine", Sine(rate, 1, rate / 4.0, rate, 0.5)});
  for (size_t i = 0; i < cases.back().mono.size(); ++i)
    cases.back().mono[i] = float(0.5 * std::sin(kPi / 2 * double(i) + kPi / 4));
  cases.push_back({"997 Hz at -20 dBFS", Sine(rate, 1, 997, rate, 0.1)});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ebur128_state* st = ebur128_init(1, rate, EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_float(st, c.mono.data(), c.mono.size());
    double library = 0;
    ebur128_true_peak(st, 0, &library);
    ebur128_destroy(&st);
    for (size_t piece : {size_t(1), size_t(7), size_t(4800), c.mono.size()}) {
      TruePeakScan scan(1);
      for (size_t at = 0; at < c.mono.size(); at += piece)
        scan.Add(c.mono.data() + at, std::min(piece, c.mono.size() - at));
      scan.Finish();
      EXPECT_NEAR(20 * std::log10(scan.Peak()), 20 * std::log10(library), 0.1) << "pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace vesk::test
