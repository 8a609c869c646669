// The level tools on read speech: hum found where there is hum (and not in a
// fan's blade tone), notched out without moving the speech, and a voice-over
// normalised to the podcast target as a stereo export would be measured.
#include <gtest/gtest.h>

#include "media/level_tools.h"
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
  RemoveMainsHum(hum.data(), hum.size(), 1, rate, mains);
  EXPECT_GT(SiSdr(hum, clean), before + 5);
  EXPECT_LT(RmsOfRange(hum, hum.size() - rate * 8 / 10, hum.size()), pauseBefore / 2);
  // What the notches take of the voice itself.
  std::vector<float> voice = clean;
  RemoveMainsHum(voice.data(), voice.size(), 1, rate, mains);
  EXPECT_GT(SiSdr(voice, clean), 18);
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

}  // namespace
}  // namespace vesk::test
