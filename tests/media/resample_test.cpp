// Offline resampling: lengths at the end of the clip, level, copies, refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "media/resample.h"
#include "support/signal.h"

namespace vesk {
namespace {

TEST(ResampleAudio, DownsamplingKeepsLevelAndExpectedLength) {
  const auto in = test::Sine(48000, 2, 1000, 48000, 0.8);
  std::vector<float> out;
  std::string error;
  ASSERT_TRUE(ResampleAudio(in, 48000, 44100, 2, out, error));
  EXPECT_EQ(out.size() / 2, 44099u);
  EXPECT_NEAR(double(out.size() / 2) / 48000.0, 0.9188, 1e-4);
  EXPECT_NEAR(test::Peak(out), 0.8f, 0.002f);
  // The tone keeps its pitch: a rate mix-up would move it by 8.8 %.
  EXPECT_NEAR(test::ZeroCrossingPitch(out, 2, 0, 44100), 1000.0, 0.5);
  EXPECT_NEAR(test::ZeroCrossingPitch(out, 2, 1, 44100), 1000.0, 0.5);
}

TEST(ResampleAudio, UpsamplingStopsBeforeReadingPastTheEnd) {
  const auto in = test::Sine(44100, 1, 440, 44100, 0.5);
  std::vector<float> out;
  std::string error;
  ASSERT_TRUE(ResampleAudio(in, 44100, 48000, 1, out, error));
  EXPECT_EQ(out.size(), 47999u);
  // The interpolated value halfway between two input frames is their mean.
  std::vector<float> ramp{0.0f, 1.0f, 0.0f};
  ASSERT_TRUE(ResampleAudio(ramp, 1, 2, 1, out, error));
  EXPECT_EQ(out, (std::vector<float>{0.0f, 0.5f, 1.0f, 0.5f}));
}

TEST(ResampleAudio, CopiesWhenNothingToDo) {
  const std::vector<float> in{0.1f, -0.2f, 0.3f, 0.4f};
  std::vector<float> out;
  std::string error;
  ASSERT_TRUE(ResampleAudio(in, 48000, 48000, 2, out, error));
  EXPECT_EQ(out, in);
  const std::vector<float> one{0.25f, -0.25f};
  ASSERT_TRUE(ResampleAudio(one, 8000, 96000, 2, out, error));
  EXPECT_EQ(out, one);
}

TEST(ResampleAudio, RefusesInvalidParametersWithoutTouchingOutput) {
  const std::vector<float> in(30, 0.5f);
  for (auto [src, dst, ch] : {std::tuple{48000u, 44100u, uint16_t(3)}, std::tuple{0u, 44100u, uint16_t(1)},
                              std::tuple{48000u, 0u, uint16_t(2)}, std::tuple{48000u, 44100u, uint16_t(0)}}) {
    std::vector<float> out{7.0f};
    std::string error;
    EXPECT_FALSE(ResampleAudio(in, src, dst, ch, out, error));
    EXPECT_EQ(error, "重采样参数不合法。");
    EXPECT_EQ(out, std::vector<float>{7.0f});
  }
}

}  // namespace
}  // namespace vesk
