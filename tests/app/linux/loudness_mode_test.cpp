// The headless "--loudness" mode end to end: the real program measures and
// normalises the voice set and files the ffmpeg program makes from it, and
// the ffmpeg program's own EBU R128 meter checks what it wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "platform/text.h"
#include "support/test_support.h"
#include "support/voice_clips.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;
using test::VoiceFile;

std::string Quoted(const fs::path& p) { return "'" + PathToUtf8(p) + "'"; }

struct Report {
  std::vector<std::string> keys;  // in the file's order
  std::map<std::string, std::string> values;
  double Number(const std::string& key) const {
    const auto it = values.find(key);
    return it == values.end() ? NAN : std::atof(it->second.c_str());
  }
  std::string Text(const std::string& key) const {
    const auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
  }
};

Report ParseReport(const std::string& text) {
  Report r;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const size_t eq = line.find('=');
    r.keys.push_back(line.substr(0, eq));
    r.values[line.substr(0, eq)] = eq == std::string::npos ? "" : line.substr(eq + 1);
  }
  return r;
}

// The ffmpeg program's EBU R128 summary (one decimal): integrated loudness
// and true peak.
struct Meter {
  double lufs = NAN;
  double truePeak = NAN;
};

Meter FfmpegMeter(const fs::path& file, const fs::path& log, bool dualMono) {
  Meter m;
  if (test::Shell("ffmpeg -hide_banner -nostats -i " + Quoted(file) + " -af ebur128=peak=true:dualmono=" +
                  (dualMono ? "true" : "false") + " -f null - 2> " + Quoted(log)) != 0)
    return m;
  std::istringstream in(test::ReadText(log));
  bool summary = false;
  for (std::string line; std::getline(in, line);) {
    summary = summary || line.find("Summary:") != std::string::npos;
    const size_t start = line.find_first_not_of(' ');
    if (!summary || start == std::string::npos) continue;
    if (line.compare(start, 2, "I:") == 0) m.lufs = std::atof(line.c_str() + start + 2);
    if (line.compare(start, 5, "Peak:") == 0) m.truePeak = std::atof(line.c_str() + start + 5);
  }
  return m;
}

// "codec,channels" of the first stream, as ffprobe names it.
std::string ProbeStream(const fs::path& file, const fs::path& log) {
  test::Shell("ffprobe -v error -show_entries stream=codec_name,channels -of csv=p=0 " + Quoted(file) + " > " +
              Quoted(log));
  std::string s = test::ReadText(log);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

class LoudnessMode : public testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveTool("ffmpeg") || !test::HaveTool("ffprobe")) VESK_MISSING_PART("ffmpeg missing");
    if (!fs::exists(VoiceFile("clean.flac"))) VESK_MISSING_PART("voice test set missing");
    program_ = test::CopyBuiltProgram("VeskRecorder", app_.path());
  }
  // Runs the program and returns its report; `code` gets the exit code.
  Report Run(const std::vector<std::string>& args, int& code) {
    fs::remove(app_ / "loudness-report.txt");
    const test::RunResult r = test::RunProgram(program_, args);
    code = r.started ? r.exitCode : -1;
    return ParseReport(test::ReadText(app_ / "loudness-report.txt"));
  }
  // Makes a file from the clean voice with ffmpeg options.
  fs::path Make(const std::string& name, const std::string& options) {
    const fs::path out = dir_ / name;
    EXPECT_EQ(test::Shell("ffmpeg -v error -y -i " + Quoted(VoiceFile("clean.flac")) + " " + options + " " +
                          Quoted(out)),
              0)
        << name;
    return out;
  }

  test::ScratchDir app_;  // the program's folder, and so its data folder
  test::ScratchDir dir_;
  fs::path program_;
};

TEST_F(LoudnessMode, NormalisesToTheTargetUnderTheCeilingInTheInputsFormatFamily) {
  const fs::path clean = VoiceFile("clean.flac");
  struct Case {
    fs::path input;
    std::vector<std::string> levels;  // target and ceiling as typed
    double target, ceiling;
    const char* stream;  // what ffprobe says of the output
    bool limited;
  } cases[] = {
      {clean, {"-16"}, -16, -1, "pcm_s24le,1", false},
      {clean, {"-23", "-1"}, -23, -1, "pcm_s24le,1", false},
      // 4 dB more than the peaks allow: the limiter acts.
      {clean, {"-12", "-1"}, -12, -1, "pcm_s24le,1", true},
      // The same speech on both channels measures as the mono file does;
      // its peaks would pass the ceiling less the limiter's margin.
      {Make("stereo16.wav", "-ac 2 -c:a pcm_s16le"), {"-16", "-1.5"}, -16, -1.5, "pcm_s16le,2", true},
      {Make("mono24.wav", "-c:a pcm_s24le"), {"-20"}, -20, -1, "pcm_s24le,1", false},
      {Make("float.wav", "-ac 2 -c:a pcm_f32le"), {"-23", "-2"}, -23, -2, "pcm_f32le,2", false},
      {Make("voice.m4a", "-c:a aac -b:a 128k"), {"-14"}, -14, -1, "pcm_s24le,1", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(PathToUtf8(c.input.filename()) + " " + c.levels.front());
    const fs::path out = dir_ / "normalised.wav";
    std::vector<std::string> args = {"--loudness", PathToUtf8(c.input), PathToUtf8(out)};
    args.insert(args.end(), c.levels.begin(), c.levels.end());
    int code = -1;
    const Report r = Run(args, code);
    EXPECT_EQ(code, 0);
    ASSERT_EQ(r.keys, (std::vector<std::string>{"ok", "lufs", "lra", "truepeak", "gain", "limited", "out_lufs",
                                                 "out_truepeak"}))
        << r.Text("err");
    EXPECT_EQ(r.Text("ok"), "1");
    EXPECT_EQ(r.Text("limited"), c.limited ? "1" : "0");
    // A static gain alone lands on the target; with the limiter it may be
    // raised by what the limiter takes away.
    if (c.limited)
      EXPECT_GE(r.Number("lufs") + r.Number("gain"), c.target - 0.02);
    else
      EXPECT_NEAR(r.Number("lufs") + r.Number("gain"), c.target, 0.02);
    EXPECT_NEAR(r.Number("out_lufs"), c.target, 0.3);
    EXPECT_LE(r.Number("out_truepeak"), c.ceiling);
    EXPECT_EQ(ProbeStream(out, dir_ / "probe.txt"), c.stream);

    // The program's own reading of what it wrote, and the ffmpeg program's.
    const Report again = Run({"--loudness", PathToUtf8(out)}, code);
    EXPECT_NEAR(again.Number("lufs"), r.Number("out_lufs"), 0.02);
    EXPECT_NEAR(again.Number("truepeak"), r.Number("out_truepeak"), 0.05);
    const bool mono = std::string(c.stream).ends_with(",1");
    const Meter m = FfmpegMeter(out, dir_ / "meter.txt", mono);
    EXPECT_NEAR(m.lufs, c.target, 0.3);
    EXPECT_LE(m.truePeak, c.ceiling);
    fs::remove(out);
  }
}

TEST_F(LoudnessMode, AloneTheReadingAgreesWithFfmpegsMeter) {
  struct Case {
    fs::path input;
    bool dualMono;  // a mono file counts on two speakers
  } cases[] = {
      {VoiceFile("clean.flac"), true},
      {VoiceFile("hum_15db.flac"), true},
      {Make("stereo.wav", "-af 'pan=stereo|c0=c0|c1=0.5*c0' -c:a pcm_s16le"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(PathToUtf8(c.input.filename()));
    int code = -1;
    const Report r = Run({"--loudness", PathToUtf8(c.input)}, code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(r.keys, (std::vector<std::string>{"ok", "lufs", "lra", "truepeak"})) << r.Text("err");
    const Meter m = FfmpegMeter(c.input, dir_ / "meter.txt", c.dualMono);
    EXPECT_NEAR(r.Number("lufs"), m.lufs, 0.1);
    EXPECT_NEAR(r.Number("truepeak"), m.truePeak, 0.15);
    EXPECT_GT(r.Number("lra"), 0.5);
  }
}

// Every refusal leaves the file already at the output as it was, and no
// staging folder behind.
TEST_F(LoudnessMode, RefusesBadLevelsSilenceAndMissingInputsWithoutWritingAFile) {
  const std::string clean = PathToUtf8(VoiceFile("clean.flac"));
  const std::string silence = PathToUtf8(Make("silence.wav", "-af volume=0 -c:a pcm_s16le"));
  const std::string blip = PathToUtf8(Make("blip.wav", "-t 0.2 -c:a pcm_s16le"));
  const std::string kept = PathToUtf8(dir_ / "kept.wav");
  test::WriteText(dir_ / "kept.wav", "what was there");
  struct Case {
    std::vector<std::string> args;
    const char* err;  // part of the message
    bool measured;    // the reading of the input is reported
  } cases[] = {
      {{clean, kept, "abc"}, "目标响度“abc”", false},
      {{clean, kept, "-3"}, "目标响度“-3”", false},
      {{clean, kept, "-80", "-1"}, "目标响度“-80”", false},
      {{clean, kept, "-16dB"}, "目标响度“-16dB”", false},
      {{clean, kept, "-16", "0.5"}, "峰值上限“0.5”", false},
      {{clean, kept, "-16", "-25"}, "峰值上限“-25”", false},
      {{clean, kept, "-16", "nan"}, "峰值上限“nan”", false},
      // Within what the mode reads, beyond what the normaliser takes.
      {{clean, kept, "-50"}, "目标响度要在 −40 到 −5 LUFS 之间", false},
      {{silence, kept}, "太短或太安静", false},
      {{blip, kept, "-16"}, "太短或太安静", false},
      {{silence}, "太短或太安静", false},
      {{PathToUtf8(dir_ / "missing.flac"), kept}, "找不到这个文件", false},
      {{clean, "-kept.wav"}, "输出文件名“-kept.wav”以“-”开头", false},
      {{clean, "-16"}, "目标响度要写在输出文件名之后", false},
      {{clean, PathToUtf8(dir_ / "no" / "such" / "out.wav")}, "无法创建输出文件", true},
      {{clean, PathToUtf8(dir_.path())}, "不是普通文件", true},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--loudness"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.args.size() > 2 ? c.args[2] : c.args.back());
    int code = -1;
    const Report r = Run(args, code);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(r.Text("ok"), "0");
    EXPECT_NE(r.Text("err").find(c.err), std::string::npos) << r.Text("err");
    EXPECT_EQ(r.values.count("lufs"), c.measured ? 1u : 0u);
    EXPECT_EQ(r.values.count("out_lufs"), 0u);
    EXPECT_EQ(test::ReadText(dir_ / "kept.wav"), "what was there");
  }
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir_.path())) left.push_back(PathToUtf8(e.path().filename()));
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"blip.wav", "kept.wav", "silence.wav"}));
}

}  // namespace
}  // namespace vesk
