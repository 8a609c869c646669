// The edited-video export through the real ffmpeg program.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "app/edit_decisions.h"
#include "media/wav_reader.h"
#include "platform/file.h"
#include "platform/text.h"
#include "video/delete_ranges.h"
#include "video/ffmpeg_export.h"
#include "video/media_probe.h"
#include "video_media.h"

namespace vesk {
namespace {

const std::filesystem::path kFfmpeg = "/usr/bin/ffmpeg";

class VideoExport : public test::VideoTest {
 protected:
  // A 3 s H.264 picture (25 fps) with `tracks` AAC tracks of different tones.
  std::filesystem::path MakeSource(const std::string& name, int tracks = 1, const std::string& vcodec = "libx264") {
    const auto file = dir / name;
    std::string args = "-f lavfi -i testsrc=size=160x120:rate=25:d=3";
    for (int i = 0; i < tracks; ++i) args += " -f lavfi -i sine=f=" + std::to_string(300 + 200 * i) + ":r=48000:d=3";
    args += " -map 0:v";
    for (int i = 0; i < tracks; ++i) args += " -map " + std::to_string(i + 1) + ":a";
    test::Make(args + " -c:v " + vcodec + " -pix_fmt yuv420p -c:a aac -ac 2 " + test::Q(file));
    return file;
  }
  // The edited audio: a 3 s stereo tone read back as floats.
  void MakeEdited(std::vector<float>& samples, AudioFormat& format, double seconds = 3) {
    const auto wav = dir / "edited.wav";
    test::Make("-f lavfi -i sine=f=1000:r=48000:d=" + std::to_string(seconds) + " -ac 2 " + test::Q(wav));
    std::string error;
    bool repaired = false;
    ASSERT_TRUE(ReadWavFile(wav, format, samples, error, repaired)) << error;
  }
  bool Export(const std::filesystem::path& source, const std::vector<float>& samples, const AudioFormat& format,
              const VideoEditedExportOptions& options, const std::filesystem::path& output,
              const ExportProgress& progress = {}) {
    return ExportVideoEditedViaFfmpeg(kFfmpeg, source, samples, format, options, output, actual, error, &duration,
                                      progress);
  }
  std::filesystem::path actual;
  std::string error;
  double duration = -1;
};

TEST_F(VideoExport, DeletedMiddleThirdIsSilentAtItsSourceTimeAndPictureIsCopiedBitForBit) {
  const auto source = MakeSource("clip.mp4");
  std::vector<float> samples;
  AudioFormat format;
  MakeEdited(samples, format);
  const std::vector<float> original = samples;
  std::string editError;
  ASSERT_TRUE(ApplyDeleteRanges(samples, format, ParseDeleteRanges("48000-96000"), editError));

  VideoEditedExportOptions options;
  options.codec = 1;  // FLAC: lossless, so the samples can be compared
  ASSERT_TRUE(Export(source, samples, format, options, dir / "out.mkv")) << error;
  EXPECT_EQ(actual, dir / "out.mkv");
  EXPECT_NEAR(duration, 3.0, 0.05);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.mkv.vesk-audio.wav"));
  EXPECT_EQ(test::StreamEntry(actual, "a:0", "codec_name"), "flac");
  EXPECT_EQ(test::StreamEntry(actual, "a:0", "sample_fmt"), "s32");
  EXPECT_EQ(test::StreamMd5(actual, "0:v:0"), test::StreamMd5(source, "0:v:0"));

  const std::vector<float> decoded = test::DecodeAudio(actual, "0:a:0", dir.path());
  ASSERT_GE(decoded.size(), original.size());
  // 5 ms ramps at both cuts: falling to silence before the deleted third,
  // rising from silence after it (half way at 2.5 ms).
  for (size_t i = 0; i < original.size(); ++i) {
    const int64_t frame = int64_t(i / 2);
    double gain = 1.0;
    if (frame >= 48000 - 240 && frame < 48000) gain = double(48000 - 1 - frame) / 240.0;
    if (frame >= 96000 && frame < 96000 + 240) gain = double(frame - 96000) / 240.0;
    if (frame >= 48000 && frame < 96000)
      ASSERT_EQ(decoded[i], 0.0f) << "frame " << frame;
    else
      ASSERT_NEAR(decoded[i], original[i] * gain, 1e-4) << "frame " << frame << ", gain " << gain;
  }
}

TEST_F(VideoExport, AacTrackWithRateAndAShortEditedTrackKeepsThePictureLength) {
  const auto source = MakeSource("clip.mp4");
  std::vector<float> samples;
  AudioFormat format;
  MakeEdited(samples, format, 1.0);
  VideoEditedExportOptions options;
  options.sampleRate = 44100;
  ASSERT_TRUE(Export(source, samples, format, options, dir / "out.mp4")) << error;
  EXPECT_EQ(actual, dir / "out.mp4");
  EXPECT_EQ(test::StreamEntry(actual, "a:0", "codec_name"), "aac");
  EXPECT_EQ(test::StreamEntry(actual, "a:0", "sample_rate"), "44100");
  EXPECT_NEAR(std::stod(test::StreamEntry(actual, "a:0", "duration")), 3.0, 0.1);  // padded by apad
  EXPECT_EQ(test::StreamMd5(actual, "0:v:0"), test::StreamMd5(source, "0:v:0"));
}

TEST_F(VideoExport, KeptTracksAreCopiedUnchangedInOrdinalOrder) {
  const auto source = MakeSource("three.mkv", 3);
  std::vector<float> samples;
  AudioFormat format;
  MakeEdited(samples, format);
  VideoEditedExportOptions options;
  options.editedOrdinal = 1;
  options.keep = {2, 0};
  ASSERT_TRUE(Export(source, samples, format, options, dir / "out.mkv")) << error;
  ASSERT_EQ(test::CountStreams(actual, "a"), 3);
  EXPECT_EQ(test::StreamMd5(actual, "0:a:0"), test::StreamMd5(source, "0:a:0"));
  EXPECT_EQ(test::StreamMd5(actual, "0:a:2"), test::StreamMd5(source, "0:a:2"));
  EXPECT_NE(test::StreamMd5(actual, "0:a:1"), test::StreamMd5(source, "0:a:1"));
  EXPECT_EQ(test::StreamMd5(actual, "0:v:0"), test::StreamMd5(source, "0:v:0"));
}

TEST_F(VideoExport, PictureMp4CannotHoldIsWrittenAsMkvInstead) {
  const auto source = MakeSource("lossless.mkv", 1, "ffv1");
  std::vector<float> samples;
  AudioFormat format;
  MakeEdited(samples, format);
  ASSERT_TRUE(Export(source, samples, format, {}, dir / "out.mp4")) << error;
  EXPECT_EQ(actual, dir / "out.mkv");
  EXPECT_FALSE(std::filesystem::exists(dir / "out.mp4"));
  EXPECT_EQ(test::StreamEntry(actual, "v:0", "codec_name"), "ffv1");
}

// The MKV retry writes under a name nobody has, and whatever happens, a file
// this run did not create is never overwritten or removed.
TEST_F(VideoExport, MkvRetryNeverTouchesAFileItDidNotCreate) {
  const auto source = MakeSource("lossless.mkv", 1, "ffv1");  // MP4 cannot hold the picture
  std::vector<float> samples;
  AudioFormat format;
  MakeEdited(samples, format);
  // Writes a partial output and fails, as ffmpeg does on a broken run.
  const auto failing = dir / "failing-ffmpeg";
  const std::string script = "#!/bin/sh\nfor a; do last=$a; done\necho partial > \"${last#file:}\"\nexit 1\n";
  test::WriteBytes(failing, {script.begin(), script.end()});
  std::filesystem::permissions(failing, std::filesystem::perms::owner_all);
  struct Case {
    const char* name;
    std::filesystem::path ffmpeg;
    bool ok;
  };
  for (const Case& c : {Case{"real", kFfmpeg, true}, Case{"failing", failing, false}}) {
    for (const char* taken : {"out.mp4", "out.mkv", "out2.mkv"}) test::WriteText(dir / taken, "mine");
    const bool ok = ExportVideoEditedViaFfmpeg(c.ffmpeg, source, samples, format, {}, dir / "out.mp4", actual, error,
                                               &duration, {});
    EXPECT_EQ(ok, c.ok) << c.name << ": " << error;
    for (const char* taken : {"out.mp4", "out.mkv", "out2.mkv"})
      EXPECT_EQ(test::ReadText(dir / taken), "mine") << c.name << " " << taken;
    EXPECT_EQ(std::filesystem::exists(dir / "out3.mkv"), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(actual, dir / "out3.mkv");
      EXPECT_EQ(test::StreamEntry(actual, "v:0", "codec_name"), "ffv1");
      std::filesystem::remove(actual);
    }
  }
}

// An ffmpeg that claims success without a file, and outputs nothing can be
// written to, fail without waiting and without leaving anything behind.
TEST_F(VideoExport, RunsWithoutAnOutputFileAndNonRegularOutputsFail) {
  const auto source = MakeSource("clip.mp4");
  std::vector<float> samples;
  AudioFormat format;
  MakeEdited(samples, format);
  const auto silent = dir / "silent-ffmpeg";
  test::WriteText(silent, "#!/bin/sh\nexit 0\n");
  const auto empty = dir / "empty-ffmpeg";
  test::WriteText(empty, "#!/bin/sh\nfor a; do last=$a; done\n: > \"${last#file:}\"\nexit 0\n");
  for (const auto& script : {silent, empty}) std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  ASSERT_EQ(mkfifo((dir / "fifo.mp4").c_str(), 0600), 0);
  std::filesystem::create_directory(dir / "folder.mp4");
  struct Case {
    std::filesystem::path ffmpeg;
    const char* output;
    const char* error;
  };
  const char* noFile = "ffmpeg 报告成功，却没有写出视频文件（或写出的是空文件），导出失败。";
  for (const Case& c : {Case{silent, "a.mp4", noFile}, Case{empty, "b.mp4", noFile},
                        Case{kFfmpeg, "fifo.mp4", kNotRegularOutputText},
                        Case{kFfmpeg, "folder.mp4", kNotRegularOutputText}}) {
    EXPECT_FALSE(ExportVideoEditedViaFfmpeg(c.ffmpeg, source, samples, format, {}, dir / c.output, actual, error,
                                            &duration, {}))
        << c.output;
    EXPECT_EQ(error, c.error) << c.output;
  }
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) left.push_back(PathToUtf8(e.path().filename()));
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"clip.mp4", "edited.wav", "empty-ffmpeg", "ffmpeg-last.log", "fifo.mp4", "folder.mp4",
                                            "silent-ffmpeg"}));
}

// A picture of one frame (a cover, a title card) is held for the whole
// sound, in both containers.
TEST_F(VideoExport, OneFramePictureIsHeldForTheLengthOfTheSound) {
  std::vector<float> samples;
  AudioFormat format;
  MakeEdited(samples, format, 10.0);
  for (const char* name : {"card.mp4", "card.mkv"}) {
    const auto source = dir / name;
    test::Make("-f lavfi -i color=c=blue:size=64x48:rate=25:d=0.04 -f lavfi -i sine=r=48000:d=10 -c:v libx264 "
               "-pix_fmt yuv420p -c:a aac " + test::Q(source));
    const auto output = dir / (std::string("out-") + name);
    ASSERT_TRUE(Export(source, samples, format, {}, output)) << name << ": " << error;
    const double seconds = double(test::DecodeAudio(output, "0:a:0", dir.path()).size()) / 2 / 48000;
    EXPECT_NEAR(seconds, 10.0, 0.1) << name;
    EXPECT_EQ(test::StreamMd5(output, "0:v:0"), test::StreamMd5(source, "0:v:0")) << name;
  }
}

// Names ffmpeg would read as an option ("-…") or a protocol ("a:…"), given
// relative to the working folder, export and probe like any other.
TEST_F(VideoExport, NamesThatLookLikeOptionsOrProtocolsAreFilesToFfmpeg) {
  const auto made = MakeSource("clip.mp4");
  std::vector<float> samples;
  AudioFormat format;
  MakeEdited(samples, format);
  const auto oldCwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  struct Case {
    const char* source;
    const char* output;
  };
  for (const Case& c : {Case{"-clip.mp4", "a:b.mp4"}, Case{"a:clip.mp4", "-out.mp4"}}) {
    std::filesystem::copy_file(made, dir / c.source);
    VideoProbeResult probe;
    std::string probeError;
    EXPECT_TRUE(ProbeVideo(c.source, probe, probeError, kFfmpeg)) << c.source << ": " << probeError;
    EXPECT_TRUE(probe.hasVideo) << c.source;
    EXPECT_TRUE(Export(c.source, samples, format, {}, c.output)) << c.source << ": " << error;
    EXPECT_EQ(test::StreamMd5(dir / c.output, "0:v:0"), test::StreamMd5(made, "0:v:0")) << c.output;
  }
  std::filesystem::current_path(oldCwd);
}

TEST_F(VideoExport, OutputThatIsTheSourceFileIsRefusedBeforeAnythingIsWritten) {
  const auto source = MakeSource("clip.mp4");
  std::filesystem::create_symlink(source, dir / "link.mp4");
  std::filesystem::create_hard_link(source, dir / "hard.mp4");
  std::filesystem::create_directories(dir / "sub");
  const std::string before = test::StreamMd5(source, "0");
  std::vector<float> samples;
  AudioFormat format;
  MakeEdited(samples, format);
  for (const auto& output : {source, dir / "CLIP.mp4", dir.path() / "sub" / ".." / "clip.mp4",
                             dir.path() / "." / "clip.mp4", dir / "link.mp4", dir / "hard.mp4"}) {
    EXPECT_FALSE(Export(source, samples, format, {}, output)) << output;
    EXPECT_EQ(error, "输出文件不能和源视频是同一个文件 —— 那样会把源素材写坏。请换个文件名。") << output;
    auto temp = output;
    temp += ".vesk-audio.wav";
    EXPECT_FALSE(std::filesystem::exists(temp)) << temp;
  }
  EXPECT_EQ(test::StreamMd5(source, "0"), before);
}

TEST_F(VideoExport, CancelDuringFfmpegRunRemovesTheTemporaryWavAndThePartialOutput) {
  const auto source = dir / "long.mp4";
  test::Make("-f lavfi -i testsrc=size=64x48:rate=5:d=120 -c:v libx264 -preset ultrafast " + test::Q(source));
  const AudioFormat format{48000, 1, 16};
  std::vector<float> samples(48000 * 120);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.3f * float(std::sin(double(i) * 0.05));
  int ffmpegPolls = 0;
  int wavReports = 0;
  const bool ok = Export(source, samples, format, {}, dir / "out.mp4", [&](int, const std::string& stage) {
    if (stage == "正在准备音频…") return ++wavReports > 0;
    ++ffmpegPolls;
    return false;
  });
  EXPECT_FALSE(ok);
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_GT(wavReports, 0);
  EXPECT_EQ(ffmpegPolls, 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.mp4"));
  EXPECT_FALSE(std::filesystem::exists(dir / "out.mp4.vesk-audio.wav"));
  EXPECT_FALSE(std::filesystem::exists(dir / "out.mkv"));
}

TEST_F(VideoExport, RefusesWithoutFfmpegOrWithoutAudio) {
  const std::vector<float> samples(960, 0.1f);
  const AudioFormat format{48000, 2, 16};
  EXPECT_FALSE(ExportVideoEditedViaFfmpeg(dir / "no-ffmpeg", dir / "a.mp4", samples, format, {}, dir / "o.mp4", actual,
                                          error, &duration, {}));
  EXPECT_EQ(error, "没找到 ffmpeg，无法导出视频。");
  EXPECT_FALSE(Export(dir / "a.mp4", {}, format, {}, dir / "o.mp4"));
  EXPECT_EQ(error, "剪辑区没有音频内容。");
  EXPECT_FALSE(Export("", samples, format, {}, dir / "o.mp4"));
  EXPECT_EQ(error, "导出参数不完整。");
}

// FLAC is the default codec of the export, and ffmpeg 5.1 puts it into MP4
// only as an experimental feature: without asking for that, every default
// export ended up as MKV.
TEST_F(VideoExport, HeadlessModeWritesFlacIntoTheMp4AndReportsIt) {
  const auto source = MakeSource("clip.mp4");
  const auto wav = dir / "edited.wav";
  test::Make("-f lavfi -i sine=f=1000:r=48000:d=3 -ac 2 " + test::Q(wav));
  test::ScratchDir app;
  const test::RunResult r = test::RunProgram(
      test::CopyBuiltProgram("VeskRecorder", app.path()), {"--export-video-edited", source.string(), wav.string(), "--keep", "",
                                           "--delete", "100-200,0-50", "--ffmpeg", kFfmpeg.string(), "--vcodec", "flac"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const std::string report = test::ReadText(app / "export-video-report.txt");
  const auto out = dir / "clip_导出.mp4";
  EXPECT_EQ(report.find("ok=1\ndur=3.00\ncodec=flac\nrate=0\nengine=ffmpeg\neditedord=0\nkeep=\n"
                        "deleted=100-200,0-50\nffmpeg=/usr/bin/ffmpeg\nout=" + out.string() + "\n"),
            0u)
      << report;
  EXPECT_FALSE(std::filesystem::exists(dir / "clip_导出.mkv"));
  EXPECT_EQ(test::StreamEntry(out, "a:0", "codec_name"), "flac");
}

}  // namespace
}  // namespace vesk
