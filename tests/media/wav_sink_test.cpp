// The WAV sink against real files: stored sample values, round trips through
// the reader, header refill while open, segment rolling and naming, the
// lifecycle rules and the whole-buffer writer with progress and cancel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/wav_format.h"
#include "media/wav_reader.h"
#include "media/wav_sink.h"
#include "support/test_support.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

using test::Le32;

// Restores the process-wide threshold even when an assertion fails.
class ThresholdGuard {
 public:
  explicit ThresholdGuard(uint64_t bytes) : old_(SetSegmentThreshold(bytes)) {}
  ~ThresholdGuard() { SetSegmentThreshold(old_); }

 private:
  uint64_t old_;
};

std::vector<float> Ramp(size_t samples, float step = 1.0f / 4096) {
  std::vector<float> v(samples);
  for (size_t i = 0; i < samples; ++i) v[i] = std::fmod(float(i) * step, 2.0f) - 1.0f;
  return v;
}

struct StoredCase {
  int bits;
  float input;
  int64_t stored;  // integer formats; for float the bits of `input`
};

class StoredValue : public testing::TestWithParam<StoredCase> {};

TEST_P(StoredValue, IsConvertedRoundedAndClampedForTheDepth) {
  const StoredCase c = GetParam();
  test::ScratchDir dir;
  std::string error;
  ASSERT_TRUE(WriteWavFile(dir / "v.wav", AudioFormat{8000, 1, 16}, {c.input}, error, c.bits)) << error;
  const std::string bytes = test::ReadText(dir / "v.wav");
  const size_t width = size_t(c.bits) / 8;
  ASSERT_EQ(bytes.size(), 44 + width);
  if (c.bits == 32) {
    float stored;
    std::memcpy(&stored, bytes.data() + 44, 4);
    EXPECT_EQ(stored, c.input);
    return;
  }
  int64_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= int64_t(uint8_t(bytes[44 + i])) << (8 * i);
  if (value & (int64_t(1) << (8 * width - 1))) value -= int64_t(1) << (8 * width);  // sign-extend
  EXPECT_EQ(value, c.stored);
}

INSTANTIATE_TEST_SUITE_P(Depths, StoredValue,
                         testing::Values(StoredCase{16, 1.5f, 32767}, StoredCase{24, 1.5f, 8388607},
                                         StoredCase{32, 1.5f, 0}, StoredCase{16, 0.5f, 16384},
                                         StoredCase{16, -0.5f, -16384}, StoredCase{16, -1e-9f, 0},
                                         StoredCase{16, -1.0f, -32768}, StoredCase{16, -3.0f, -32768},
                                         StoredCase{24, -1.0f, -8388608}, StoredCase{24, 0.5f, 4194304},
                                         StoredCase{24, -1e-9f, 0}, StoredCase{16, NAN, 0},
                                         StoredCase{32, -0.25f, 0}));

// Every stored integer equals the value rounded half away from zero in exact
// arithmetic, over a buffer long and odd enough to cross the converter's
// internal blocks, with the values where float rounding used to slip (just
// under half a step), halves, ends, infinities and NaN mixed in.
TEST(StoredValue, LongBuffersMatchExactRoundingByteForByte) {
  std::vector<float> in = Ramp(5003, 0.0007f);
  const float tricky[] = {0x1.fffffep-17f, -0x1.fffffep-17f, 0x1.fffffep-25f, -0x1.fffffep-25f, 0x1p-16f,
                          0x1p-24f,        1.0f,             -1.0f,          INFINITY,         -INFINITY,
                          NAN,             0.99999994f,      -0x1.8p-16f,    0x1.8p-24f};
  for (size_t i = 0; i < std::size(tricky); ++i) in[i * 383] = tricky[i];
  in.back() = -0x1.fffffep-17f;
  for (const int bits : {16, 24}) {
    SCOPED_TRACE(bits);
    test::ScratchDir dir;
    std::string error;
    ASSERT_TRUE(WriteWavFile(dir / "v.wav", AudioFormat{8000, 1, 16}, in, error, bits)) << error;
    const std::string bytes = test::ReadText(dir / "v.wav");
    const size_t width = size_t(bits) / 8;
    ASSERT_EQ(bytes.size(), 44 + width * in.size());
    const double scale = bits == 16 ? 32768.0 : 8388608.0;
    for (size_t i = 0; i < in.size(); ++i) {
      const double v = std::isnan(in[i]) ? 0.0 : std::clamp(double(in[i]), -1.0, 1.0);
      const int64_t want = std::min<int64_t>(int64_t(std::trunc(v * scale + std::copysign(0.5, v))), int64_t(scale) - 1);
      int64_t got = 0;
      for (size_t b = 0; b < width; ++b) got |= int64_t(uint8_t(bytes[44 + i * width + b])) << (8 * b);
      if (got & (int64_t(1) << (8 * width - 1))) got -= int64_t(1) << (8 * width);
      ASSERT_EQ(got, want) << "sample " << i << " = " << in[i];
    }
  }
}

struct RoundTripCase {
  int requestedBits;
  int storedBits;
  double tolerance;
};

class RoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, ReaderGetsBackWhatWasWrittenWithinOneStep) {
  const RoundTripCase c = GetParam();
  test::ScratchDir dir;
  const std::vector<float> in = Ramp(2 * 30011, 1.0f / 7919);  // not a multiple of the chunk size
  std::string error;
  ASSERT_TRUE(WriteWavFile(dir / "r.wav", AudioFormat{44100, 2, 16}, in, error, c.requestedBits)) << error;
  AudioFormat format;
  std::vector<float> out;
  bool riff = false;
  int sourceBits = 0;
  ASSERT_TRUE(ReadWavFile(dir / "r.wav", format, out, error, riff, &sourceBits)) << error;
  EXPECT_EQ(sourceBits, c.storedBits);
  EXPECT_EQ(format, (AudioFormat{44100, 2, 16}));
  ASSERT_EQ(out.size(), in.size());
  double worst = 0;
  for (size_t i = 0; i < in.size(); ++i) worst = std::max(worst, std::fabs(double(out[i]) - in[i]));
  EXPECT_LE(worst, c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Depths, RoundTrip,
                         testing::Values(RoundTripCase{16, 16, 1.0 / 32768}, RoundTripCase{24, 24, 1.0 / 8388608},
                                         RoundTripCase{32, 32, 0.0}, RoundTripCase{8, 16, 1.0 / 32768},
                                         RoundTripCase{20, 16, 1.0 / 32768}));

TEST(SegmentPath, DerivesNumberedNamesFromTheBasePath) {
  const fs::path folder = fs::path("a.b") / "c";
  EXPECT_EQ(SegmentPath(folder / "rec.wav", 1), folder / "rec_01.wav");
  EXPECT_EQ(SegmentPath(folder / "rec.WAV", 2), folder / "rec_02.WAV");
  EXPECT_EQ(SegmentPath(folder / "rec.wav", 99), folder / "rec_99.wav");
  EXPECT_EQ(SegmentPath(folder / "rec.wav", 100), folder / "rec_100.wav");
  EXPECT_EQ(SegmentPath(folder / "take", 1), folder / "take_01.wav");
  EXPECT_EQ(SegmentPath(fs::path("a.b") / "take", 1), fs::path("a.b") / "take_01.wav");
  EXPECT_EQ(SegmentPath(folder / "x.y.wav", 3), folder / "x.y_03.wav");
}

TEST(WavSink, RollsIntoSelfConsistentSegmentsThatJoinWithoutGapOrRepeat) {
  ThresholdGuard guard(0x100000);
  test::ScratchDir dir;
  const AudioFormat format{48000, 2, 16};
  // 3 MiB of 16-bit stereo; a sample's value encodes its index so a missing
  // or repeated sample at a seam shows.
  const size_t samples = 3 * 1048576 / 2;
  std::vector<float> in(samples);
  for (size_t i = 0; i < samples; ++i) in[i] = float(int(i % 65536) - 32768) / 32768.0f;
  WavSink sink;
  std::string error;
  ASSERT_TRUE(sink.Open(dir / "rec.wav", format, 0, error)) << error;
  ASSERT_TRUE(WriteInChunks(sink, format, in, error)) << error;
  ASSERT_TRUE(sink.Close(error)) << error;

  const std::vector<fs::path> files = {dir / "rec.wav", dir / "rec_01.wav", dir / "rec_02.wav",
                                       dir / "rec_03.wav"};
  EXPECT_FALSE(fs::exists(dir / "rec_04.wav"));
  uint64_t dataTotal = 0;
  std::vector<float> joined;
  for (const fs::path& f : files) {
    SCOPED_TRACE(f.filename().string());
    const std::string bytes = test::ReadText(f);
    ASSERT_GT(bytes.size(), 44u);
    EXPECT_LE(bytes.size() - 44, 0x100000u);
    EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(Le32(bytes, 40), bytes.size() - 44);
    EXPECT_EQ(Le32(bytes, 40) % 4, 0u) << "segments split at whole frames";
    dataTotal += Le32(bytes, 40);
    AudioFormat read;
    std::vector<float> part;
    bool riff = false;
    ASSERT_TRUE(ReadWavFile(f, read, part, error, riff)) << error;
    joined.insert(joined.end(), part.begin(), part.end());
  }
  EXPECT_EQ(dataTotal, sink.BytesWritten());
  EXPECT_EQ(dataTotal, samples * 2);
  EXPECT_EQ(joined, in);
}

TEST(WavSink, HeaderLagsLessThanOneSecondAndPointerIsRestoredWhileOpen) {
  test::ScratchDir dir;
  const AudioFormat format{8000, 1, 24};
  const uint64_t perSecond = 3 * 8000;
  WavSink sink;
  std::string error;
  ASSERT_TRUE(sink.Open(dir / "open.wav", format, 0, error)) << error;
  // 4.3 s in uneven blocks, never closed.
  const std::vector<float> in = Ramp(34400, 1.0f / 977);
  for (size_t offset = 0; offset < in.size(); offset += 777)
    ASSERT_TRUE(sink.Write(in.data() + offset, std::min<size_t>(777, in.size() - offset), error));
  const std::string bytes = test::ReadText(dir / "open.wav");
  ASSERT_EQ(bytes.size(), 44 + sink.BytesWritten());
  const uint64_t onDisk = bytes.size() - 44;
  const uint32_t declared = Le32(bytes, 40);
  EXPECT_GT(declared, 0u);
  EXPECT_LT(onDisk - declared, perSecond);
  EXPECT_EQ(Le32(bytes, 4), declared + 36);

  // Every refill put the pointer back at the end of the data: the audio
  // right after the header and the last sample are where they belong.
  std::string edges = bytes.substr(44, 3) + bytes.substr(bytes.size() - 3);
  ASSERT_TRUE(sink.Close(error)) << error;
  AudioFormat read;
  std::vector<float> out;
  bool riff = false;
  ASSERT_TRUE(ReadWavFile(dir / "open.wav", read, out, error, riff)) << error;
  ASSERT_EQ(out.size(), in.size());
  for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(out[i], in[i], 1.0 / 8388608) << i;
  const std::string sealed = test::ReadText(dir / "open.wav");
  EXPECT_EQ(sealed.substr(44, 3) + sealed.substr(sealed.size() - 3), edges);
}

TEST(WavSink, DestructionKeepsTheHeaderOfTheLastRefill) {
  test::ScratchDir dir;
  {
    WavSink sink;
    std::string error;
    ASSERT_TRUE(sink.Open(dir / "d.wav", AudioFormat{8000, 1, 16}, 0, error));
    const std::vector<float> in(8000 + 100, 0.25f);  // one refill at 1 s, then 100 more samples
    ASSERT_TRUE(sink.Write(in.data(), 8000, error));
    ASSERT_TRUE(sink.Write(in.data(), 100, error));
  }
  const std::string bytes = test::ReadText(dir / "d.wav");
  EXPECT_EQ(bytes.size(), 44u + 2 * 8100);
  EXPECT_EQ(Le32(bytes, 40), 2u * 8000);
}

TEST(WavSink, CloseTwiceAndWritesAfterCloseOrFailedOpenDoNothing) {
  test::ScratchDir dir;
  const std::vector<float> in(100, 0.5f);
  WavSink sink;
  std::string error;
  ASSERT_TRUE(sink.Open(dir / "c.wav", AudioFormat{8000, 2, 16}, 0, error));
  ASSERT_TRUE(sink.Write(in.data(), in.size(), error));
  ASSERT_TRUE(sink.Close(error));
  const std::string sealed = test::ReadText(dir / "c.wav");
  EXPECT_TRUE(sink.Close(error));
  EXPECT_TRUE(sink.Write(in.data(), in.size(), error));
  EXPECT_EQ(test::ReadText(dir / "c.wav"), sealed);
  EXPECT_EQ(sink.BytesWritten(), 200u);
  EXPECT_EQ(sink.ActualBitrateKbps(), 0);

  WavSink failed;
  error.clear();
  EXPECT_FALSE(failed.Open(dir / "no-such-folder" / "x.wav", AudioFormat{}, 0, error));
  EXPECT_EQ(error, "无法创建输出文件（路径可能不存在或没有写权限）。");
  EXPECT_TRUE(failed.Write(in.data(), in.size(), error));
  EXPECT_TRUE(failed.Close(error));
  EXPECT_EQ(failed.BytesWritten(), 0u);
}

TEST(WavSink, RefusesFormatsItCannotStore) {
  test::ScratchDir dir;
  for (const AudioFormat& f : {AudioFormat{48000, 2, 8}, AudioFormat{48000, 2, 20}, AudioFormat{48000, 0, 16},
                               AudioFormat{0, 2, 16}}) {
    WavSink sink;
    std::string error;
    EXPECT_FALSE(sink.Open(dir / "f.wav", f, 0, error));
    EXPECT_EQ(error, "输出格式不受支持（采样率、声道数或位深不合法）。");
  }
  EXPECT_FALSE(fs::exists(dir / "f.wav"));
}

TEST(WavSink, ASecondSinkCannotReplaceAFileBeingRecorded) {
  test::ScratchDir dir;
  WavSink first;
  std::string error;
  ASSERT_TRUE(first.Open(dir / "busy.wav", AudioFormat{8000, 1, 16}, 0, error));
  const std::vector<float> in(16000, 0.5f);
  ASSERT_TRUE(first.Write(in.data(), in.size(), error));
  WavSink second;
  EXPECT_FALSE(second.Open(dir / "busy.wav", AudioFormat{8000, 1, 16}, 0, error));
  EXPECT_EQ(error, "无法创建输出文件（路径可能不存在或没有写权限）。");
  EXPECT_EQ(fs::file_size(dir / "busy.wav"), 44u + 32000);
  ASSERT_TRUE(first.Close(error));
}

TEST(WriteWavFile, ReportsFramesAndLeavesAValidShorterFileWhenCancelled) {
  test::ScratchDir dir;
  const std::vector<float> in = Ramp(2 * 22050 * 3);  // 3 s stereo at 22050 Hz: six half-second chunks
  std::vector<std::pair<uint64_t, uint64_t>> calls;
  std::string error = "stale";
  const bool ok = WriteWavFile(dir / "p.wav", AudioFormat{22050, 2, 16}, in, error, 16,
                               [&](uint64_t done, uint64_t total) {
                                 calls.emplace_back(done, total);
                                 return calls.size() < 3;
                               });
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, "");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], (std::pair<uint64_t, uint64_t>{11025, 66150}));
  EXPECT_EQ(calls[2], (std::pair<uint64_t, uint64_t>{33075, 66150}));
  const std::string bytes = test::ReadText(dir / "p.wav");
  EXPECT_EQ(bytes.size(), 44u + 33075 * 4);
  EXPECT_EQ(Le32(bytes, 40), bytes.size() - 44);

  calls.clear();
  ASSERT_TRUE(WriteWavFile(dir / "all.wav", AudioFormat{22050, 2, 16}, in, error, 32,
                           [&](uint64_t done, uint64_t total) {
                             calls.emplace_back(done, total);
                             return true;
                           }));
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls.back(), (std::pair<uint64_t, uint64_t>{66150, 66150}));
  EXPECT_EQ(fs::file_size(dir / "all.wav"), 44u + in.size() * 4);
}

// Long buffers are converted on a helper thread (in blocks of several
// chunks) while the caller writes: the files, segment splits included, must
// match the plain chunked writer byte for byte, over an odd length that ends
// mid-block, with the values where rounding and clamping are delicate mixed
// in; a cancel inside a block keeps exactly the chunks reported.
TEST(WriteWavFile, LongBuffersConvertedAheadMatchThePlainChunkedWriter) {
  std::vector<float> in = Ramp(2 * 70001, 0.00031f);  // 17.5 half-second chunks at 8000 Hz stereo
  const float tricky[] = {0x1.fffffep-17f, -0x1.fffffep-25f, 0x1.8p-16f, 1.0f, -1.0f, INFINITY, -INFINITY, NAN, 3.0f};
  for (size_t i = 0; i < std::size(tricky); ++i) in[i * 15013] = tricky[i];
  const AudioFormat format{8000, 2, 32};
  struct Case {
    int bits;
    uint64_t threshold;  // segment size; the default keeps one file
  };
  for (const Case c : {Case{16, kDefaultSegmentThreshold}, Case{24, kDefaultSegmentThreshold}, Case{16, 100000},
                       Case{24, 250000}}) {
    SCOPED_TRACE(c.bits);
    SCOPED_TRACE(c.threshold);
    ThresholdGuard guard(c.threshold);
    test::ScratchDir dir;
    std::string error;
    ASSERT_TRUE(WriteWavFile(dir / "ahead.wav", format, in, error, c.bits)) << error;
    AudioFormat stored = format;
    stored.bits = uint16_t(c.bits);
    WavSink plain;
    ASSERT_TRUE(plain.Open(dir / "plain.wav", stored, 0, error));
    ASSERT_TRUE(WriteInChunks(plain, stored, in, error));
    ASSERT_TRUE(plain.Close(error));
    size_t files = 0;
    for (uint32_t n = 1; n < 100; ++n) {
      const fs::path a = n == 1 ? dir / "ahead.wav" : SegmentPath(dir / "ahead.wav", n - 1);
      const fs::path p = n == 1 ? dir / "plain.wav" : SegmentPath(dir / "plain.wav", n - 1);
      if (!fs::exists(p)) break;
      ASSERT_TRUE(fs::exists(a)) << a;
      ASSERT_EQ(test::ReadText(a), test::ReadText(p)) << a;
      ++files;
    }
    EXPECT_EQ(files == 1, c.threshold == kDefaultSegmentThreshold) << files;
  }

  test::ScratchDir dir;
  std::string error;
  std::vector<uint64_t> done;
  EXPECT_FALSE(WriteWavFile(dir / "cut.wav", format, in, error, 24, [&](uint64_t frames, uint64_t total) {
    EXPECT_EQ(total, 70001u);
    done.push_back(frames);
    return done.size() < 11;
  }));
  ASSERT_EQ(done.size(), 11u);
  EXPECT_EQ(done.front(), 4000u);
  EXPECT_EQ(done.back(), 44000u);
  const std::string bytes = test::ReadText(dir / "cut.wav");
  EXPECT_EQ(bytes.size(), 44u + 44000 * 6);
  EXPECT_EQ(Le32(bytes, 40), bytes.size() - 44);
}

TEST(WriteWavFile, EmptyBufferGivesAHeaderOnlyFile) {
  test::ScratchDir dir;
  std::string error;
  ASSERT_TRUE(WriteWavFile(dir / "e.wav", AudioFormat{48000, 2, 16}, {}, error, 24));
  const auto expected = BuildWavHeader(AudioFormat{48000, 2, 24}, 0);
  EXPECT_EQ(test::ReadText(dir / "e.wav"), std::string(expected.begin(), expected.end()));
}

}  // namespace
}  // namespace vesk
