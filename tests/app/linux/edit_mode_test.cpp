// The headless "--edit" mode end to end: the ffmpeg program makes a stereo
// WAV and a private copy of the real program edits it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "media/wav_reader.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace vesk {
namespace {
using namespace vesk::test;
namespace fs = std::filesystem;

struct EditRun {
  int exitCode = -1;
  std::string report;
};

// `program` is a private copy, so the report in its data folder is this test's.
EditRun RunEdit(const fs::path& program, const std::vector<std::string>& args) {
  const fs::path appDir = program.parent_path();
  fs::remove(appDir / "edit-report.txt");
  std::vector<std::string> all{"--edit"};
  all.insert(all.end(), args.begin(), args.end());
  const RunResult run = RunProgram(program, all);
  return {run.started ? run.exitCode : -1, ReadText(appDir / "edit-report.txt")};
}

std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(PathToUtf8(entry.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

// 3 s at 48 kHz, a different tone on each channel, 16 bits.
fs::path MakeTone(const fs::path& dir) {
  const fs::path in = dir / "take.wav";
  EXPECT_EQ(Shell("ffmpeg -loglevel error -y -f lavfi -i 'aevalsrc=0.6*sin(440*2*PI*t)|0.4*sin(710*2*PI*t):s=48000:d=3' "
                  "-c:a pcm_s16le '" + PathToUtf8(in) + "'"),
            0);
  return in;
}

TEST(EditMode, ThreeDeletesAndASilenceKeepTheRestSampleForSample) {
  if (!HaveTool("ffmpeg")) VESK_MISSING_PART("ffmpeg missing");
  ScratchDir dir;
  const fs::path in = MakeTone(dir.path());
  const fs::path out = dir / "cut.wav";
  const EditRun run = RunEdit(CopyBuiltProgram("VeskRecorder", dir.path()), {PathToUtf8(in), PathToUtf8(out), "--delete", "2.5-2.75", "--delete",
                                           "1-1.5", "--silence", "0.2-0.4", "--delete", "0-0.1"});
  ASSERT_EQ(run.exitCode, 0) << run.report;
  EXPECT_EQ(run.report, "ok=1\nframes=103200\nseconds=2.150\n");

  AudioFormat inFormat, outFormat;
  std::vector<float> source, edited;
  std::string error;
  bool riff = false;
  int bits = 0;
  ASSERT_TRUE(ReadWavFile(in, inFormat, source, error, riff)) << error;
  ASSERT_TRUE(ReadWavFile(out, outFormat, edited, error, riff, &bits)) << error;
  EXPECT_EQ(bits, 16) << "the source's depth";
  EXPECT_EQ(outFormat.sampleRate, 48000u);
  ASSERT_EQ(outFormat.channels, 2u);

  // The same steps on a list of source frames, and where each one cut or
  // silenced (in the final clip's frames).
  std::vector<uint64_t> kept(source.size() / 2);
  for (uint64_t f = 0; f < kept.size(); ++f) kept[f] = f;
  std::vector<int64_t> edges;  // cut points and silence bounds
  auto remove = [&](uint64_t a, uint64_t b) {
    kept.erase(kept.begin() + std::ptrdiff_t(a), kept.begin() + std::ptrdiff_t(b));
    for (int64_t& e : edges) e -= e >= int64_t(b) ? int64_t(b - a) : 0;
    edges.push_back(int64_t(a));
  };
  remove(120000, 132000);
  remove(48000, 72000);
  edges.push_back(9600);
  edges.push_back(19200);
  remove(0, 4800);
  const int64_t silenceStart = 9600 - 4800, silenceEnd = 19200 - 4800;
  ASSERT_EQ(edited.size(), kept.size() * 2);

  const int64_t ramp = 240;  // 5 ms
  size_t same = 0, ramped = 0;
  for (int64_t f = 0; f < int64_t(kept.size()); ++f) {
    const bool silent = f >= silenceStart && f < silenceEnd;
    bool nearEdge = false;
    for (const int64_t e : edges) nearEdge = nearEdge || (e > 0 && f >= e - ramp && f < e + ramp);
    for (size_t c = 0; c < 2; ++c) {
      const float got = edited[size_t(f) * 2 + c], was = source[kept[size_t(f)] * 2 + c];
      if (silent) {
        ASSERT_EQ(got, 0.0f) << "frame " << f;
      } else if (!nearEdge) {
        ASSERT_EQ(got, was) << "frame " << f << " channel " << c;
        ++same;
      } else {
        ASSERT_LE(std::abs(got), std::abs(was) + 1.0f / 32768) << "frame " << f;
        ++ramped;
      }
    }
  }
  // Both sides of the two inner cuts and the outer side of each silence bound, on two channels.
  EXPECT_EQ(ramped, size_t((2 * 2 * ramp + 2 * ramp) * 2));
  EXPECT_EQ(same, size_t(103200 - 9600 - 6 * ramp) * 2) << "every other frame, untouched";
  // The frame at each inner cut is silent, as the window's ramp leaves it.
  for (const int64_t e : {edges[0], edges[1]})
    EXPECT_EQ(std::make_pair(edited[size_t(e) * 2], edited[size_t(e) * 2 + 1]), std::make_pair(0.0f, 0.0f));
}

TEST(EditMode, AnMp3NameSavesMp3AtTheDefaultBitRate) {
  if (!HaveTool("ffmpeg") || !HaveTool("ffprobe")) VESK_MISSING_PART("ffmpeg or ffprobe missing");
  ScratchDir dir;
  const fs::path in = MakeTone(dir.path()), out = dir / "clip.MP3";
  const EditRun run =
      RunEdit(CopyBuiltProgram("VeskRecorder", dir.path()), {PathToUtf8(in), PathToUtf8(out), "--trim", "0.5-1"});
  ASSERT_EQ(run.exitCode, 0) << run.report;
  EXPECT_NE(run.report.find("frames=24000\n"), std::string::npos) << run.report;
  ASSERT_EQ(Shell("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,bit_rate -of csv=p=0 '" +
                  PathToUtf8(out) + "' > '" + PathToUtf8(dir / "probe.txt") + "'"),
            0);
  EXPECT_EQ(ReadText(dir / "probe.txt"), "mp3,320000\n");
}

// Every refusal exits 1 with ok=0 and a reason, and writes nothing.
TEST(EditMode, RefusesBadCommandLinesWithoutWritingAFile) {
  if (!HaveTool("ffmpeg")) VESK_MISSING_PART("ffmpeg missing");
  ScratchDir dir;
  const std::string in = PathToUtf8(MakeTone(dir.path()));
  const std::string out = PathToUtf8(dir / "out.wav");
  fs::create_directories(dir / "folder.wav");
  const std::string before = ReadText(in);
  const fs::path program = CopyBuiltProgram("VeskRecorder", dir.path());
  struct Case {
    const char* why;
    std::vector<std::string> args;
    const char* errPart;  // a piece of the reason
  } cases[] = {
      {"missing input", {PathToUtf8(dir / "none.wav"), out}, "找不到输入文件"},
      {"no output", {in, "--delete", "1-2"}, "没有给出输出文件"},
      {"reversed range", {in, out, "--delete", "5-3"}, "“5-3”写得不对"},
      {"not a range", {in, out, "--silence", "abc"}, "“abc”写得不对"},
      {"negative time", {in, out, "--trim", "-1-2"}, "“-1-2”写得不对"},
      {"no value", {in, out, "--delete"}, "写得不对"},
      {"past the end", {in, out, "--delete", "2-4"}, "超出了音频的长度（3.000 秒）"},
      {"past the end after a cut", {in, out, "--delete", "0-2", "--delete", "0.5-1.5"}, "（1.000 秒）"},
      {"dashed output", {in, "-out.wav", "--delete", "1-2"}, "以“-”开头"},
      {"output is the input", {in, in, "--delete", "1-2"}, "输出文件不能就是输入文件"},
      {"unknown format", {in, PathToUtf8(dir / "out.flac")}, ".wav 或 .mp3"},
      {"output is a folder", {in, PathToUtf8(dir / "folder.wav")}, "不是普通文件"},
  };
  RunEdit(program, {});  // leaves the report, the only file a refusal writes
  const std::vector<std::string> files = Listing(dir.path());
  for (const Case& c : cases) {
    const EditRun run = RunEdit(program, c.args);
    EXPECT_EQ(run.exitCode, 1) << c.why;
    EXPECT_EQ(run.report.rfind("ok=0\nframes=0\nseconds=0.000\nerr=", 0), 0u) << c.why << "\n" << run.report;
    EXPECT_NE(run.report.find(c.errPart), std::string::npos) << c.why << "\n" << run.report;
    EXPECT_EQ(Listing(dir.path()), files) << c.why;
    EXPECT_FALSE(fs::exists(fs::current_path() / "-out.wav"));
  }
  EXPECT_TRUE(ReadText(in) == before) << "the input is untouched";
  EXPECT_TRUE(fs::is_empty(dir / "folder.wav"));
}

}  // namespace
}  // namespace vesk
