// The headless "--loudness" mode run for real on the voice set and on WAVs
// the ffmpeg program makes from it; ffmpeg's own R128 meter judges the result.
#include <gtest/gtest.h>

#include "platform/text.h"
#include "support/test_support.h"
#include "support/voice_clips.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

// A number after "key" in text (the program's "lufs=", ffmpeg's summary "I:").
double After(const std::string& text, const std::string& key) {
  const size_t at = text.rfind(key);
  return at == std::string::npos ? NAN : std::atof(text.c_str() + at + key.size());
}

TEST(LoudnessMode, NormalisesToTheTargetInTheInputsFamilyOrRefusesWithoutAFile) {
  if (!test::HaveTool("ffmpeg")) VESK_MISSING_PART("ffmpeg missing");
  test::ScratchDir dir;
  const fs::path program = test::CopyBuiltProgram("VeskRecorder", dir.path());
  const std::string d = PathToUtf8(dir.path()) + "/", clean = PathToUtf8(test::VoiceFile("clean.flac"));
  ASSERT_EQ(test::Shell("ffmpeg -v error -i '" + clean + "' -ac 2 -c:a pcm_s16le '" + d + "s16.wav' -c:a pcm_f32le '" +
                        d + "f32.wav' -af volume=0 '" + d + "silent.wav'"), 0);
  // ffmpeg's integrated loudness and true peak; a mono file counts twice.
  auto meter = [&](const std::string& file, const char* key) {
    test::Shell("ffmpeg -nostats -i '" + file + "' -af ebur128=peak=true:dualmono=true -f null - 2>'" + d + "m.txt'");
    return After(test::ReadText(dir / "m.txt"), key);
  };
  const std::string out = d + "out.wav";
  struct Case {
    std::vector<std::string> args;  // after --loudness
    double target, ceiling;         // NAN: no output is asked for
    const char* codec;              // of the output; nullptr: refused
  } cases[] = {
      {{clean, out, "-16"}, -16, -1, "pcm_s24le"},
      {{clean, out, "-23", "-1"}, -23, -1, "pcm_s24le"},
      {{clean, out, "-12", "-1"}, -12, -1, "pcm_s24le"},  // the limiter acts
      {{clean, out, "-10", "-2"}, -10, -2, "pcm_s24le"},  // heavy limiting: the gain follows the limiter's slope
      {{d + "s16.wav", out, "-16", "-1.5"}, -16, -1.5, "pcm_s16le"},
      {{d + "f32.wav", out, "-20", "-2"}, -20, -2, "pcm_f32le"},
      {{clean}, NAN, NAN, "reading"},
      {{clean, out, "abc"}, -16, -1, nullptr},
      {{clean, out, "-3"}, -16, -1, nullptr},
      {{clean, out, "-16", "0.5"}, -16, -1, nullptr},
      {{d + "silent.wav", out}, -16, -1, nullptr},
      {{d + "missing.wav", out}, -16, -1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    std::vector<std::string> args = {"--loudness"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(test::RunProgram(program, args).exitCode, c.codec ? 0 : 1);
    const std::string report = test::ReadText(dir / "loudness-report.txt");
    EXPECT_EQ(report.rfind(c.codec ? "ok=1\n" : "ok=0\n", 0), 0u) << report;
    EXPECT_EQ(report.find("\nerr=") == std::string::npos, c.codec != nullptr) << report;
    EXPECT_EQ(fs::exists(PathFromUtf8(out)), c.codec && !std::isnan(c.target));
    if (c.codec && std::isnan(c.target)) {
      EXPECT_NEAR(After(report, "lufs="), meter(clean, " I:"), 0.1) << report;
    } else if (c.codec) {
      EXPECT_LE(After(report, "out_truepeak="), c.ceiling) << report;
      EXPECT_NEAR(meter(out, " I:"), c.target, 0.3);
      EXPECT_LE(meter(out, "Peak:"), c.ceiling);
      test::Shell("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" + out + "' >'" + d + "c.txt'");
      EXPECT_EQ(test::ReadText(dir / "c.txt"), std::string(c.codec) + "\n");
      fs::remove(PathFromUtf8(out));
    }
  }
}

}  // namespace
}  // namespace vesk
