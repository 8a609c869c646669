// The Windows program with its own FFmpeg libraries, on the media the Linux
// tests decode (made by scripts/make-decode-media.sh before the Wine run and
// named by VESK_DECODE_MEDIA): the same samples as the ffmpeg program's float
// decode, track titles and languages, and the probe modes of VeskRecorder.exe
// without any outside ffmpeg program.
#include <gtest/gtest.h>

#include <cstdlib>

#include "media/audio_loader.h"
#include "media/audio_tracks.h"
#include "platform/text.h"
#include "support/decode_cases.h"
#include "support/test_support.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

class WindowsDecode : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* dir = std::getenv("VESK_DECODE_MEDIA");
    if (dir == nullptr || *dir == 0) VESK_MISSING_PART("VESK_DECODE_MEDIA is not set (scripts/run-tests.sh sets it)");
    media_ = PathFromUtf8(dir);
  }

  // Runs a copy of VeskRecorder.exe in a scratch folder and returns its report.
  std::string Probe(const std::vector<std::string>& args, const char* report, int expectedExit) {
    const fs::path program = test::CopyBuiltProgram("VeskRecorder", scratch_.path());
    const test::RunResult r = test::RunProgram(program, args);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, expectedExit) << r.output;
    return test::ReadText(scratch_ / report);
  }

  fs::path media_;
  test::ScratchDir scratch_;
};

TEST_F(WindowsDecode, EveryFormatMatchesTheFfmpegProgramSampleForSample) {
  const std::vector<test::DecodeCase> cases = test::ReadDecodeCases(media_);
  ASSERT_GE(cases.size(), 14u);
  for (const test::DecodeCase& c : cases) test::ExpectDecodesLikeReference(media_, c);
}

TEST_F(WindowsDecode, TracksKeepTheirTitlesAndLanguages) {
  std::vector<AudioTrack> tracks;
  std::string error;
  ASSERT_TRUE(ListAudioTracks(media_ / "three.mkv", tracks, error)) << error;
  ASSERT_EQ(tracks.size(), 3u);
  EXPECT_EQ(tracks[0], (AudioTrack{0, 0, 48000, 2, "Main", "chi"}));
  EXPECT_EQ(tracks[1], (AudioTrack{1, 1, 48000, 2, "Commentary", "eng"}));
  EXPECT_EQ(tracks[2], (AudioTrack{2, 2, 44100, 1, "", ""}));
}

TEST_F(WindowsDecode, ProbeModesReportWhatTheLinuxProgramReports) {
  const std::string audio =
      Probe({"--probe-audio", PathToUtf8(media_ / "tone.mp3")}, "probe-audio-report.txt", 0);
  EXPECT_EQ(audio.rfind("ok=1\nrate=44100\nchannels=2\n", 0), 0u) << audio;
  EXPECT_NE(audio.find("\nsrcBits=0\n"), std::string::npos) << audio;

  // Track 2 (ordinal 1) of three: 2 s of a 500 Hz tone, auditioned whole.
  const std::string preview =
      Probe({"--probe-preview", PathToUtf8(media_ / "three.mkv"), "1"}, "probe-preview-report.txt", 0);
  EXPECT_EQ(preview.rfind("ok=1\nallSilent=0\nrate=48000\nchannels=2\n", 0), 0u) << preview;

  // The in-memory header test accepts H.264 for MP4 without the ffmpeg program.
  const std::string video =
      Probe({"--probe-video", PathToUtf8(media_ / "h264.mp4")}, "probe-video-report.txt", 0);
  EXPECT_EQ(video.rfind("ok=1\nhasVideo=1\n", 0), 0u) << video;
  EXPECT_NE(video.find("\ncanMuxVideo=1\n"), std::string::npos) << video;
}

}  // namespace
}  // namespace vesk
