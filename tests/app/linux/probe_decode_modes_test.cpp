// The built program's --probe-audio and --probe-preview modes on media made
// by the ffmpeg program: the program is copied into a scratch folder, so the
// report lands next to it.
#include <gtest/gtest.h>

#include "platform/text.h"
#include "support/test_support.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

class ProbeModes : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveTool("ffmpeg")) VESK_MISSING_PART("the ffmpeg program is not installed");
    program_ = test::CopyBuiltProgram("VeskRecorder", dir_.path());
  }

  fs::path Make(const std::string& name, const std::string& args) {
    const fs::path path = dir_ / name;
    EXPECT_EQ(test::Shell("ffmpeg -nostdin -v error -y " + args + " '" + PathToUtf8(path) + "'"), 0);
    return path;
  }

  // Runs the program and returns the report, checking the exit code.
  std::string Run(const std::vector<std::string>& args, const char* report, int expectedExit) {
    const test::RunResult r = test::RunProgram(program_, args);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, expectedExit) << r.output;
    return test::ReadText(dir_ / report);
  }

  test::ScratchDir dir_;
  fs::path program_;
};

TEST_F(ProbeModes, ProbeAudioDecodesAnMp3) {
  const fs::path mp3 = Make("tone.mp3", "-f lavfi -i sine=f=440:d=3:r=44100 -ac 2 -c:a libmp3lame");
  const std::string report = Run({"--probe-audio", PathToUtf8(mp3)}, "probe-audio-report.txt", 0);
  // The upmix to stereo lowers the 1/8 tone by 3 dB.
  EXPECT_EQ(report.substr(0, report.find("peak=0.08")),
            "ok=1\nrate=44100\nchannels=2\nframes=132300\nsrcBits=0\n");
  EXPECT_TRUE(report.ends_with("\nduration=3.000\n")) << report;
}

TEST_F(ProbeModes, ProbeAudioReportsEachFailure) {
  const fs::path adpcm = Make("adpcm.wav", "-f lavfi -i sine=d=1 -c:a adpcm_ms");
  const std::string zeros = "ok=0\nrate=0\nchannels=0\nframes=0\nsrcBits=0\npeak=0.000000\nduration=0.000\n";
  struct Case {
    std::string path;
    std::string err;
  } cases[] = {
      {PathToUtf8(dir_.path()), "这是一个文件夹，不是音频文件。"},
      {PathToUtf8(dir_ / "缺少.mp3"), "找不到这个文件。"},
      {PathToUtf8(adpcm), "这个 WAV 用的是压缩编码，暂不支持。"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Run({"--probe-audio", c.path}, "probe-audio-report.txt", 1), zeros + "err=" + c.err + "\n");
}

TEST_F(ProbeModes, ProbePreviewAuditionsTheChosenTrack) {
  // Track 1 is silent for 20 s then sounds; track 2 stays silent.
  const fs::path mkv = Make("two.mkv",
                            "-f lavfi -i anullsrc=r=48000:cl=mono:d=20 -f lavfi -i sine=f=440:d=15:r=48000 "
                            "-f lavfi -i anullsrc=r=22050:cl=stereo:d=65 "
                            "-filter_complex '[0:a][1:a]concat=n=2:v=0:a=1[late]' -map '[late]' -map 2:a -c:a flac");
  EXPECT_EQ(Run({"--probe-preview", PathToUtf8(mkv)}, "probe-preview-report.txt", 0),
            "ok=1\nallSilent=0\nrate=48000\nchannels=1\nframes=480000\npeak=0.125000\nduration=10.000\n");
  EXPECT_EQ(Run({"--probe-preview", PathToUtf8(mkv), "1"}, "probe-preview-report.txt", 0),
            "ok=1\nallSilent=1\nrate=22050\nchannels=2\nframes=0\npeak=0.000000\nduration=0.000\n");
  EXPECT_EQ(Run({"--probe-preview", PathToUtf8(mkv), "2"}, "probe-preview-report.txt", 1),
            "ok=0\nallSilent=0\nrate=0\nchannels=0\nframes=0\npeak=0.000000\nduration=0.000\n"
            "err=这个文件里没有这条音轨。\n");
}

}  // namespace
}  // namespace vesk
