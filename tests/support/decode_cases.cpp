#include "support/decode_cases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

#include "media/audio_loader.h"
#include "platform/file.h"

namespace vesk::test {

std::vector<DecodeCase> ReadDecodeCases(const std::filesystem::path& dir) {
  std::string text;
  std::vector<DecodeCase> cases;
  if (!ReadWholeFile(dir / "cases.txt", text)) return cases;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    DecodeCase c;
    std::string rate, channels;
    if (!std::getline(fields, c.name, ';') || !std::getline(fields, rate, ';') ||
        !std::getline(fields, channels, ';'))
      continue;
    c.rate = uint32_t(std::stoul(rate));
    c.channels = uint16_t(std::stoul(channels));
    cases.push_back(c);
  }
  return cases;
}

void ExpectDecodesLikeReference(const std::filesystem::path& dir, const DecodeCase& c) {
  SCOPED_TRACE(c.name);
  AudioFormat format;
  std::vector<float> samples;
  std::string error;
  int bits = -1;
  ASSERT_TRUE(LoadAudioFile(dir / c.name, format, samples, error, &bits)) << error;
  EXPECT_EQ(format, (AudioFormat{c.rate, c.channels, 16}));
  EXPECT_EQ(bits, 0);

  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(dir / (c.name + ".0.f32"), bytes));
  std::vector<float> expected(bytes.size() / 4);
  std::memcpy(expected.data(), bytes.data(), expected.size() * 4);
  ASSERT_EQ(samples.size(), expected.size());
  float worst = 0;
  for (size_t i = 0; i < samples.size(); ++i) worst = std::max(worst, std::fabs(samples[i] - expected[i]));
  EXPECT_LE(worst, 1e-6f);
  EXPECT_NEAR(double(samples.size()) / c.channels / c.rate, 2.0, 0.1);
}

}  // namespace vesk::test
