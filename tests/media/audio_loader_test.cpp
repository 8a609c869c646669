// The decode cascade on WAV files, as every build runs it: the WAV reader
// answers first, a RIFF/WAVE file it refuses is never handed on, and a WAV
// lists as exactly one track.
#include <gtest/gtest.h>

#include "media/audio_loader.h"
#include "media/audio_tracks.h"
#include "media/wav_format.h"
#include "support/test_support.h"

namespace vesk {
namespace {

using test::Append16;
using test::Append32;
using test::AppendTag;

std::vector<uint8_t> Wav(uint16_t tag, uint16_t channels, uint16_t bits, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> v;
  AppendTag(v, "RIFF");
  Append32(v, uint32_t(36 + data.size()));
  AppendTag(v, "WAVE");
  AppendTag(v, "fmt ");
  Append32(v, 16);
  Append16(v, tag);
  Append16(v, channels);
  Append32(v, 44100);
  Append32(v, 44100u * channels * bits / 8);
  Append16(v, uint16_t(channels * bits / 8));
  Append16(v, bits);
  AppendTag(v, "data");
  Append32(v, uint32_t(data.size()));
  v.insert(v.end(), data.begin(), data.end());
  return v;
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
