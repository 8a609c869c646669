// A 13-hour take on the virtual clock: frame counters pass 2^31 at 48 kHz,
// the WAV sink rolls to a second segment, the process "crashes" without
// sealing, and the recovery of the next start repairs the last segment. The
// take (4.5 GB of mono 16-bit data) lives in a temporary folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "media/wav_recovery.h"
#include "media/wav_sink.h"
#include "record/mixer_rig.h"
#include "record/mixer_switches.h"
#include "support/test_support.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kRate = 48000;
constexpr int64_t kTakeFrames = 13 * 3600 * kRate;

// Exact in 16 bits, and no two neighbouring frames alike.
float Pattern(int64_t frame) { return float(frame % 30011 - 15005) / 32768.0f; }

uint32_t U32At(std::ifstream& in, uint64_t offset) {
  in.seekg(std::streamoff(offset));
  uint32_t v = 0;
  in.read(reinterpret_cast<char*>(&v), 4);
  return v;
}

TEST(LongTake, ThirteenHoursRollSegmentsAndRecoverToTheLastSample) {
  test::ScratchDir dir;
  test::MixRig rig;
  rig.keepAudio = false;
  // The device hands over 100 ms at a time: the same timeline in fewer steps.
  rig.micScript.packetTicks = 100 * test::kMs;
  rig.micScript.signal = [](int64_t frame, int) { return Pattern(frame); };
  ::setenv(kLogIntervalVariable, "1000000", 1);
  ASSERT_TRUE(rig.Start(true, false, 1));
  ::unsetenv(kLogIntervalVariable);
  ASSERT_EQ(rig.mixer.Format().sampleRate, uint32_t(kRate));

  const fs::path path = dir / "take.wav";
  std::string error;
  {
    WavSink sink;
    sink.SetFlushAtRefresh(false);  // durability is not what is measured here
    ASSERT_TRUE(sink.Open(path, rig.mixer.Format(), 0, error)) << error;
    auto pullAll = [&] {
      size_t n;
      while ((n = rig.mixer.Pull(rig.out.data(), 8192)) > 0) ASSERT_TRUE(sink.Write(rig.out.data(), n, error)) << error;
    };
    while (rig.mixer.Produced() < kTakeFrames) {
      rig.clock.AdvanceMs(100);
      rig.Deliver();
      pullAll();
    }
    rig.mixer.Stop();
    pullAll();
    // Destroyed unsealed, as if the program died: the header lags the data.
  }
  const int64_t produced = rig.mixer.Produced();
  const int64_t sent = rig.micScript.sent;
  EXPECT_GT(produced, int64_t(1) << 31);
  EXPECT_NEAR(double(produced), double(kTakeFrames), 0.2 * kRate);
  EXPECT_LE(sent, produced);

  const fs::path second = SegmentPath(path, 1);
  ASSERT_TRUE(fs::exists(second));
  EXPECT_FALSE(fs::exists(SegmentPath(path, 2)));

  test::AgeFile(path);
  test::AgeFile(second);
  std::vector<std::string> repaired;
  EXPECT_EQ(RepairUnsealedWavs(dir.path(), &repaired), 1);
  EXPECT_EQ(repaired, std::vector<std::string>{second.filename().string()});

  std::ifstream first(path, std::ios::binary), last(second, std::ios::binary);
  const uint64_t firstData = U32At(first, 40), lastData = U32At(last, 40);
  // A write that would cross the limit starts the next file.
  EXPECT_LE(firstData, kDefaultSegmentThreshold);
  EXPECT_GT(firstData, kDefaultSegmentThreshold - 16384);
  EXPECT_EQ(firstData + 44, fs::file_size(path));
  EXPECT_EQ(lastData + 44, fs::file_size(second));
  EXPECT_EQ(U32At(last, 4) + 8, fs::file_size(second));
  EXPECT_EQ(int64_t(firstData + lastData) / 2, produced);

  // The last second of the take is the device's last second, in order.
  std::vector<int16_t> tail(static_cast<size_t>(kRate));
  last.seekg(std::streamoff(44 + lastData - tail.size() * 2));
  last.read(reinterpret_cast<char*>(tail.data()), std::streamsize(tail.size() * 2));
  ASSERT_TRUE(last.good());
  for (size_t i = 0; i < tail.size(); ++i) {
    const int64_t frame = sent - int64_t(tail.size()) + int64_t(i);
    ASSERT_EQ(tail[i], int16_t(Pattern(frame) * 32768.0f)) << "frame " << frame;
  }
}

}  // namespace
}  // namespace vesk
