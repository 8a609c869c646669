// The headless "--denoise" mode end to end: sox makes a noisy speech-like
// signal, the test plug-in is installed as a VST3 bundle in a private folder,
// and the real program runs.
#include <gtest/gtest.h>

#include <sstream>

#include "denoise/denoise_engine.h"
#include "denoise/denoise_fixture.h"
#include "media/wav_reader.h"
#include "platform/text.h"

namespace vesk {
namespace {
using namespace vesk::test;
namespace fs = std::filesystem;

std::vector<std::string> ReportKeys(const std::string& report) {
  std::vector<std::string> keys;
  std::istringstream in(report);
  for (std::string line; std::getline(in, line);) keys.push_back(line.substr(0, line.find('=')));
  return keys;
}

// Runs a private copy of the program, so its data folder (and the report in
// it) belongs to this test alone.
std::string RunDenoiseMode(const fs::path& vst3Root, const std::string& args) {
  ScratchDir appDir;
  const fs::path program = CopyBuiltProgram("VeskRecorder", appDir.path());
  const fs::path report = appDir / "denoise-report.txt";
  Shell("VESK_VST3_PATH='" + PathToUtf8(vst3Root) + "' '" + PathToUtf8(program) + "' " + args);
  return ReadText(report);
}

TEST(DenoiseMode, LowersTheNoiseFloorAndWritesA24BitWav) {
  if (!HaveTool("sox")) VESK_MISSING_PART("sox missing");
  ScratchDir dir;
  InstallBundle(dir / "vst3", "VeskTest Voice De-noise.vst3", BundleSubFolders()[0], FixtureModule("voice_denoise"));
  const std::string d = "'" + PathToUtf8(dir.path()) + "/";
  // Four 0.3 s tone bursts, 0.5 s apart, over steady noise about 50 dB down.
  ASSERT_EQ(Shell("sox -n -r 48000 -c 2 -b 16 " + d + "burst.wav' synth 0.3 sine 440 vol 0.5 pad 0 0.5 repeat 3 && "
                  "sox -n -r 48000 -c 2 -b 16 " + d + "noise.wav' synth 3.2 whitenoise vol 0.003 && "
                  "sox -m -v 1 " + d + "burst.wav' -v 1 " + d + "noise.wav' " + d + "speech.wav'"),
            0);
  const std::string report = RunDenoiseMode(dir / "vst3", "--denoise " + d + "speech.wav'");
  const fs::path out = dir / "speech_denoise.wav";
  EXPECT_EQ(ReportKeys(report), (std::vector<std::string>{"ok", "ms", "engine", "out", "rate", "frames"})) << report;
  EXPECT_NE(report.find("ok=1\n"), std::string::npos) << report;
  EXPECT_NE(report.find("engine=VeskTest Voice De-noise\n"), std::string::npos);
  EXPECT_NE(report.find("out=" + PathToUtf8(out) + "\n"), std::string::npos);
  EXPECT_NE(report.find("rate=48000\nframes=153600\n"), std::string::npos);

  AudioFormat inFormat, outFormat;
  std::vector<float> in, processed;
  std::string error;
  bool riff = false;
  int bits = 0;
  ASSERT_TRUE(ReadWavFile(dir / "speech.wav", inFormat, in, error, riff));
  ASSERT_TRUE(ReadWavFile(out, outFormat, processed, error, riff, &bits)) << error;
  EXPECT_EQ(bits, 24);
  ASSERT_EQ(processed.size(), in.size());
  double inGap = 0, outGap = 0, inBurst = 0, outBurst = 0;
  for (int k = 0; k < 3; ++k) {
    const size_t period = size_t(0.8 * 48000) * 2, base = size_t(k) * period;
    inGap += RmsOfRange(in, base + size_t(0.65 * 48000) * 2, base + size_t(0.78 * 48000) * 2);
    outGap += RmsOfRange(processed, base + size_t(0.65 * 48000) * 2, base + size_t(0.78 * 48000) * 2);
    inBurst += RmsOfRange(in, base + 2000, base + size_t(0.28 * 48000) * 2);
    outBurst += RmsOfRange(processed, base + 2000, base + size_t(0.28 * 48000) * 2);
  }
  EXPECT_LT(20 * std::log10(outGap / inGap), -9.0) << "noise floor between the bursts";
  EXPECT_NEAR(20 * std::log10(outBurst / inBurst), 0.0, 0.5) << "the bursts themselves";
}

// Without an output name only the file name's extension is cut: a dot in a
// folder name must not send the output into the parent folder.
TEST(DenoiseMode, DefaultOutputNameKeepsTheInputsFolder) {
  if (!HaveTool("sox")) VESK_MISSING_PART("sox missing");
  ScratchDir dir;
  InstallBundle(dir / "vst3", "VeskTest Voice De-noise.vst3", BundleSubFolders()[0], FixtureModule("voice_denoise"));
  struct Case {
    const char* input;  // relative to the scratch folder
    const char* output;
  };
  for (const Case c : {Case{"take.v2/clip", "take.v2/clip_denoise.wav"}, Case{"take.v2/clip.wav", "take.v2/clip_denoise.wav"},
                       Case{"a.b/.hidden", "a.b/.hidden_denoise.wav"}}) {
    const fs::path input = dir / c.input;
    fs::create_directories(input.parent_path());
    ASSERT_EQ(Shell("sox -n -r 48000 -c 1 -b 16 -t wav '" + PathToUtf8(input) + "' synth 0.2 sine 440 vol 0.5"), 0);
    const std::string report = RunDenoiseMode(dir / "vst3", "--denoise '" + PathToUtf8(input) + "'");
    EXPECT_NE(report.find("ok=1\n"), std::string::npos) << c.input << "\n" << report;
    EXPECT_NE(report.find("\nout=" + PathToUtf8(dir / c.output) + "\n"), std::string::npos) << report;
    EXPECT_TRUE(fs::exists(dir / c.output)) << c.input;
    fs::remove(dir / c.output);
  }
  for (const char* stray : {"take_denoise.wav", "a.b/_denoise.wav"}) EXPECT_FALSE(fs::exists(dir / stray)) << stray;
}

// No plug-in installed: the built-in engine cleans the file and keeps its
// length; a clip too short for a noise sample is refused with the reason.
TEST(DenoiseMode, WithoutAPluginTheBuiltInEngineRendersOrSaysWhyNot) {
  ScratchDir dir;
  fs::create_directories(dir / "empty");
  const std::string d = "'" + PathToUtf8(dir.path()) + "/";
  // Tone bursts after 2 s of the noise alone (the noise sample it takes).
  ASSERT_EQ(Shell("sox -n -r 48000 -c 2 -b 16 " + d + "burst.wav' synth 0.3 sine 440 vol 0.5 pad 0 0.5 repeat 3 pad 2 0 && "
                  "sox -n -r 48000 -c 2 -b 16 " + d + "noise.wav' synth 5.2 whitenoise vol 0.003 && "
                  "sox -m -v 1 " + d + "burst.wav' -v 1 " + d + "noise.wav' " + d + "speech.wav' && "
                  "sox -n -r 8000 -c 1 -b 16 " + d + "short.wav' synth 0.01 sine 440"),
            0);
  std::string report = RunDenoiseMode(dir / "empty", "--denoise " + d + "speech.wav' " + d + "out.wav'");
  EXPECT_NE(report.find("ok=1\n"), std::string::npos) << report;
  EXPECT_NE(report.find("engine=内置降噪\n"), std::string::npos) << report;
  EXPECT_NE(report.find("rate=48000\nframes=249600\n"), std::string::npos) << report;
  AudioFormat format;
  std::vector<float> in, out;
  std::string error;
  bool riff = false;
  ASSERT_TRUE(ReadWavFile(dir / "speech.wav", format, in, error, riff));
  ASSERT_TRUE(ReadWavFile(dir / "out.wav", format, out, error, riff)) << error;
  ASSERT_EQ(out.size(), in.size());
  const size_t gapFrom = size_t(2.65 * 48000) * 2, gapTo = size_t(2.78 * 48000) * 2;
  EXPECT_LT(20 * std::log10(RmsOfRange(out, gapFrom, gapTo) / RmsOfRange(in, gapFrom, gapTo)), -9.0);

  report = RunDenoiseMode(dir / "empty", "--denoise " + d + "short.wav' " + d + "short_out.wav'");
  EXPECT_NE(report.find("ok=0\n"), std::string::npos) << report;
  EXPECT_NE(report.find("engine=内置降噪\n"), std::string::npos) << report;
  EXPECT_NE(report.find("err=内置降噪：素材太短"), std::string::npos) << report;
  EXPECT_FALSE(fs::exists(dir / "short_out.wav"));
}

}  // namespace
}  // namespace vesk
