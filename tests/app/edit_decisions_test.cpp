// --delete applied through the audio document: deleted ranges become silence
// at their source time, the length stays, short fades sit at the cuts.
#include <gtest/gtest.h>

#include <cmath>

#include "app/edit_decisions.h"

namespace vesk {
namespace {

constexpr size_t kFrames = 4800;
constexpr int64_t kRamp = 240;  // 5 ms at 48 kHz

std::vector<float> Source() {
  std::vector<float> v(kFrames * 2);
  for (size_t i = 0; i < v.size(); ++i) v[i] = 0.1f + float(i / 2) / 10000.0f;
  return v;
}

struct Fade {
  int64_t cut;    // source frame of the cut
  bool rising;    // after the cut (gain i/n at cut + i) or before it (gain i/n at cut - 1 - i)
  int64_t length;
};

struct DeleteCase {
  const char* name;
  std::string ranges;
  std::vector<std::pair<int64_t, int64_t>> silent;  // source ranges that end up silent
  std::vector<Fade> fades;                          // the ramps at the cuts, at their source time
};

class ApplyDeleteRangesTable : public testing::TestWithParam<DeleteCase> {};

TEST_P(ApplyDeleteRangesTable, DeletedFramesBecomeSilenceAtTheirSourceTimeWithRampsAtTheCuts) {
  const std::vector<float> source = Source();
  std::vector<float> s = source;
  AudioFormat format{48000, 2, 16};
  std::string error;
  ASSERT_TRUE(ApplyDeleteRanges(s, format, ParseDeleteRanges(GetParam().ranges), error)) << error;
  ASSERT_EQ(s.size(), source.size());
  EXPECT_EQ(format.sampleRate, 48000u);
  for (int64_t f = 0; f < int64_t(kFrames); ++f) {
    bool silent = false;
    for (auto [a, b] : GetParam().silent) silent |= f >= a && f < b;
    double gain = 1.0;
    for (const Fade& d : GetParam().fades) {
      const int64_t i = d.rising ? f - d.cut : d.cut - 1 - f;
      if (i >= 0 && i < d.length) gain = double(i) / double(d.length);
    }
    for (size_t c = 0; c < 2; ++c) {
      const float got = s[size_t(f) * 2 + c], want = source[size_t(f) * 2 + c];
      if (silent) ASSERT_EQ(got, 0.0f) << "frame " << f;
      else ASSERT_NEAR(got, want * gain, 1e-6) << "frame " << f << ", gain " << gain;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ApplyDeleteRangesTable,
    testing::Values(
        // The inner cut ramps over 5 ms on both sides; a cut at the clip's start or end has no ramp.
        DeleteCase{"TwoRangesAppliedBackToFront", "2400-3000,0-600", {{0, 600}, {2400, 3000}},
                   {{2400, false, kRamp}, {3000, true, kRamp}}},
        DeleteCase{"RangePastTheEndIsClamped", "4000-100000", {{4000, 4800}}, {}},
        // [500,1500) goes first; [100,1000) then spans source 100..500 and 1500..2000, and its ramps are
        // as long as the 100 frames before it.
        DeleteCase{"OverlapsAreNotMerged", "100-1000,500-1500", {{100, 2000}}, {{100, false, 100}, {2000, true, 100}}},
        DeleteCase{"StartBeyondTheEndDoesNothing", "9000-9500", {}, {}},
        DeleteCase{"DeletingEverythingGivesSilenceNotTheOriginal", "0-4800", {{0, 4800}}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ApplyDeleteRanges, RefusesAudioTheDocumentCannotTake) {
  std::vector<float> s{0.5f, 0.5f};
  AudioFormat format{48000, 0, 16};
  std::string error;
  EXPECT_FALSE(ApplyDeleteRanges(s, format, ParseDeleteRanges("0-1"), error));
  EXPECT_EQ(error.rfind("装进剪辑区失败：", 0), 0u) << error;
  EXPECT_EQ(s, (std::vector<float>{0.5f, 0.5f}));
}

}  // namespace
}  // namespace vesk
