// The WAV reader against hand-built files: chunk walk, declared sizes,
// formats, conversions and the messages callers show.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "media/wav_format.h"
#include "media/wav_reader.h"
#include "support/test_support.h"
#include "support/wav_builder.h"

namespace vesk {
namespace {

using test::Append16;
using test::Append32;
using test::AppendFmt;
using test::AppendTag;
using test::FmtSpec;
using test::MakeWav;
using test::Pcm16;
using test::RiffStart;

struct ReadResult {
  bool ok = false;
  bool riff = false;
  AudioFormat format;
  std::vector<float> samples;
  std::string error;
  int bits = -1;
};

ReadResult Read(const std::vector<uint8_t>& bytes) {
  ReadResult r;
  r.ok = ReadWavMemory(bytes.data(), bytes.size(), r.format, r.samples, r.error, r.riff, &r.bits);
  return r;
}

// The file path and the memory path share one walk; check the file path too.
ReadResult ReadViaFile(const std::vector<uint8_t>& bytes) {
  test::ScratchDir dir;
  test::WriteBytes(dir / "t.wav", bytes);
  ReadResult r;
  r.ok = ReadWavFile(dir / "t.wav", r.format, r.samples, r.error, r.riff, &r.bits);
  return r;
}

TEST(WavHeader, BuildsCanonicalPcmAndFloatHeaders) {
  const auto h = BuildWavHeader(AudioFormat{44100, 2, 24}, 600);
  std::vector<uint8_t> expect = RiffStart();
  std::memcpy(&expect[4], "\x7C\x02\x00\x00", 4);  // 600 + 36
  AppendFmt(expect, FmtSpec{1, 2, 44100, 24});
  AppendTag(expect, "data");
  Append32(expect, 600);
  EXPECT_EQ(std::vector<uint8_t>(h.begin(), h.end()), expect);

  const auto f = BuildWavHeader(AudioFormat{48000, 1, 32}, 0xFFFFFFF0u);
  EXPECT_EQ(f[20], 3);                             // float tag
  EXPECT_EQ(f[4] | f[5] << 8 | f[6] << 16, 0x14);  // RIFF size wraps modulo 2^32
  EXPECT_EQ(f[32], 4);                             // block align
}

TEST(WavReader, ReadsWhatTheWriterHeaderDescribes) {
  const auto h = BuildWavHeader(AudioFormat{22050, 1, 16}, 4);
  std::vector<uint8_t> bytes(h.begin(), h.end());
  for (uint8_t b : Pcm16({16384, -32768})) bytes.push_back(b);
  const ReadResult r = ReadViaFile(bytes);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.format, (AudioFormat{22050, 1, 16}));
  EXPECT_EQ(r.samples, (std::vector<float>{0.5f, -1.0f}));
  EXPECT_EQ(r.bits, 16);
}

TEST(WavReader, UnsealedOrOversizedDataRunsToEndOfFile) {
  const auto data = Pcm16({1, 2, 3, 4, 5, 6});
  for (uint32_t declared : {0u, 0xFFFFFFFFu, 1000000u}) {
    const ReadResult r = Read(MakeWav(FmtSpec{}, data, declared));
    ASSERT_TRUE(r.ok) << declared;
    EXPECT_EQ(r.samples.size(), 6u) << declared;
  }
  // A smaller declared size is honoured; a trailing partial frame is dropped.
  const ReadResult cut = Read(MakeWav(FmtSpec{}, data, 10));
  ASSERT_TRUE(cut.ok);
  EXPECT_EQ(cut.samples.size(), 4u);
}

TEST(WavReader, ExactlyHeaderOnlyFileIsAnEmptySuccess) {
  const auto h = BuildWavHeader(AudioFormat{}, 0);
  const ReadResult r = Read(std::vector<uint8_t>(h.begin(), h.end()));
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.samples.empty());
  EXPECT_EQ(r.format.channels, 2);
}

TEST(WavReader, ConvertsEveryStoredEncoding) {
  {  // 8-bit unsigned
    const ReadResult r = Read(MakeWav(FmtSpec{1, 1, 8000, 8}, {0, 128, 255, 192}, 4));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.samples, (std::vector<float>{-1.0f, 0.0f, 127 / 128.0f, 0.5f}));
    EXPECT_EQ(r.bits, 8);
  }
  {  // 24-bit, least significant byte first, sign-extended
    const ReadResult r = Read(MakeWav(FmtSpec{1, 1, 48000, 24}, {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x40}, 9));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.samples, (std::vector<float>{-1.0f, 8388607 / 8388608.0f, 0.5f}));
  }
  {  // 32-bit integer
    std::vector<uint8_t> d;
    Append32(d, 0x80000000u);
    Append32(d, 0x40000000u);
    const ReadResult r = Read(MakeWav(FmtSpec{1, 1, 48000, 32}, d, 8));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.samples, (std::vector<float>{-1.0f, 0.5f}));
  }
  {  // 32-bit float, clamped; NaN becomes silence
    std::vector<uint8_t> d;
    for (float x : {1.7f, -0.25f, -3.0f, std::nanf("")}) {
      uint32_t raw;
      std::memcpy(&raw, &x, 4);
      Append32(d, raw);
    }
    const ReadResult r = Read(MakeWav(FmtSpec{3, 1, 48000, 32}, d, 16));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.samples, (std::vector<float>{1.0f, -0.25f, -1.0f, 0.0f}));
    EXPECT_EQ(r.bits, 32);
    EXPECT_EQ(r.format.bits, 16);
  }
  {  // a float tag with 16 bits is read as integers
    const ReadResult r = Read(MakeWav(FmtSpec{3, 1, 48000, 16}, Pcm16({-16384}), 2));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.samples, (std::vector<float>{-0.5f}));
  }
}

TEST(WavReader, KeepsFirstTwoOfManyChannels) {
  std::vector<int16_t> frames;
  const ReadResult r = Read(MakeWav(FmtSpec{1, 6, 48000, 16}, Pcm16({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), 24));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.format.channels, 2);
  EXPECT_EQ(r.samples, (std::vector<float>{1 / 32768.f, 2 / 32768.f, 7 / 32768.f, 8 / 32768.f}));
}

TEST(WavReader, ExtensibleFormatTakesTagFromSubFormat) {
  std::vector<uint8_t> d;
  const float half = 0.5f;
  uint32_t raw;
  std::memcpy(&raw, &half, 4);
  Append32(d, raw);
  const ReadResult asFloat = Read(MakeWav(FmtSpec{0xFFFE, 1, 48000, 32, 40, 3}, d, 4));
  ASSERT_TRUE(asFloat.ok);
  EXPECT_EQ(asFloat.samples, (std::vector<float>{0.5f}));
  const ReadResult asPcm = Read(MakeWav(FmtSpec{0xFFFE, 1, 48000, 32, 40, 1}, d, 4));
  ASSERT_TRUE(asPcm.ok);
  EXPECT_NEAR(asPcm.samples[0], double(raw) / 2147483648.0, 1e-6);
  const ReadResult shortExt = Read(MakeWav(FmtSpec{0xFFFE, 1, 48000, 32, 18, 3}, d, 4));
  EXPECT_FALSE(shortExt.ok);
  EXPECT_EQ(shortExt.error, "这个 WAV 用的是压缩编码，暂不支持。");
}

TEST(WavReader, SkipsOddChunksWithTheirPadByte) {
  std::vector<uint8_t> v = RiffStart();
  AppendTag(v, "LIST");
  Append32(v, 3);
  v.insert(v.end(), {'a', 'b', 'c', 0});
  AppendFmt(v, FmtSpec{1, 1, 16000, 16});
  AppendTag(v, "data");
  Append32(v, 2);
  for (uint8_t b : Pcm16({8192})) v.push_back(b);
  const ReadResult r = Read(v);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.format.sampleRate, 16000u);
  EXPECT_EQ(r.samples, (std::vector<float>{0.25f}));
}

TEST(WavReader, DataChunkBeyondTheScannedHeadIsIncomplete) {
  for (uint32_t pad : {4060u, 4050u}) {  // data header at 4088+ vs. inside
    std::vector<uint8_t> v = RiffStart();
    AppendFmt(v, FmtSpec{1, 1, 8000, 16});
    AppendTag(v, "JUNK");
    Append32(v, pad - 8 - 36 + 16);
    v.resize(v.size() + pad - 8 - 36 + 16, 0);
    const size_t dataAt = v.size();
    AppendTag(v, "data");
    Append32(v, 2);
    Append16(v, 100);
    const ReadResult r = Read(v);
    if (dataAt + 8 > 4096) {
      EXPECT_FALSE(r.ok) << dataAt;
      EXPECT_EQ(r.error, "WAV 文件结构不完整（缺少 fmt 或 data 块）。");
      EXPECT_TRUE(r.riff);
    } else {
      EXPECT_TRUE(r.ok) << dataAt;
    }
  }
}

TEST(WavReader, RejectsWithTheMessageCallersShow) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool riff;
    const char* error;
  };
  std::vector<uint8_t> noData = RiffStart();
  AppendFmt(noData, FmtSpec{});
  const Case cases[] = {
      {"too short", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V'}, false, ""},
      {"not wave", [] { auto v = RiffStart(); v[8] = 'A'; return v; }(), false, ""},
      {"no data", noData, true, "WAV 文件结构不完整（缺少 fmt 或 data 块）。"},
      {"zero channels", MakeWav(FmtSpec{1, 0, 48000, 16}, {}, 0), true, "WAV 文件结构不完整（缺少 fmt 或 data 块）。"},
      {"zero rate", MakeWav(FmtSpec{1, 2, 0, 16}, {}, 0), true, "WAV 文件结构不完整（缺少 fmt 或 data 块）。"},
      {"adpcm", MakeWav(FmtSpec{2, 2, 48000, 4}, {}, 0), true, "这个 WAV 用的是压缩编码，暂不支持。"},
      {"12 bits", MakeWav(FmtSpec{1, 2, 48000, 12}, {}, 0), true, "不支持的 WAV 位深。"},
  };
  for (const Case& c : cases) {
    const ReadResult r = Read(c.bytes);
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_EQ(r.riff, c.riff) << c.name;
    EXPECT_EQ(r.error, c.error) << c.name;
  }
}

TEST(WavReader, MissingFileCannotBeOpened) {
  test::ScratchDir dir;
  AudioFormat f;
  std::vector<float> s{1.0f};
  std::string error;
  bool riff = true;
  EXPECT_FALSE(ReadWavFile(dir / "none.wav", f, s, error, riff));
  EXPECT_EQ(error, "打不开文件（可能被占用或没有读权限）。");
  EXPECT_FALSE(riff);
  EXPECT_TRUE(s.empty());
}

TEST(WavReader, ReadsAcrossManyBlocksWithoutReallocating) {
  const uint32_t frames = 65536 * 3 + 17;
  std::vector<uint8_t> data;
  data.reserve(frames * 4);
  for (uint32_t i = 0; i < frames; ++i) {
    Append16(data, uint16_t(int16_t(i % 30000)));
    Append16(data, uint16_t(int16_t(-(int(i) % 30000))));
  }
  const ReadResult r = ReadViaFile(MakeWav(FmtSpec{}, data, 0));
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.samples.size(), size_t(frames) * 2);
  EXPECT_EQ(r.samples.capacity(), r.samples.size());
  for (uint32_t i : {0u, 65535u, 65536u, 131072u, frames - 1}) {
    EXPECT_EQ(r.samples[2 * i], float(i % 30000) / 32768.0f) << i;
    EXPECT_EQ(r.samples[2 * i + 1], float(-(int(i) % 30000)) / 32768.0f) << i;
  }
}

}  // namespace
}  // namespace vesk
