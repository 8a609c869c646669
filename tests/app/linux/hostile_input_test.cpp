// The built program's headless modes against hostile input: a header that
// claims more samples than memory holds, FIFOs where files are expected, and
// names with line breaks that would forge report lines. The program is
// copied into a scratch folder, so its reports land next to it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "media/wav_format.h"
#include "media/wav_sink.h"
#include "platform/file.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

std::string Q(const fs::path& p) { return "'" + PathToUtf8(p) + "'"; }

class HostileInput : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = dir_ / test::ProgramFileName("VeskRecorder");
    fs::copy_file(test::BuiltProgramDir() / test::ProgramFileName("VeskRecorder"), program_);
  }
  // Through the shell, under a time limit: a mode that hangs is killed
  // (and then writes no report).
  int RunLimited(const std::string& args, const std::string& prefix = {}) {
    return test::Shell(prefix + "timeout 60 " + Q(program_) + " " + args + " >/dev/null 2>&1");
  }
  fs::path WriteTone(const std::string& name) {
    const auto h = BuildWavHeader(AudioFormat{8000, 1, 16}, 1600);
    std::vector<uint8_t> bytes(h.begin(), h.end());
    for (int i = 0; i < 800; ++i) test::Append16(bytes, uint16_t(int16_t(8000 * ((i / 10) % 2 ? 1 : -1))));
    test::WriteBytes(dir_ / name, bytes);
    return dir_ / name;
  }
  std::string Report(const char* name) { return test::ReadText(dir_ / name); }

  test::ScratchDir dir_;
  fs::path program_;
};

TEST_F(HostileInput, HeaderClaimingMoreThanMemoryReportsOutOfMemory) {
  // 7 GiB of nothing (sparse) under a "to the end of the file" data size:
  // 14 GiB of samples, more than the 4 GiB address space allowed here.
  const auto h = BuildWavHeader(AudioFormat{48000, 2, 16}, 0xFFFFFFFFu);
  test::WriteBytes(dir_ / "huge.wav", std::vector<uint8_t>(h.begin(), h.end()));
  fs::resize_file(dir_ / "huge.wav", 7ull << 30);
  EXPECT_EQ(RunLimited("--probe-audio " + Q(dir_ / "huge.wav"), "ulimit -v 4000000; "), 1);
  EXPECT_EQ(Report("probe-audio-report.txt"),
            "ok=0\nrate=0\nchannels=0\nframes=0\nsrcBits=0\npeak=0.000000\nduration=0.000\nerr=内存不足。\n");
}

TEST_F(HostileInput, FifoNamedLikeMediaIsRefusedWithoutWaiting) {
  const fs::path tone = WriteTone("tone.wav");
  struct Case {
    const char* fifo;
    std::string args;  // %s = the FIFO
    const char* report;
  };
  const Case cases[] = {
      {"x.wav", "--probe-audio %s", "probe-audio-report.txt"},
      {"x.mp4", "--probe-video %s", "probe-video-report.txt"},
      {"x.mkv", "--probe-preview %s", "probe-preview-report.txt"},
      {"in.wav", "--denoise %s", "denoise-report.txt"},
      {"v.mp4", "--export-video-edited %s " + Q(tone) + " --ffmpeg /usr/bin/ffmpeg", "export-video-report.txt"},
      {"a.wav", "--export-video-edited " + Q(dir_ / "v.mp4") + " %s", "export-video-report.txt"},
  };
  for (const Case& c : cases) {
    const fs::path fifo = dir_ / c.fifo;
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << c.fifo;
    std::string args = c.args;
    args.replace(args.find("%s"), 2, Q(fifo));
    EXPECT_EQ(RunLimited(args), 1) << args;
    const std::string report = Report(c.report);
    EXPECT_NE(report.find(std::string("\nerr=") + kSpecialFileText + "\n"), std::string::npos) << args << "\n" << report;
    fs::remove(dir_ / c.report);
  }
}

// Outputs that cannot be written as a file are refused at once, and a
// single-dash output name is refused rather than replaced by the default.
TEST_F(HostileInput, OutputsThatAreNoFilesAreRefusedWithoutWaiting) {
  const fs::path tone = WriteTone("tone.wav");
  ASSERT_EQ(test::Shell("ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=25:d=1 -c:v libx264 " +
                        Q(dir_ / "v.mp4")),
            0);
  ASSERT_EQ(mkfifo((dir_ / "fifo.mp4").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo((dir_ / "fifo.wav").c_str(), 0600), 0);
  fs::create_directory(dir_ / "folder.mp4");
  const std::string dashed = "输出文件名“-x”以“-”开头，会被当成选项，没有写出文件。请写成 ./-x 或换个名字。";
  struct Case {
    std::string output;
    std::string error;
  };
  for (const Case& c : {Case{Q(dir_ / "fifo.mp4"), kNotRegularOutputText}, Case{Q(dir_ / "folder.mp4"), kNotRegularOutputText},
                        Case{"-x", dashed}}) {
    EXPECT_EQ(RunLimited("--export-video-edited " + Q(dir_ / "v.mp4") + " " + Q(tone) + " " + c.output), 1);
    const std::string report = Report("export-video-report.txt");
    EXPECT_NE(report.find("\nerr=" + c.error + "\n"), std::string::npos) << c.output << "\n" << report;
  }
  EXPECT_FALSE(fs::exists(dir_ / "v_导出.mp4"));
  // What the denoise mode writes its result with.
  std::string error;
  EXPECT_FALSE(WriteWavFile(dir_ / "fifo.wav", AudioFormat{8000, 1, 16}, std::vector<float>(800, 0.5f), error, 24));
  EXPECT_EQ(error, kNotRegularOutputText);
}

// A value holding CR or LF (an output name, ffmpeg's multi-line message)
// must not start report lines of its own.
TEST_F(HostileInput, ReportValuesStayOnTheirLine) {
  if (!test::HaveTool("ffmpeg")) VESK_MISSING_PART("ffmpeg missing");
  const fs::path tone = WriteTone("tone.wav");
  const fs::path out = dir_ / PathFromUtf8("out\nok=1\r\nerr=\r.mp4");
  const test::RunResult r = test::RunProgram(
      program_, {"--export-video-edited", PathToUtf8(dir_ / "missing.mp4"), PathToUtf8(tone), PathToUtf8(out),
                 "--ffmpeg", "/usr/bin/ffmpeg"});
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const std::string report = Report("export-video-report.txt");
  std::vector<std::string> keys;
  std::istringstream in(report);
  for (std::string line; std::getline(in, line);) keys.push_back(line.substr(0, line.find('=')));
  EXPECT_EQ(keys, (std::vector<std::string>{"ok", "dur", "codec", "rate", "engine", "editedord", "keep", "ffmpeg",
                                            "out", "err"}))
      << report;
  EXPECT_NE(report.find("\nout=" + PathToUtf8(dir_.path()) + "/out\\nok=1\\nerr=\\n.mp4\n"), std::string::npos) << report;
  EXPECT_NE(report.find("\nerr=ffmpeg 导出失败。\\n"), std::string::npos) << report;
}

}  // namespace
}  // namespace vesk
