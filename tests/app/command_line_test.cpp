// The argument scan: option grammar, values, precedence of modes.
#include <gtest/gtest.h>

#include "app/command_line.h"

namespace vesk {
namespace {

CommandLine Scan(std::vector<std::string> args) {
  args.insert(args.begin(), "VeskRecorder");
  return ScanArguments(args);
}

TEST(CommandLine, SelfTestSecondsOnlyWithinRange) {
  struct Case {
    std::vector<std::string> args;
    int seconds;
  } cases[] = {
      {{"--selftest"}, 3},         {{"--selftest", "0"}, 3},   {{"--selftest", "601"}, 3},
      {{"--selftest", "600"}, 600}, {{"--SELFTEST", " 7x"}, 7}, {{"--selftest", "-5"}, 3},
      {{"--selftest", "99999999999"}, 3},
  };
  for (const Case& c : cases) {
    const CommandLine cmd = Scan(c.args);
    EXPECT_TRUE(cmd.selfTest);
    EXPECT_EQ(cmd.selfTestSeconds, c.seconds) << c.args.back();
    EXPECT_EQ(SelectMode(cmd), Mode::SelfTest);
  }
}

TEST(CommandLine, ExportNeedsVideoAndAudioAndTakesOptionalOutput) {
  CommandLine only = Scan({"--export-video-edited", "v.mp4"});
  EXPECT_EQ(only.exportVideoPath, "v.mp4");
  EXPECT_NE(SelectMode(only), Mode::ExportVideo);
  EXPECT_EQ(SelectMode(only), Mode::WindowApp);

  CommandLine dash = Scan({"--export-video-edited", "v.mp4", "a.wav", "--engine", "MF"});
  EXPECT_EQ(SelectMode(dash), Mode::ExportVideo);
  EXPECT_EQ(dash.exportOutputPath, "");
  EXPECT_EQ(dash.engine, "MF");
  EXPECT_EQ(dash.dashedOutputName, "");

  // A single-dash name is no option of ours: kept so the mode can refuse it.
  struct Case {
    std::vector<std::string> args;
    const char* dashed;
  };
  for (const Case& c : {Case{{"--export-video-edited", "v.mp4", "a.wav", "-x"}, "-x"},
                        Case{{"--denoise", "in.wav", "-out.wav"}, "-out.wav"},
                        Case{{"--denoise", "in.wav", "--dev", "2"}, ""}, Case{{"--denoise", "in.wav", "-"}, ""},
                        Case{{"--loudness", "in.wav", "-16"}, "-16"}})
    EXPECT_EQ(Scan(c.args).dashedOutputName, c.dashed) << c.args.back();

  CommandLine full = Scan({"--EXPORT-VIDEO-EDITED", "v.mp4", "a.wav", "o.mp4", "--vcodec", "FLAC", "--vbitrate",
                           "256", "--vrate", "96000", "--edited-ordinal", "2"});
  EXPECT_EQ(full.exportOutputPath, "o.mp4");
  EXPECT_EQ(full.exportOptions.codec, 1u);
  EXPECT_EQ(full.exportOptions.aacBitrate, 256000u);
  EXPECT_EQ(full.exportOptions.sampleRate, 96000u);
  EXPECT_EQ(full.exportOptions.editedOrdinal, 2);
  EXPECT_EQ(Scan({"--vcodec", "aac"}).exportOptions.codec, 0u);
}

TEST(CommandLine, APlainArgumentNoOptionTookIsTheFileToOpen) {
  struct Case {
    std::vector<std::string> args;
    std::string open;
  } cases[] = {
      {{"/media/clip.mp4"}, "/media/clip.mp4"},
      {{"--ffmpeg", "/usr/bin/ffmpeg", "take.wav"}, "take.wav"},
      {{"a.wav", "b.wav"}, "a.wav"},
      {{"--probe-preview", "a.mkv", "2", "b.wav"}, "b.wav"},
      {{"--denoise", "in.wav", "out.wav"}, ""},
      {{"--export-video-edited", "v.mp4", "a.wav", "o.mp4"}, ""},
      {{"--selftest", "5"}, ""},
      {{"--keep", "1,2"}, ""},
      {{"--dump-layout"}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Scan(c.args).openPath, c.open) << c.args.front();
  EXPECT_EQ(SelectMode(Scan({"clip.mp4"})), Mode::WindowApp);
}

TEST(CommandLine, AnArgumentStartingWithDashThatNamesNoOptionIsUnknown) {
  struct Case {
    std::vector<std::string> args;
    std::string unknown;
  } cases[] = {
      {{"--no-such-option"}, "--no-such-option"},
      {{"clip.wav", "-v", "--x"}, "-v"},
      {{"-"}, "-"},
      {{"--PROBE-AUDIO", "a.wav"}, ""},
      {{"--dev", "-1"}, ""},                // a value, however it looks
      {{"--selftest", "-5"}, ""},           // a bad number, not an option
      {{"--ffmpeg", "--nope", "x.wav"}, ""},  // the value of --ffmpeg
      {{"--denoise", "in.wav", "-x"}, ""},  // the output name the mode refuses
      {{"--loudness", "in", "out", "-16", "-1.5"}, ""},  // target and ceiling
      {{"--loudness", "in", "out", "-16", "-1", "-q"}, "-q"},
      {{"--loudness", "in", "out", "--x"}, "--x"},  // a "--" word ends the values
      {{"--dump-layout"}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Scan(c.args).unknownOption, c.unknown) << c.args.front();
}

TEST(CommandLine, KeepAppendsAcrossOccurrencesAndSkipsEmptyPieces) {
  const CommandLine cmd = Scan({"--keep", "1,,3", "--keep", "x,5,"});
  EXPECT_EQ(cmd.exportOptions.keep, (std::vector<int32_t>{1, 3, 0, 5}));
}

TEST(CommandLine, ValuesAreStillScannedAsOptions) {
  // "--probe-audio" is the value of --ffmpeg and is then taken as an option too.
  const CommandLine cmd = Scan({"--ffmpeg", "--probe-audio", "x.wav"});
  EXPECT_EQ(cmd.ffmpegPath, "--probe-audio");
  EXPECT_EQ(cmd.probeAudioPath, "x.wav");
  EXPECT_EQ(SelectMode(cmd), Mode::ProbeAudio);
}

TEST(CommandLine, OptionAtTheEndWithoutValueIsIgnored) {
  const CommandLine cmd = Scan({"--probe-audio", "a.wav", "--probe-audio"});
  EXPECT_EQ(cmd.probeAudioPath, "a.wav");
  EXPECT_EQ(Scan({"--dev"}).deviceIndex, -1);
}

TEST(CommandLine, LaterOccurrenceOverwrites) {
  const CommandLine cmd = Scan({"--dev", "2", "--dev", "abc", "--delete", "1-2", "--delete", "5-9"});
  EXPECT_EQ(cmd.deviceIndex, 0);
  EXPECT_EQ(cmd.deleteRanges, "5-9");
  EXPECT_TRUE(cmd.deleteGiven);
}

TEST(CommandLine, OptionalSecondValues) {
  CommandLine d = Scan({"--denoise", "in.wav", "-x"});
  EXPECT_EQ(d.denoiseInput, "in.wav");
  EXPECT_EQ(d.denoiseOutput, "");
  EXPECT_EQ(Scan({"--denoise", "in.wav", "out.wav"}).denoiseOutput, "out.wav");
  EXPECT_EQ(Scan({"--probe-preview", "a.mkv", "2"}).probePreviewTrack, 2);
  EXPECT_EQ(Scan({"--probe-preview", "a.mkv", "-2"}).probePreviewTrack, 0);
}

TEST(CommandLine, ModePrecedence) {
  EXPECT_EQ(SelectMode(Scan({"--probe-preview", "p", "--probe-video", "v", "--probe-audio", "a", "--denoise", "d",
                             "--export-video-edited", "v", "a", "--selftest"})),
            Mode::SelfTest);
  EXPECT_EQ(SelectMode(Scan({"--probe-preview", "p", "--probe-video", "v", "--probe-audio", "a", "--denoise", "d",
                             "--export-video-edited", "v", "a"})),
            Mode::ExportVideo);
  EXPECT_EQ(SelectMode(Scan({"--probe-preview", "p", "--probe-video", "v", "--probe-audio", "a", "--denoise", "d"})),
            Mode::Denoise);
  EXPECT_EQ(SelectMode(Scan({"--probe-audio", "a", "--loudness", "l"})), Mode::Loudness);
  EXPECT_EQ(SelectMode(Scan({"--probe-preview", "p", "--probe-video", "v", "--probe-audio", "a"})), Mode::ProbeAudio);
  EXPECT_EQ(SelectMode(Scan({"--probe-preview", "p", "--probe-video", "v"})), Mode::ProbeVideo);
  EXPECT_EQ(SelectMode(Scan({"--probe-preview", "p", "--dump-layout", "l.json"})), Mode::ProbePreview);
  EXPECT_EQ(SelectMode(Scan({"--dump-layout", "l.json"})), Mode::WindowApp);
  EXPECT_FALSE(WantsMultithreadedCom(Scan({"--dump-layout", "l.json"})));
  EXPECT_TRUE(WantsMultithreadedCom(Scan({"--export-video-edited", "v"})));
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

// The edit mode's input, output and steps in the order given; a step's
// value is read even when it starts with "-", so the mode can refuse it.
TEST(CommandLine, EditTakesItsFilesAndItsStepsInOrder) {
  using enum EditOp;
  struct Case {
    std::vector<std::string> args;
    std::string in, out, dashed;
    std::vector<EditStep> steps;
  } cases[] = {
      {{"--edit", "in.wav", "out.mp3", "--delete", "1-2", "--SILENCE", "0-0.5", "--trim", "0.1-3"},
       "in.wav", "out.mp3", "", {{Delete, "1-2"}, {Silence, "0-0.5"}, {Trim, "0.1-3"}}},
      {{"--trim", "-1-2", "--edit", "in.wav", "o.wav", "--delete"}, "in.wav", "o.wav", "", {{Trim, "-1-2"}, {Delete, ""}}},
      {{"--edit", "in.wav", "-o.wav", "--delete", "1-2"}, "in.wav", "", "-o.wav", {{Delete, "1-2"}}},
      {{"--edit"}, "", "", "", {}},
  };
  for (const Case& c : cases) {
    const CommandLine cmd = Scan(c.args);
    EXPECT_EQ(SelectMode(cmd), Mode::Edit) << c.args[1];
    EXPECT_EQ(cmd.editInput, c.in);
    EXPECT_EQ(cmd.editOutput, c.out);
    EXPECT_EQ(cmd.dashedOutputName, c.dashed);
    EXPECT_EQ(cmd.editSteps, c.steps);
    EXPECT_EQ(cmd.unknownOption, "");
    EXPECT_EQ(cmd.openPath, "");
  }
  EXPECT_EQ(SelectMode(Scan({"--denoise", "a.wav", "--edit", "b.wav", "c.wav"})), Mode::Denoise);
}

}  // namespace
}  // namespace vesk
