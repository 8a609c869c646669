// Crash safety with a real process: the header written by a killed recorder
// lags by less than a second, the reader gets every sample on disk, and
// recovery seals the file but leaves it alone while the recorder lives.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "media/wav_format.h"
#include "media/wav_reader.h"
#include "media/wav_recovery.h"
#include "media/wav_sink.h"
#include "platform/process.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "media/wav_crash_child.h"

namespace vesk::test {

namespace fs = std::filesystem;

namespace {

const char kChildVariable[] = "VESK_TEST_CRASH_WAV";

}  // namespace

float CrashSample(uint64_t index) { return float(int64_t((index * 7919) % 65536) - 32768) / 32768.0f; }

bool RecordInChildAndKill(const fs::path& path, std::string& failure,
                          const std::function<void()>& whileRecording) {
  const fs::path log = path.parent_path().parent_path() / (path.filename().string() + ".child.txt");
  ChildProcess child;
  bool started = false;
  {
    const EnvOverride variable(kChildVariable, PathToUtf8(path));
    started = child.Start(BuiltProgramDir() / ProgramFileName("vesk_tests"),
                          {"--gtest_filter=WavCrashChild.RecordsUntilKilled"}, log);
  }
  if (!started) {
    failure = "could not start the child";
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  for (;;) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    if (!ec && size == kWavHeaderBytes + kCrashDataBytes) break;
    if (child.Wait(0) || std::chrono::steady_clock::now() > deadline) {
      child.Kill();
      failure = "child ended or stalled before writing everything: " + ReadText(log);
      fs::remove(log, ec);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (whileRecording) whileRecording();
  const bool stillRunning = !child.Wait(0);
  child.Kill();
  std::error_code ec;
  fs::remove(log, ec);
  if (!stillRunning) {
    failure = "child ended by itself instead of being killed";
    return false;
  }
  return true;
}

// The child side; exists only when started by RecordInChildAndKill.
const bool kCrashChildRegistered = RegisterChildTest("WavCrashChild", "RecordsUntilKilled", kChildVariable, [] {
  WavSink sink;
  std::string error;
  ASSERT_TRUE(sink.Open(PathFromUtf8(std::getenv(kChildVariable)), kCrashFormat, 0, error)) << error;
  std::vector<float> block(kCrashBlockFrames * kCrashFormat.channels);
  uint64_t index = 0;
  for (uint64_t b = 0; b < kCrashBlocks; ++b) {
    for (float& s : block) s = CrashSample(index++);
    ASSERT_TRUE(sink.Write(block.data(), block.size(), error)) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // Keep the file open, as a recorder between two batches, until killed.
  std::this_thread::sleep_for(std::chrono::seconds(60));
});

TEST(WavCrash, KilledRecorderLeavesLessThanASecondUnsealedAndRecoveryCompletesIt) {
  ScratchDir dir;
  const fs::path path = dir / "killed.wav";
  const uint64_t perSecond = uint64_t(kCrashFormat.sampleRate) * kCrashFormat.channels * 2;
  std::string busyHeader;
  int32_t repairedWhileBusy = -1;
  std::string failure;
  ASSERT_TRUE(RecordInChildAndKill(path, failure, [&] {
    AgeFile(path);  // only the recorder's claim keeps it out
    repairedWhileBusy = RepairUnsealedWavs(dir.path());
    busyHeader = ReadText(path).substr(0, 44);
  })) << failure;
  EXPECT_EQ(repairedWhileBusy, 0) << "a file being recorded must be skipped";

  const std::string bytes = ReadText(path);
  ASSERT_EQ(bytes.size(), kWavHeaderBytes + kCrashDataBytes);
  EXPECT_EQ(bytes.substr(0, 44), busyHeader);
  const uint32_t declared = Le32(bytes, 40);
  EXPECT_EQ(declared, kCrashSealedBytes);
  EXPECT_LT(kCrashDataBytes - declared, perSecond);

  // The reader honours a declared size smaller than the file, so before
  // recovery it stops at the last refill...
  const auto readAll = [&](uint64_t expectedSamples) {
    AudioFormat format;
    std::vector<float> samples;
    std::string error;
    bool riff = false;
    ASSERT_TRUE(ReadWavFile(path, format, samples, error, riff)) << error;
    ASSERT_EQ(samples.size(), expectedSamples);
    for (uint64_t i = 0; i < samples.size(); ++i)
      if (samples[i] != CrashSample(i)) FAIL() << "sample " << i << " differs";
  };
  readAll(kCrashSealedBytes / 2);

  std::vector<std::string> names;
  AgeFile(path);  // the next start comes later
  EXPECT_EQ(RepairUnsealedWavs(dir.path(), &names), 1);
  EXPECT_EQ(names, std::vector<std::string>{"killed.wav"});
  const std::string repaired = ReadText(path);
  EXPECT_EQ(Le32(repaired, 4), repaired.size() - 8);
  EXPECT_EQ(Le32(repaired, 40), repaired.size() - 44);
  EXPECT_EQ(repaired.substr(44), bytes.substr(44));
  // ...and afterwards it gets every sample the killed process wrote.
  readAll(kCrashDataBytes / 2);
  EXPECT_EQ(RepairUnsealedWavs(dir.path()), 0) << "a sealed file is left alone";
}

}  // namespace vesk::test
