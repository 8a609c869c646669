// Reading an exported video back: real exports made right and wrong on
// purpose, and the window comparison that names what differs.
#include <cmath>
#include <random>

#include "media/wav_reader.h"
#include "video/export_check.h"
#include "video/ffmpeg_export.h"
#include "video_media.h"

namespace vesk {
namespace {

const std::filesystem::path kFfmpeg = "/usr/bin/ffmpeg";

std::vector<float> Noise(size_t n, unsigned seed, float amplitude = 0.3f) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> u(-amplitude, amplitude);
  std::vector<float> v(n);
  for (float& x : v) x = u(random);
  return v;
}

TEST(ExportCheckWindow, NamesWhatDiffers) {
  const uint32_t rate = 48000;
  const size_t n = 9600, margin = 2400;
  const std::vector<float> expected = Noise(n + 2 * margin, 1);
  const std::vector<float> window(expected.begin() + margin, expected.begin() + margin + n);
  auto shifted = [&](long lag) {
    std::vector<float> out(n + 2 * margin, 0.0f);
    for (size_t i = 0; i < out.size(); ++i) {
      const long j = long(i) - lag;
      if (j >= 0 && size_t(j) < expected.size()) out[i] = expected[size_t(j)];
    }
    return out;
  };
  std::vector<float> quieter = shifted(0);
  for (float& x : quieter) x *= 0.25f;
  struct Case {
    const char* what;
    std::vector<float> output;
    bool removed;
    std::string text;
  } cases[] = {
      {"same", shifted(0), false, ""},
      {"late", shifted(480), false, "1.00 秒处声音错位约 10 毫秒（比剪辑结果晚）"},
      {"early", shifted(-96), false, "1.00 秒处声音错位约 2 毫秒（比剪辑结果早）"},
      {"quieter", quieter, false, "1.00 秒处音量和剪辑结果差了 -12.0 dB"},
      {"silent", std::vector<float>(n + 2 * margin, 0.0f), false, "1.00 秒处应有声音，实际几乎是静音"},
      {"other", Noise(n + 2 * margin, 2), false, "1.00 秒处的声音和剪辑结果对不上"},
      {"removed but loud", shifted(0), true, "1.00 秒处本应是静音（删掉的段落），实际有声音（峰值 0.300）"},
      {"removed and silent", std::vector<float>(n + 2 * margin, 0.001f), true, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CompareCheckWindow(window, c.output, margin, c.removed, rate, 1.0), c.text) << c.what;
}

TEST(ExportCheckTiming, ReadsFramecrcWithReorderedAndOpenPackets) {
  const std::string text =
      "#software: Lavf59.27.100\n#tb 0: 1/1000\n#media_type 0: video\n"
      "0,        -40,          0,       40,     1234, 0x1\n"
      "0,          0,         80,       40,      222, 0x2\n"
      "0,         40,         40,       40,      333, 0x3, F=0x0\n"
      "0,         80,        120,        0,      444, 0x4\n";
  PictureTiming t;
  ASSERT_TRUE(ParsePictureTiming(text, t));
  EXPECT_EQ(t.frames, 4);
  EXPECT_NEAR(t.seconds, 0.16, 1e-9);  // the open last packet counts one typical frame
  EXPECT_NEAR(t.frameSeconds, 0.04, 1e-9);
  EXPECT_FALSE(ParsePictureTiming("#tb 0: 1/1000\n", t));
}

// A 3 s picture with one pink-noise track; the edit removes [1.0, 1.5) s.
class ExportCheck : public test::VideoTest {
 protected:
  void SetUp() override {
    test::VideoTest::SetUp();
    if (IsSkipped()) return;
    source = dir / "clip.mkv";
    test::Make("-f lavfi -i testsrc=size=160x120:rate=25:d=3 "
               "-f lavfi -i anoisesrc=color=pink:amplitude=0.3:seed=3:r=48000:d=3 -map 0:v -map 1:a "
               "-c:v libx264 -pix_fmt yuv420p -c:a flac -ac 2 " +
               test::Q(source));
    const auto wav = dir / "track.wav";
    test::Make("-i " + test::Q(source) + " -map 0:a -c:a pcm_f32le " + test::Q(wav));
    std::string error;
    bool repaired = false;
    ASSERT_TRUE(ReadWavFile(wav, format, original, error, repaired)) << error;
    timeline = original;
    std::fill(timeline.begin() + 48000 * 2, timeline.begin() + 72000 * 2, 0.0f);
    compact = original;
    compact.erase(compact.begin() + 48000 * 2, compact.begin() + 72000 * 2);
    kept = {{0, 48000}, {72000, 144000}};
  }

  // Exports `samples` as the video's sound and checks the result against the
  // timeline edit.
  ExportCheckResult ExportAndCheck(const std::string& name, const std::vector<float>& samples) {
    const auto out = dir / name;
    std::filesystem::path actual;
    std::string error;
    VideoEditedExportOptions options;
    options.codec = 1;
    EXPECT_TRUE(ExportVideoEditedViaFfmpeg(kFfmpeg, source, samples, format, options, out, actual, error, nullptr, {}))
        << error;
    return Check(actual);
  }
  ExportCheckResult Check(const std::filesystem::path& output) {
    ExportCheckInput in;
    in.ffmpeg = kFfmpeg;
    in.source = source;
    in.output = output;
    in.workFolder = dir.path();
    in.samples = &timeline;
    in.format = format;
    in.windows = ChooseCheckWindows(kept, timeline, format.channels, format.sampleRate);
    ExportCheckResult result;
    std::string error;
    EXPECT_TRUE(CheckVideoExport(in, result, error, {})) << error;
    return result;
  }

  std::filesystem::path source;
  AudioFormat format;
  std::vector<float> original, timeline, compact;
  std::vector<FrameRange> kept;
};

TEST_F(ExportCheck, PassesTheTimelineEditAndCatchesASlidTrackAndAShortenedPicture) {
  const auto windows = ChooseCheckWindows(kept, timeline, format.channels, format.sampleRate);
  ASSERT_FALSE(windows.empty());
  EXPECT_TRUE(windows[0].removed || windows[1].removed);
  for (const CheckWindow& w : windows) {
    const bool inCut = w.start < 72000 && w.start + w.frames > 48000;
    EXPECT_EQ(inCut, w.removed) << w.start;
    if (w.removed) {
      EXPECT_TRUE(w.start >= 48000 + 1440 && w.start + w.frames <= 72000 - 1440) << w.start;
    }
  }

  const ExportCheckResult good = ExportAndCheck("good.mkv", timeline);
  EXPECT_TRUE(good.differences.empty()) << good.differences.front();
  EXPECT_EQ(good.outputPicture.frames, 75);
  EXPECT_NEAR(good.outputPicture.seconds, 3.0, 0.001);
  EXPECT_EQ(good.windowsChecked, int(windows.size()));

  // The compact edit written straight into the video: everything after the
  // cut plays half a second early and the removed range is not silent.
  const ExportCheckResult slid = ExportAndCheck("slid.mkv", compact);
  ASSERT_FALSE(slid.differences.empty());
  bool namesCut = false;
  for (const std::string& d : slid.differences) namesCut |= d.find("本应是静音（删掉的段落）") != std::string::npos;
  EXPECT_TRUE(namesCut) << slid.differences.front();

  // A picture that lost its last half second.
  const auto cut = dir / "cut.mkv";
  test::Make("-i " + test::Q(dir / "good.mkv") + " -map 0 -c copy -t 2.5 " + test::Q(cut));
  const ExportCheckResult shortened = Check(cut);
  ASSERT_GE(shortened.differences.size(), 2u);
  EXPECT_EQ(shortened.differences[0].rfind("画面帧数变了：源视频 75 帧，导出文件 6", 0), 0u) << shortened.differences[0];
  EXPECT_EQ(shortened.differences[1].rfind("画面时长变了：源视频 3.000 秒", 0), 0u) << shortened.differences[1];
}

// A one-frame picture is held for the whole sound: a track longer than the
// picture is what the export means to write, not a difference.
TEST_F(ExportCheck, HeldStillPictureIsNoDifference) {
  source = dir / "card.mkv";
  test::Make("-f lavfi -i color=c=blue:size=160x120:rate=25:d=0.04 -c:v libx264 -pix_fmt yuv420p " +
             test::Q(dir / "card-picture.mkv"));
  test::Make("-i " + test::Q(dir / "card-picture.mkv") + " -i " + test::Q(dir / "track.wav") +
             " -map 0:v -map 1:a -c:v copy -c:a flac " + test::Q(source));
  const ExportCheckResult held = ExportAndCheck("card-out.mkv", timeline);
  EXPECT_TRUE(held.differences.empty()) << held.differences.front();
  EXPECT_EQ(held.outputPicture.frames, 1);
  EXPECT_NEAR(held.audioSeconds, 3.0, 0.1);
}

}  // namespace
}  // namespace vesk
