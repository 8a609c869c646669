// Waveform envelopes: values against a direct scan, and the caches.
#include <gtest/gtest.h>

#include <algorithm>

#include "doc/audio_doc.h"
#include "doc/doc_test_clips.h"
#include "media/fold_down.h"

namespace vesk {
namespace {

// Full-scale noise, `frames` frames of `channels`.
std::vector<float> Noise(size_t frames, uint16_t channels, uint32_t seed) { return test::Noise(frames * channels, 1.0f, seed); }

// The column rule written out plainly, frame by frame; a wider clip is
// drawn as its stereo fold.
void ReferenceEnvelope(const std::vector<float>& wide, uint16_t wideCh, int32_t request, uint64_t start, uint64_t end,
                       uint64_t columns, std::vector<float>& mins, std::vector<float>& maxs) {
  std::vector<float> folded;
  if (wideCh > 2) {
    folded.resize(wide.size() / wideCh * 2);
    FoldChannels(wide.data(), wide.size() / wideCh, wideCh, 2, folded.data());
  }
  const std::vector<float>& s = wideCh > 2 ? folded : wide;
  const uint16_t ch = std::min<uint16_t>(wideCh, 2);
  mins.assign(columns, 0);
  maxs.assign(columns, 0);
  const uint64_t frames = s.size() / ch;
  end = std::min(end, frames);
  if (start >= end) return;
  const double step = double(end - start) / double(columns);
  for (uint64_t i = 0; i < columns; ++i) {
    const uint64_t a = start + uint64_t(double(i) * step);
    if (a >= end) break;
    const uint64_t b = std::min(std::max<uint64_t>(start + uint64_t(double(i + 1) * step), a + 1), end);
    float mn = 1e9f, mx = -1e9f;
    for (uint64_t f = a; f < b; ++f) {
      float v;
      if (ch == 1) v = s[f];
      else if (request < 0) v = (s[f * ch] + s[f * ch + 1]) / 2;
      else v = s[f * ch + std::min(request, 1)];
      mn = std::min(mn, v);
      mx = std::max(mx, v);
    }
    mins[i] = mn;
    maxs[i] = mx;
  }
}

struct ViewCase {
  uint16_t channels;
  int32_t request;
  uint64_t start, end, columns;
};
void PrintTo(const ViewCase& c, std::ostream* os) {
  *os << c.channels << "ch request " << c.request << " [" << c.start << "," << c.end << ") x" << c.columns;
}

class ViewEnvelopeValues : public testing::TestWithParam<ViewCase> {};

TEST_P(ViewEnvelopeValues, MatchADirectScanOfTheRange) {
  const ViewCase& c = GetParam();
  AudioDoc doc;
  const auto samples = Noise(10007, c.channels, 7);
  test::AdoptClip(doc, samples, 48000, c.channels);
  std::vector<float> mins, maxs, refMin, refMax;
  doc.ViewEnvelope(c.request, c.start, c.end, c.columns, mins, maxs);
  ReferenceEnvelope(samples, c.channels, c.request, c.start, c.end, c.columns, refMin, refMax);
  EXPECT_EQ(mins, refMin);
  EXPECT_EQ(maxs, refMax);
}

INSTANTIATE_TEST_SUITE_P(Ranges, ViewEnvelopeValues,
                         testing::Values(ViewCase{2, 0, 0, 10007, 1920}, ViewCase{2, 1, 0, 10007, 333},
                                         ViewCase{2, -1, 0, 10007, 1920}, ViewCase{2, -1, 17, 9001, 7},
                                         ViewCase{2, 5, 100, 200, 800}, ViewCase{1, -1, 0, 10007, 64},
                                         ViewCase{1, 0, 5000, 999999, 100}, ViewCase{2, 1, 10000, 10007, 3},
                                         ViewCase{6, 0, 0, 10007, 1920}, ViewCase{6, 1, 17, 9001, 7},
                                         ViewCase{8, -1, 0, 10007, 333}));

// Columns that span many frames are answered from block summaries; the
// values must stay those of the plain scan at every ragged edge, and an edit
// must reach them.
TEST(ViewEnvelope, WideColumnsMatchADirectScanBeforeAndAfterAnEdit) {
  struct Wide {
    int32_t request;
    uint64_t start, end, columns;
  };
  const Wide cases[] = {{0, 0, 200003, 50},       {1, 7, 199999, 37},  {-1, 255, 180001, 13},
                        {-1, 16383, 147457, 8},   {0, 1000, 5000, 3},  {1, 16384, 163840, 9}};
  for (uint16_t channels : {uint16_t(1), uint16_t(2), uint16_t(6)}) {
    AudioDoc doc;
    test::AdoptClip(doc, Noise(200003, channels, 11), 48000, channels);
    for (int round = 0; round < 2; ++round) {
      for (const Wide& c : cases) {
        std::vector<float> mins, maxs, refMin, refMax;
        doc.ViewEnvelope(c.request, c.start, c.end, c.columns, mins, maxs);
        ReferenceEnvelope(doc.CopySamples(), channels, c.request, c.start, c.end, c.columns, refMin, refMax);
        ASSERT_EQ(mins, refMin) << channels << "ch round " << round << " [" << c.start << "," << c.end << ")";
        ASSERT_EQ(maxs, refMax) << channels << "ch round " << round << " [" << c.start << "," << c.end << ")";
      }
      doc.SetSelection(20000, 70000);
      std::string error;
      ASSERT_TRUE(doc.SilenceSelection(error));
    }
  }
}

// A storage long enough to have its peaks built by several threads at once
// reads as the plain scan across the places where their stretches meet.
TEST(ViewEnvelope, PeaksBuiltInParallelMatchADirectScan) {
  const uint64_t frames = (uint64_t(9) << 20) + 777;
  AudioDoc doc;
  test::AdoptClip(doc, Noise(frames, 2, 5), 48000, 2);
  const std::vector<float> all = doc.CopySamples();
  for (int32_t request : {0, 1, -1}) {
    std::vector<float> mins, maxs, refMin, refMax;
    doc.ViewEnvelope(request, 3, frames, 97, mins, maxs);
    ReferenceEnvelope(all, 2, request, 3, frames, 97, refMin, refMax);
    EXPECT_EQ(mins, refMin) << request;
    EXPECT_EQ(maxs, refMax) << request;
  }
}

TEST(ViewEnvelope, MonoClipGivesTheSameValuesForEveryRequest) {
  AudioDoc doc;
  test::AdoptClip(doc, Noise(5000, 1, 3), 48000, 1);
  std::vector<float> mins0, maxs0, mins1, maxs1, minsMix, maxsMix;
  doc.ViewEnvelope(0, 0, 5000, 300, mins0, maxs0);
  doc.ViewEnvelope(1, 0, 5000, 300, mins1, maxs1);
  doc.ViewEnvelope(-1, 0, 5000, 300, minsMix, maxsMix);
  EXPECT_EQ(mins0, mins1);
  EXPECT_EQ(maxs0, maxs1);
  EXPECT_EQ(mins0, minsMix);
  EXPECT_EQ(maxs0, maxsMix);
}

TEST(ViewEnvelope, MoreColumnsThanFramesRepeatSingleFrames) {
  AudioDoc doc;
  const auto samples = Noise(1000, 2, 5);
  test::AdoptClip(doc, samples);
  std::vector<float> mins, maxs;
  doc.ViewEnvelope(0, 200, 300, 800, mins, maxs);
  for (size_t i = 0; i < 800; ++i) {
    const float expected = samples[(200 + i * 100 / 800) * 2];
    ASSERT_EQ(mins[i], expected) << i;
    ASSERT_EQ(maxs[i], expected) << i;
  }
}

TEST(ViewEnvelope, RangeBeyondTheClipIsZeroAndCachesNothing) {
  AudioDoc doc;
  test::AdoptClip(doc, Noise(1000, 2, 9));
  std::vector<float> mins = {5}, maxs = {5};
  doc.ViewEnvelope(0, 1000, 2000, 50, mins, maxs);
  EXPECT_EQ(mins, std::vector<float>(50, 0.0f));
  EXPECT_EQ(maxs, std::vector<float>(50, 0.0f));
  EXPECT_EQ(doc.EnvelopeScans(), 0u);
  doc.ViewEnvelope(0, 0, 0, 0, mins, maxs);
  EXPECT_TRUE(mins.empty());
}

TEST(ViewEnvelope, RepeatedRequestIsServedFromTheCacheUntilAnEdit) {
  AudioDoc doc;
  test::AdoptClip(doc, test::Constant(48000, 2, 0.5f));
  std::vector<float> mins, maxs;
  doc.ViewEnvelope(0, 0, 48000, 100, mins, maxs);
  doc.ViewEnvelope(0, 0, 48000, 100, mins, maxs);
  EXPECT_EQ(doc.EnvelopeScans(), 1u);
  doc.ViewEnvelope(1, 0, 48000, 100, mins, maxs);   // another slot
  doc.ViewEnvelope(0, 0, 48000, 100, mins, maxs);   // still cached
  doc.ViewEnvelope(0, 0, 48000, 101, mins, maxs);   // new key for slot 0
  EXPECT_EQ(doc.EnvelopeScans(), 3u);

  doc.SetSelection(0, 24000);
  std::string error;
  ASSERT_TRUE(doc.SilenceSelection(error));
  doc.ViewEnvelope(0, 0, 48000, 100, mins, maxs);
  EXPECT_EQ(doc.EnvelopeScans(), 4u);
  EXPECT_EQ(maxs[0], 0.0f);
  EXPECT_EQ(maxs[99], 0.5f);
  ASSERT_TRUE(doc.Undo());
  doc.ViewEnvelope(0, 0, 48000, 100, mins, maxs);
  EXPECT_EQ(doc.EnvelopeScans(), 5u);
  EXPECT_EQ(maxs[0], 0.5f);
}

TEST(WholeClipEnvelope, GivesBoundedPairsAndIsComputedOncePerChange) {
  AudioDoc doc;
  const auto samples = Noise(1000, 2, 11);
  test::AdoptClip(doc, samples);
  std::vector<float> mins, maxs;
  doc.Envelope(mins, maxs);
  ASSERT_EQ(mins.size(), 256u);
  ASSERT_EQ(maxs.size(), 256u);
  for (size_t i = 0; i < 256; ++i) {
    EXPECT_LE(mins[i], maxs[i]);
    EXPECT_GE(mins[i], -1.0f);
    EXPECT_LE(maxs[i], 1.0f);
  }
  // Column 0 covers frames 0..2 (⌊1000/256⌋ = 3).
  float mn = 1, mx = -1;
  for (size_t f = 0; f < 3; ++f) {
    const float m = (samples[f * 2] + samples[f * 2 + 1]) / 2;
    mn = std::min(mn, m);
    mx = std::max(mx, m);
  }
  EXPECT_EQ(mins[0], mn);
  EXPECT_EQ(maxs[0], mx);
  std::vector<float> again, againMax;
  doc.Envelope(again, againMax);
  EXPECT_EQ(again, mins);
  EXPECT_EQ(doc.EnvelopeScans(), 1u);
  doc.SetSelection(0, 1000);
  std::string error;
  ASSERT_TRUE(doc.SilenceSelection(error));
  doc.Envelope(mins, maxs);
  EXPECT_EQ(doc.EnvelopeScans(), 2u);
  EXPECT_EQ(mins, std::vector<float>(256, 0.0f));
}

// A 5.1 clip whose only sound is in the centre is not drawn as silence.
TEST(WholeClipEnvelope, SurroundClipIsTheMeanOfItsFold) {
  std::vector<float> samples(1000 * 6, 0.0f);
  for (size_t f = 0; f < 1000; ++f) samples[f * 6 + 2] = 0.5f;
  AudioDoc doc;
  test::AdoptClip(doc, samples, 48000, 6);
  std::vector<float> mins, maxs;
  doc.Envelope(mins, maxs);
  const float folded = 0.5f * 0.70710678f / (1 + 2 * 0.70710678f);
  for (size_t i = 0; i < 256; ++i) {
    ASSERT_NEAR(mins[i], folded, 1e-6) << i;
    ASSERT_NEAR(maxs[i], folded, 1e-6) << i;
  }
}

TEST(WholeClipEnvelope, ShortMonoClipLeavesEmptyColumnsAtZero) {
  AudioDoc doc;
  test::AdoptClip(doc, {0.25f, -0.5f}, 48000, 1);
  std::vector<float> mins, maxs;
  doc.Envelope(mins, maxs);
  EXPECT_EQ(mins[0], 0.25f);  // column 0 covers frame 0 (at least one frame)
  EXPECT_EQ(maxs[0], 0.25f);
  EXPECT_EQ(mins[128], -0.5f);
  EXPECT_EQ(mins[255], -0.5f);
  AudioDoc empty;
  empty.Envelope(mins, maxs);
  EXPECT_EQ(maxs, std::vector<float>(256, 0.0f));
}

}  // namespace
}  // namespace vesk
