// The WAV reader against hand-built files: chunk walk, declared sizes,
// formats, conversions and the messages callers show.
#include <gtest/gtest.h>

#include <algorithm>
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

// Wider files carry WAVE_FORMAT_EXTENSIBLE with the speaker mask, and the
// reader takes every channel of what the writer describes.
TEST(WavHeader, WiderFilesAreExtensibleWithTheSpeakerMaskAndReadBackWhole) {
  struct Case {
    uint16_t channels, bits;
    uint32_t mask;
  } cases[] = {{3, 16, 0x7}, {4, 24, 0x33}, {5, 16, 0x37}, {6, 16, 0x3F},
               {7, 32, 0x70F}, {8, 24, 0x63F}, {10, 16, 0}};
  for (const Case c : cases) {
    SCOPED_TRACE(c.channels);
    const uint32_t width = c.bits / 8;
    const auto h = BuildWavHeader(AudioFormat{48000, c.channels, c.bits}, 2 * c.channels * width);
    ASSERT_EQ(h.size(), 68u);
    EXPECT_EQ(h[4] | h[5] << 8, 60 + 2 * c.channels * width);  // RIFF size
    EXPECT_EQ(h[16], 40);                                       // fmt size
    EXPECT_EQ(h[20] | h[21] << 8, 0xFFFE);
    EXPECT_EQ(uint32_t(h[40] | h[41] << 8 | h[42] << 16 | h[43] << 24), c.mask);
    EXPECT_EQ(h[44], c.bits == 32 ? 3 : 1);  // sub-format
    EXPECT_EQ(std::string(h.begin() + 60, h.begin() + 64), "data");

    // Two frames: channel k of frame f holds (f * channels + k + 1) / 64.
    std::vector<uint8_t> bytes(h.begin(), h.end());
    std::vector<float> want;
    for (uint32_t i = 0; i < 2u * c.channels; ++i) {
      want.push_back(float(i + 1) / 64);
      const float v = want.back();
      int32_t stored;
      if (c.bits == 32) std::memcpy(&stored, &v, 4);
      else stored = int32_t(v * float(1 << (c.bits - 1)));
      for (uint32_t b = 0; b < width; ++b) bytes.push_back(uint8_t(stored >> (8 * b)));
    }
    const ReadResult r = Read(bytes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.format.channels, c.channels);
    EXPECT_EQ(r.samples, want);
  }
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

// Field recorders and editors put metadata of any size before the samples.
TEST(WavReader, WalksMetadataChunksOfAnySizeUpToTheData) {
  auto chunk = [](std::vector<uint8_t>& v, const char* id, uint32_t size) {
    AppendTag(v, id);
    Append32(v, size);
    for (uint32_t i = 0; i < size + (size & 1u); ++i) v.push_back(uint8_t(i));
  };
  std::vector<uint8_t> v = RiffStart();
  chunk(v, "bext", 602);
  AppendFmt(v, FmtSpec{1, 1, 768000, 16});
  chunk(v, "iXML", 9001);  // odd: a pad byte follows
  chunk(v, "JUNK", 4096);
  chunk(v, "LIST", 26);
  ASSERT_GT(v.size(), 4096u * 3);
  AppendTag(v, "data");
  Append32(v, 4);
  for (uint8_t b : Pcm16({8192, -8192})) v.push_back(b);
  chunk(v, "LIST", 40);  // trailing metadata stays out of the samples
  for (const ReadResult& r : {Read(v), ReadViaFile(v)}) {
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.format.sampleRate, 768000u);
    EXPECT_EQ(r.samples, (std::vector<float>{0.25f, -0.25f}));
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
  std::vector<uint8_t> listOverrun = RiffStart();
  AppendFmt(listOverrun, FmtSpec{});
  AppendTag(listOverrun, "LIST");
  Append32(listOverrun, 5000);
  listOverrun.resize(listOverrun.size() + 100);
  std::vector<uint8_t> shortFmt = RiffStart();
  AppendTag(shortFmt, "fmt ");
  Append32(shortFmt, 14);
  shortFmt.resize(shortFmt.size() + 14);
  AppendTag(shortFmt, "data");
  Append32(shortFmt, 0);
  std::vector<uint8_t> manyChunks = RiffStart();
  for (int i = 0; i < 10001; ++i) {
    AppendTag(manyChunks, "JUNK");
    Append32(manyChunks, 0);
  }
  AppendFmt(manyChunks, FmtSpec{});
  AppendTag(manyChunks, "data");
  Append32(manyChunks, 0);
  const Case cases[] = {
      {"too short", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V'}, false, ""},
      {"not wave", [] { auto v = RiffStart(); v[8] = 'A'; return v; }(), false, ""},
      {"no data", noData, true, "WAV 文件结构不完整（缺少 fmt 或 data 块）。"},
      {"zero channels", MakeWav(FmtSpec{1, 0, 48000, 16}, {}, 0), true, "WAV 文件结构不完整（缺少 fmt 或 data 块）。"},
      {"zero rate", MakeWav(FmtSpec{1, 2, 0, 16}, {}, 0), true, "WAV 文件结构不完整（缺少 fmt 或 data 块）。"},
      {"adpcm", MakeWav(FmtSpec{2, 2, 48000, 4}, {}, 0), true, "这个 WAV 用的是压缩编码，暂不支持。"},
      {"12 bits", MakeWav(FmtSpec{1, 2, 48000, 12}, {}, 0), true, "不支持的 WAV 位深。"},
      {"rate past the top", MakeWav(FmtSpec{1, 2, 768001, 16}, {}, 0), true,
       "WAV 文件的采样率不合理（768001 Hz，支持 1～768000 Hz），文件可能已损坏。"},
      {"rate all ones", MakeWav(FmtSpec{1, 2, 0xFFFFFFFFu, 16}, {}, 0), true,
       "WAV 文件的采样率不合理（4294967295 Hz，支持 1～768000 Hz），文件可能已损坏。"},
      {"16-bit float", MakeWav(FmtSpec{3, 1, 48000, 16}, Pcm16({-16384}), 2), true,
       "这个 WAV 的浮点数据是 16 位的，只支持 32 位浮点。"},
      {"64-bit float", MakeWav(FmtSpec{3, 1, 48000, 64}, {}, 0), true,
       "这个 WAV 的浮点数据是 64 位的，只支持 32 位浮点。"},
      {"extensible 24-bit float", MakeWav(FmtSpec{0xFFFE, 1, 48000, 24, 40, 3}, {}, 0), true,
       "这个 WAV 的浮点数据是 24 位的，只支持 32 位浮点。"},
      {"chunk past the end", listOverrun, true, "WAV 文件不完整：「LIST」块声明 5000 字节，超出了文件末尾。"},
      {"short fmt", shortFmt, true, "WAV 文件的 fmt 块不完整（14 字节，至少要 16 字节）。"},
      {"endless chunks", manyChunks, true, "WAV 文件的块多得不正常（超过 10000 个），读不下去。"},
  };
  for (const Case& c : cases) {
    for (const ReadResult& r : {Read(c.bytes), ReadViaFile(c.bytes)}) {
      EXPECT_FALSE(r.ok) << c.name;
      EXPECT_EQ(r.riff, c.riff) << c.name;
      EXPECT_EQ(r.error, c.error) << c.name;
    }
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

// Every stored encoding and channel layout over an odd number of frames that
// crosses the reader's blocks, from the file (where large buffers have their
// pages committed on a helper thread while the conversion fills them): each
// sample equals a plain one-at-a-time decode of its bytes, extremes included.
TEST(WavReader, BlockConversionsMatchAPlainDecodeOfEverySample) {
  struct Case {
    uint16_t tag;
    uint16_t bits;
  };
  const auto plain = [](const Case c, const uint8_t* s) -> float {
    int64_t v = 0;
    for (int b = 0; b < c.bits / 8; ++b) v |= int64_t(s[b]) << (8 * b);
    if (c.bits == 8) return float(v - 128) / 128.0f;
    if (c.tag == 3) {
      float f;
      std::memcpy(&f, s, 4);
      return std::isnan(f) ? 0.0f : std::clamp(f, -1.0f, 1.0f);
    }
    if (v >= int64_t(1) << (c.bits - 1)) v -= int64_t(1) << c.bits;
    return float(double(v) / double(int64_t(1) << (c.bits - 1)));
  };
  const uint32_t frames = 2 * 65536 + 4099;
  for (const Case c : {Case{1, 8}, Case{1, 16}, Case{1, 24}, Case{1, 32}, Case{3, 32}}) {
    for (const uint16_t channels : {1, 2, 3}) {
      SCOPED_TRACE(testing::Message() << "bits " << c.bits << " tag " << c.tag << " channels " << channels);
      const size_t width = c.bits / 8;
      std::vector<uint8_t> data(size_t(frames) * channels * width);
      uint32_t x = 12345;
      for (uint8_t& b : data) b = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
      // Extremes at both ends of the run: the first and last bytes read.
      std::fill(data.begin(), data.begin() + width, uint8_t(0xFF));
      std::fill(data.end() - width, data.end(), uint8_t(0x80));
      const ReadResult r = ReadViaFile(MakeWav(FmtSpec{c.tag, channels, 48000, c.bits}, data, 0));
      ASSERT_TRUE(r.ok) << r.error;
      const size_t out = channels;
      ASSERT_EQ(r.samples.size(), size_t(frames) * out);
      for (size_t f = 0; f < frames; ++f)
        for (size_t ch = 0; ch < out; ++ch) {
          const float want = plain(c, &data[(f * channels + ch) * width]);
          ASSERT_EQ(r.samples[f * out + ch], want) << "frame " << f << " channel " << ch;
        }
    }
  }
}

}  // namespace
}  // namespace vesk
