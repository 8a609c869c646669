// The built program's headless reports, byte for byte. The program is copied
// into a scratch folder, which then is its data folder.
#include <gtest/gtest.h>

#include "media/wav_format.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

class ProgramRun : public testing::Test {
 protected:
  void SetUp() override {
    program_ = test::CopyBuiltProgram("VeskRecorder", dir_.path());
  }
  test::RunResult Run(const std::vector<std::string>& args) { return test::RunProgram(program_, args); }
  std::string Report(const char* name) { return test::ReadText(dir_ / name); }

  test::ScratchDir dir_;
  fs::path program_;
};

void WriteStereo16(const fs::path& path, uint32_t rate, const std::vector<int16_t>& values) {
  const auto h = BuildWavHeader(AudioFormat{rate, 2, 16}, uint32_t(values.size() * 2));
  std::vector<uint8_t> bytes(h.begin(), h.end());
  for (int16_t v : values) test::Append16(bytes, uint16_t(v));
  test::WriteBytes(path, bytes);
}

TEST_F(ProgramRun, ProbeAudioReportsEveryKeyOfAWav) {
  std::vector<int16_t> values(2 * 22050, 0);
  values[7] = -16384;  // peak 0.5
  const fs::path wav = dir_ / "录音 测试.wav";  // a Chinese name with a space
  WriteStereo16(wav, 44100, values);
  const test::RunResult r = Run({"--probe-audio", PathToUtf8(wav)});
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(Report("probe-audio-report.txt"),
            "ok=1\nrate=44100\nchannels=2\nframes=22050\nsrcBits=16\npeak=0.500000\nduration=0.500\n");
}

TEST_F(ProgramRun, ProbeAudioOfUnreadableFileReportsZerosAndTheReason) {
  const test::RunResult r = Run({"--PROBE-AUDIO", PathToUtf8(dir_ / "missing.wav")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(Report("probe-audio-report.txt"),
            "ok=0\nrate=0\nchannels=0\nframes=0\nsrcBits=0\npeak=0.000000\nduration=0.000\n"
            "err=找不到这个文件。\n");

  // A RIFF/WAVE file the reader refuses is reported with the reader's message.
  std::vector<uint8_t> broken = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
  test::WriteBytes(dir_ / "broken.wav", broken);
  EXPECT_EQ(Run({"--probe-audio", PathToUtf8(dir_ / "broken.wav")}).exitCode, 1);
  EXPECT_EQ(Report("probe-audio-report.txt"),
            "ok=0\nrate=0\nchannels=0\nframes=0\nsrcBits=0\npeak=0.000000\nduration=0.000\n"
            "err=WAV 文件结构不完整（缺少 fmt 或 data 块）。\n");
}

TEST_F(ProgramRun, ReportReplacesAnOlderReport) {
  test::WriteBytes(dir_ / "probe-audio-report.txt", std::vector<uint8_t>(5000, 'x'));
  WriteStereo16(dir_ / "a.wav", 8000, {0, 0});
  ASSERT_EQ(Run({"--probe-audio", PathToUtf8(dir_ / "a.wav")}).exitCode, 0);
  EXPECT_EQ(Report("probe-audio-report.txt"),
            "ok=1\nrate=8000\nchannels=2\nframes=1\nsrcBits=16\npeak=0.000000\nduration=0.000\n");
}

}  // namespace
}  // namespace vesk
