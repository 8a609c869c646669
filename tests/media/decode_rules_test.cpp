// The portable rules of decoding: track labels, channel conversion for the
// mix, the audition's choice of excerpt, block conversion, memory
// reservation and codec display names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/audio_tracks.h"
#include "media/audition.h"
#include "media/codec_names.h"
#include "media/sample_convert.h"

namespace vesk {
namespace {

TEST(TrackLabel, ShowsOrdinalRateLayoutNameAndLanguage) {
  struct Case {
    AudioTrack track;
    const char* label;
  } cases[] = {
      {{0, 0, 48000, 2, "", ""}, "轨道 1 · 48000 Hz · 立体声"},
      {{2, 1, 48000, 2, "Commentary", "eng"}, "轨道 2 · 48000 Hz · 立体声 · Commentary（eng）"},
      {{1, 0, 44100, 1, "", "jpn"}, "轨道 1 · 44100 Hz · 单声道（jpn）"},
      {{3, 2, 0, 0, "导演评论", ""}, "轨道 3 · 0 Hz · 单声道 · 导演评论"},
      {{4, 3, 96000, 6, "", ""}, "轨道 4 · 96000 Hz · 立体声"},
  };
  for (const Case& c : cases) EXPECT_EQ(TrackLabel(c.track), c.label);
}

TEST(ConvertChannels, MonoIsCopiedAndWiderFramesBecomeTheirMean) {
  EXPECT_EQ(ConvertChannels({0.5f, -0.25f}, 1, 2), (std::vector<float>{0.5f, 0.5f, -0.25f, -0.25f}));
  EXPECT_EQ(ConvertChannels({0.5f, 0.25f, -1.0f, 0.0f}, 2, 1), (std::vector<float>{0.375f, -0.5f}));
  const std::vector<float> six = {0.6f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f, 0.6f};
  const std::vector<float> stereo = ConvertChannels(six, 6, 2);
  ASSERT_EQ(stereo.size(), 4u);
  EXPECT_FLOAT_EQ(stereo[0], 0.1f);
  EXPECT_FLOAT_EQ(stereo[1], 0.1f);
  EXPECT_FLOAT_EQ(stereo[2], 0.6f);
  EXPECT_EQ(ConvertChannels({0.1f, 0.2f}, 2, 2), (std::vector<float>{0.1f, 0.2f}));
}

std::vector<float> Block(size_t frames, unsigned channels, float value) {
  return std::vector<float>(frames * channels, value);
}

TEST(AuditionCollector, SkipsSilentBlocksAndCutsTheClipFromTheFirstLoudOne) {
  AuditionCollector c(100, 2, 1.0, 60.0);  // 100 frames of clip
  for (int i = 0; i < 5; ++i) {
    const auto quiet = Block(30, 2, 0.01f);  // exactly 0.01 is still silence
    c.Add(quiet.data(), 30, 2);
  }
  EXPECT_TRUE(c.WantsMore());
  auto loud = Block(30, 2, 0.5f);
  loud[0] = 0.9f;
  for (int i = 0; i < 4; ++i) {
    c.Add(loud.data(), 30, 2);
    const auto quiet = Block(30, 2, 0.0f);  // silence after the start stays
    if (i == 0) c.Add(quiet.data(), 30, 2);
  }
  EXPECT_FALSE(c.WantsMore());
  bool allSilent = true;
  const std::vector<float> clip = c.Finish(allSilent);
  EXPECT_FALSE(allSilent);
  ASSERT_EQ(clip.size(), 200u);
  EXPECT_FLOAT_EQ(clip[0], 0.9f);
  EXPECT_FLOAT_EQ(clip[60], 0.0f);
}

TEST(AuditionCollector, ReportsAllSilentAfterTheScanWindow) {
  AuditionCollector c(10, 1, 1.0, 6.0);  // scan 60 frames
  const auto quiet = Block(25, 1, 0.005f);
  int blocks = 0;
  while (c.WantsMore()) {
    c.Add(quiet.data(), 25, 1);
    ++blocks;
  }
  EXPECT_EQ(blocks, 3);
  bool allSilent = false;
  EXPECT_TRUE(c.Finish(allSilent).empty());
  EXPECT_TRUE(allSilent);
}

TEST(AuditionCollector, FoldsEveryChannelIntoWhatIsPlayedAndJudgesSilenceOnIt) {
  // Each side is normalised by the sum of its weights (1 + 0.707 per centre
  // or surround pair member, 0.5 for a back centre).
  const float w = 0.70710678f;
  const float c3 = 0.4f * w;
  const float n51 = 1 + 2 * w, n71 = 1 + 3 * w, n61 = 1.5f + 2 * w, n40 = 1 + w;
  struct Case {
    const char* layout;
    unsigned channels, sounding, out;
    float left, right;  // expected; both 0: judged silent
  } cases[] = {
      {"5.1 centre", 6, 2, 2, c3 / n51, c3 / n51}, {"5.1 low-frequency only", 6, 3, 2, 0, 0},
      {"5.1 right surround", 6, 5, 2, 0, c3 / n51}, {"7.1 left side", 8, 6, 2, c3 / n71, 0},
      {"6.1 back centre", 7, 4, 2, 0.2f / n61, 0.2f / n61}, {"quad back left", 4, 2, 2, c3 / n40, 0},
      {"3.0 centre", 3, 2, 2, c3 / n40, c3 / n40}, {"stereo right", 2, 1, 2, 0, 0.4f},
      {"mono", 1, 0, 2, 0.4f, 0.4f},               {"stereo left to mono", 2, 0, 1, 0.2f, 0.2f},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.layout);
    AuditionCollector c(10, k.out, 1.0, 2.0);
    std::vector<float> block(10 * k.channels, 0.0f);
    for (size_t f = 0; f < 10; ++f) block[f * k.channels + k.sounding] = 0.4f;
    c.Add(block.data(), 10, k.channels);
    bool allSilent = false;
    const std::vector<float> clip = c.Finish(allSilent);
    if (k.left == 0 && k.right == 0) {
      EXPECT_TRUE(allSilent);
      continue;
    }
    ASSERT_FALSE(allSilent);
    ASSERT_EQ(clip.size(), 10u * k.out);
    EXPECT_NEAR(clip[0], k.left, 1e-6);
    if (k.out == 2) {
      EXPECT_NEAR(clip[1], k.right, 1e-6);
    }
  }
  // Full-scale surround material folds to full scale, not past it.
  for (const unsigned channels : {6u, 7u, 8u}) {
    AuditionCollector loud(10, 2, 1.0, 2.0);
    std::vector<float> full(10 * channels, -1.0f);
    for (size_t f = 0; f < 10; ++f) full[f * channels] = 1.0f;  // left against everything else
    loud.Add(full.data(), 10, channels);
    bool allSilent = true;
    const std::vector<float> clip = loud.Finish(allSilent);
    ASSERT_EQ(clip.size(), 20u);
    EXPECT_GT(clip[0], -1.0f) << channels;
    EXPECT_LT(clip[0], 0.0f) << channels;
    EXPECT_NEAR(clip[1], -1.0f, 1e-6) << channels;
  }
}

TEST(SampleConvert, FloatIsClampedAndPcmScaledKeepingTheFirstChannels) {
  const float in[] = {1.7f, -0.5f, 0.25f, -3.0f, 0.125f, 0.75f};
  std::vector<uint8_t> bytes(sizeof in);
  std::memcpy(bytes.data(), in, sizeof in);
  std::vector<float> out;
  AppendFloatFrames(bytes.data(), 2, 3, 2, out);
  EXPECT_EQ(out, (std::vector<float>{1.0f, -0.5f, -1.0f, 0.125f}));

  const int16_t pcm[] = {-32768, 16384, 32767, 0};
  std::vector<uint8_t> pcmBytes(sizeof pcm);
  std::memcpy(pcmBytes.data(), pcm, sizeof pcm);
  out.clear();
  AppendPcm16Frames(pcmBytes.data(), 2, 2, 1, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], -1.0f);
  EXPECT_FLOAT_EQ(out[1], 32767.0f / 32768.0f);
}

TEST(ReserveForDuration, ReservesTheEstimateWithMarginButIgnoresNonsense) {
  std::vector<float> v;
  ReserveForDuration(v, 10.0, 48000, 2);
  EXPECT_GE(v.capacity(), 960000u);
  EXPECT_LE(v.capacity(), 960000u * 11 / 10);
  for (double bad : {0.0, -5.0, 1e12, std::numeric_limits<double>::quiet_NaN()}) {
    std::vector<float> w;
    ReserveForDuration(w, bad, 48000, 2);
    EXPECT_EQ(w.capacity(), 0u) << bad;
  }
}

// NaN and infinities from a damaged float stream become silence; every
// finite value, however large or small, stays as it is. Odd length, so the
// vector loop's tail runs too.
TEST(ZeroNonFinite, SilencesOnlyNanAndInfinities) {
  std::vector<float> v = {NAN, INFINITY, -INFINITY, 1.5f, -0.0f, 1e-40f, -3.4e38f, 0.25f, -NAN};
  const std::vector<float> want = {0, 0, 0, 1.5f, -0.0f, 1e-40f, -3.4e38f, 0.25f, 0};
  ZeroNonFinite(v.data(), v.size());
  EXPECT_EQ(v, want);
  EXPECT_TRUE(std::signbit(v[4]));
}

// A decode fills its reservation, grows by half when the count falls short,
// and gives back a large unused part only: a counted length never moves the
// buffer, an estimate's margin is kept, a long shortfall or overestimate ends
// with the buffer fitted to the samples.
TEST(ReserveForFrames, CountedLengthsNeverMoveAndOnlyLargeSlackIsGivenBack) {
  struct Case {
    uint64_t countedFrames;  // 0: reserved from an estimate of `seconds`
    double seconds;
    size_t decodedFrames;
    bool moves;   // the buffer left its first place while decoding
    bool fitted;  // capacity == size at the end
  } cases[] = {
      {480000, 0, 480000, false, false},        // exact count: slack of a few codec frames kept
      {480000, 0, 480000 + 4096, false, false}, // decoder padding within the slack
      {0, 10.0, 480000, false, false},          // a right estimate keeps its small margin
      {0, 30.0, 480000, false, true},           // far too long an estimate: trimmed
      {0, 0, 480000, true, true},               // nothing stated: grows, then trimmed
      {100000, 0, 480000, true, false},         // a count far too low: grows; a last eighth unused is kept
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.countedFrames << " " << c.seconds << " " << c.decodedFrames);
    std::vector<float> v;
    if (c.countedFrames > 0)
      ReserveForFrames(v, c.countedFrames, 2);
    else
      ReserveForDuration(v, c.seconds, 48000, 2);
    const float* first = v.data();
    bool moved = false;
    size_t peakCapacity = v.capacity();
    for (size_t done = 0; done < c.decodedFrames; done += 1152) {
      const size_t n = std::min<size_t>(1152, c.decodedFrames - done) * 2;
      MakeRoom(v, n);
      v.resize(v.size() + n, 0.25f);
      if (!first) first = v.data();
      moved = moved || v.data() != first;
      peakCapacity = std::max(peakCapacity, v.capacity());
    }
    TrimSlack(v);
    EXPECT_EQ(moved, c.moves);
    EXPECT_EQ(v.size(), c.decodedFrames * 2);
    EXPECT_EQ(v.capacity() == v.size(), c.fitted) << v.capacity();
    // Growing by half keeps the largest buffer within 1.5 times what was
    // needed (plus one block), not twice.
    if (c.moves) {
      EXPECT_LE(peakCapacity, v.size() * 3 / 2 + 2304);
    } else if (c.countedFrames > 0) {
      EXPECT_LE(v.capacity(), (c.countedFrames + kCountedFramesSlack) * 2);
    }
  }
  std::vector<float> w;
  ReserveForFrames(w, uint64_t(1) << 60, 2);
  EXPECT_EQ(w.capacity(), 0u);
}

TEST(CodecNames, MediaSubtypesByCodeAndGuid) {
  struct Case {
    MediaGuid subtype;
    const char* name;
  } cases[] = {
      {SubtypeFromCode(FourCc("H264")), "H.264"},
      {SubtypeFromCode(FourCc("HEVC")), "HEVC(H.265)"},
      {SubtypeFromCode(FourCc("VP80")), "VP8/VP9"},
      {SubtypeFromCode(FourCc("VP90")), "VP8/VP9"},
      {SubtypeFromCode(FourCc("AV01")), "AV1"},
      {SubtypeFromCode(0x1610), "AAC"},
      {SubtypeFromCode(0x0055), "MP3"},
      {SubtypeFromCode(0x0001), "PCM"},
      {SubtypeFromCode(0x0003), "PCM 浮点"},
      {SubtypeFromCode(0x704F), "Opus"},
      {{0xE06D802C, 0xDB46, 0x11CF, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}}, "AC3"},
      {{0x8D2FD10B, 0x5841, 0x4A6B, {0x89, 0x05, 0x58, 0x8F, 0xEC, 0x1A, 0xDE, 0xD9}}, "Vorbis"},
      {SubtypeFromCode(FourCc("MJPG")), "未知编码"},
      {MediaGuid{0x1610, 0, 0, {}}, "未知编码"},  // right code, wrong base GUID
  };
  for (const Case& c : cases) EXPECT_EQ(SubtypeDisplayName(c.subtype), c.name) << c.name;
}

TEST(CodecNames, VideoCodecsByLibraryName) {
  const std::pair<const char*, const char*> cases[] = {
      {"mpeg1video", "MPEG-1"}, {"mpeg2video", "MPEG-2"}, {"h263", "H.263"},   {"rv10", "RealVideo"},
      {"rv40", "RealVideo"},    {"mjpeg", "MJPEG"},       {"mpeg4", "MPEG-4"}, {"msmpeg4v3", "MS MPEG-4 v3"},
      {"wmv2", "WMV"},          {"wmv3", "WMV"},          {"flv1", "Sorenson H.263（FLV）"},
      {"dvvideo", "DV"},        {"h264", "H.264"},        {"theora", "Theora"}, {"vc1", "VC-1"},
      {"vp6f", "VP6"},          {"vp6a", "VP6"},          {"vp8", "VP8/VP9"},  {"vp9", "VP8/VP9"},
      {"prores", "ProRes"},     {"hevc", "HEVC(H.265)"},  {"av1", "AV1"},      {"cinepak", "cinepak"},
  };
  for (const auto& [lib, display] : cases) EXPECT_EQ(VideoCodecDisplayName(lib), display) << lib;
}

}  // namespace
}  // namespace vesk
