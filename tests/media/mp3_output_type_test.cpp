// The MP3 sink's pure decisions: output-type choice, the offered type list,
// messages and the 16-bit conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "media/mp3_output_type.h"

namespace vesk {
namespace {

Mp3OutputType T(uint32_t rate, uint16_t ch, uint32_t kbps) { return {rate, ch, kbps * 1000 / 8}; }

struct ChoiceCase {
  const char* name;
  std::vector<Mp3OutputType> types;
  uint32_t rate;
  uint16_t channels;
  uint32_t kbps;
  int expected;
};
void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class Mp3TypeChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(Mp3TypeChoice, PicksTheNearestBitRateOfTheMatchingRateAndChannels) {
  const ChoiceCase& c = GetParam();
  EXPECT_EQ(ChooseMp3OutputType(c.types, c.rate, c.channels, c.kbps), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Mp3TypeChoice,
    testing::Values(
        ChoiceCase{"exact", {T(44100, 2, 128), T(44100, 2, 192), T(44100, 2, 320)}, 44100, 2, 192, 1},
        ChoiceCase{"nearest_above", {T(44100, 2, 128), T(44100, 2, 160), T(44100, 2, 320)}, 44100, 2, 192, 1},
        ChoiceCase{"tie_keeps_earlier", {T(48000, 1, 96), T(48000, 1, 112)}, 48000, 1, 104, 0},
        ChoiceCase{"other_channels_ignored", {T(44100, 1, 192), T(44100, 2, 128)}, 44100, 2, 192, 1},
        ChoiceCase{"other_rate_ignored", {T(48000, 2, 192), T(44100, 2, 64)}, 44100, 2, 192, 1},
        ChoiceCase{"no_such_rate", {T(44100, 2, 192), T(48000, 1, 192)}, 11025, 1, 64, -1},
        ChoiceCase{"empty_list", {}, 44100, 2, 192, -1},
        ChoiceCase{"odd_bytes_per_second_rounds_down", {T(44100, 2, 0), {44100, 2, 23999}}, 44100, 2, 191, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Mp3OutputTypes, StandardListCoversEveryMpegRateInMonoAndStereo) {
  const auto types = StandardMp3OutputTypes();
  struct Expect {
    uint32_t rate;
    uint16_t channels;
    uint32_t request, picked;
  };
  for (const Expect e : {Expect{44100, 2, 192, 192}, Expect{48000, 1, 100, 96}, Expect{32000, 2, 1000, 320},
                         Expect{22050, 2, 320, 160}, Expect{16000, 1, 8, 8}, Expect{11025, 1, 128, 64},
                         Expect{8000, 2, 20, 16}, Expect{12000, 1, 24, 24}}) {
    const int i = ChooseMp3OutputType(types, e.rate, e.channels, e.request);
    ASSERT_GE(i, 0) << e.rate;
    EXPECT_EQ(Mp3TypeKbps(types[size_t(i)]), int32_t(e.picked)) << e.rate << "/" << e.channels;
  }
  for (uint32_t impossible : {11000u, 96000u, 44000u})
    EXPECT_EQ(ChooseMp3OutputType(types, impossible, 2, 128), -1) << impossible;
  EXPECT_EQ(ChooseMp3OutputType(types, 44100, 3, 128), -1);
}

TEST(Mp3Messages, NameTheRefusedCombination) {
  EXPECT_EQ(Mp3UnsupportedMessage(11025, 1),
            "系统 MP3 编码器不支持 11025 Hz / 1 声道 这个组合（它能做的采样率是 8000~48000 中的若干档）。\n"
            "请把声道改成另一种，或改用 WAV 录制。");
  EXPECT_EQ(Mp3NoEncoderMessage(), "系统没有可用的 MP3 编码器。请改用 WAV 录制，或在 Windows 设置里安装媒体功能包。");
  EXPECT_EQ(Mp3BlockDuration(44100), 261224u);
  EXPECT_EQ(Mp3BlockDuration(48000), 240000u);
}

TEST(Mp3Conversion, MatchesTheWavSinkRounding) {
  const std::pair<float, int16_t> cases[] = {{1.5f, 32767},  {1.0f, 32767},      {0.5f, 16384},
                                             {-0.5f, -16384}, {-1.0f, -32768},   {-3.0f, -32768},
                                             {-1e-7f, 0},    {0.0f, 0},          {1.0f / 65536, 1},
                                             {std::numeric_limits<float>::quiet_NaN(), 0}};
  for (const auto& [in, out] : cases) EXPECT_EQ(FloatToPcm16(in), out) << in;
}

}  // namespace
}  // namespace vesk
