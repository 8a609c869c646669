// The decode cascade on WAV files, as every build runs it: the WAV reader
// answers first, a RIFF/WAVE file it refuses is never handed on, and a WAV
// lists as exactly one track.
#include <gtest/gtest.h>

#include "media/audio_loader.h"
#include "media/audio_tracks.h"
#include "media/wav_format.h"
#include "support/test_support.h"
#include "support/wav_builder.h"

namespace vesk {
namespace {


std::vector<uint8_t> Wav(uint16_t tag, uint16_t channels, uint16_t bits, const std::vector<uint8_t>& data) {
  return test::MakeWav(test::FmtSpec{tag, channels, 44100, bits}, data, uint32_t(data.size()), uint32_t(36 + data.size()));
}

TEST(LoadAudioFile, WavFilesAreReadByTheWavReaderWithTheirDepth) {
  test::ScratchDir dir;
  struct Case {
    uint16_t bits;
    std::vector<uint8_t> data;
    float first;
  } cases[] = {
      {16, {0x00, 0x40, 0x00, 0xC0}, 0.5f},
      {24, {0x00, 0x00, 0x40, 0x00, 0x00, 0xC0}, 0.5f},
      {8, {0xC0, 0x40}, 0.5f},
  };
  for (const Case& c : cases) {
    const auto path = dir / ("t" + std::to_string(c.bits) + ".wav");
    test::WriteBytes(path, Wav(1, 2, c.bits, c.data));
    AudioFormat format;
    std::vector<float> samples;
    std::string error;
    int bits = -1;
    ASSERT_TRUE(LoadAudioFile(path, format, samples, error, &bits)) << error;
    EXPECT_EQ(bits, c.bits);
    EXPECT_EQ(format, (AudioFormat{44100, 2, 16}));
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_FLOAT_EQ(samples[0], c.first);
    EXPECT_FLOAT_EQ(samples[1], -c.first);
  }
}

TEST(LoadAudioFile, RefusedWavIsNotHandedToOtherDecoders) {
  test::ScratchDir dir;
  const auto path = dir / "adpcm.wav";
  test::WriteBytes(path, Wav(2, 1, 4, std::vector<uint8_t>(512, 0x11)));
  AudioFormat format;
  std::vector<float> samples{1.0f};
  std::string error;
  int bits = 7;
  EXPECT_FALSE(LoadAudioFile(path, format, samples, error, &bits));
  EXPECT_EQ(error, "这个 WAV 用的是压缩编码，暂不支持。");
  EXPECT_TRUE(samples.empty());
  EXPECT_EQ(bits, 0);
}

TEST(ListAudioTracks, WavIsOneTrackWhateverItsCase) {
  for (const char* name : {"a.wav", "B.WAV", "missing.Wav"}) {
    std::vector<AudioTrack> tracks{AudioTrack{}, AudioTrack{}};
    std::string error = "old";
    ASSERT_TRUE(ListAudioTracks(name, tracks, error));
    EXPECT_TRUE(error.empty());
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0], (AudioTrack{kFirstAudioStream, 0, 0, 0, "", ""}));
  }
}

TEST(DecodeAllTracksMixed, RefusesAnEmptyListAndAnUnknownRate) {
  AudioFormat format;
  std::vector<float> samples;
  std::string error;
  EXPECT_FALSE(DecodeAllTracksMixed("x.mkv", {}, format, samples, error));
  EXPECT_EQ(error, "文件里没有音频轨道。");
  EXPECT_FALSE(DecodeAllTracksMixed("x.mkv", {AudioTrack{1, 0, 0, 2, "", ""}}, format, samples, error));
  EXPECT_EQ(error, "读不出音频参数。");
}

}  // namespace
}  // namespace vesk
