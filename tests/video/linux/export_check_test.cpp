// Reading an exported video back: real exports made right and wrong on
// purpose, and the window comparison that names what differs.
#include <algorithm>
#include <cmath>
#include <random>

#include "media/audio_tracks.h"
#include "media/wav_reader.h"
#include "video/export_check.h"
#include "video/ffmpeg_export.h"
#include "video/media_probe.h"
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

  // A start stated in whole milliseconds places the track up to 48 frames off.
  EXPECT_EQ(CompareCheckWindow(window, shifted(40), margin, false, rate, 1.0, 49), "");
  EXPECT_NE(CompareCheckWindow(window, shifted(60), margin, false, rate, 1.0, 49), "");
  // A steady 440 Hz tone half a period off matches itself at many lags: no
  // lag may be named for it.
  auto tone = [&](double phase) {
    std::vector<float> v(n + 2 * margin);
    for (size_t i = 0; i < v.size(); ++i) v[i] = 0.3f * float(std::sin(2 * M_PI * 440.0 * double(i) / rate + phase));
    return v;
  };
  const std::vector<float> steady = tone(0);
  EXPECT_EQ(CompareCheckWindow(std::vector<float>(steady.begin() + margin, steady.begin() + margin + n), tone(M_PI),
                               margin, false, rate, 1.0),
            "1.00 秒处的声音和剪辑结果对不上");
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
  EXPECT_NEAR(t.spanSeconds, 0.12, 1e-9);
  EXPECT_NEAR(t.startSeconds, 0.0, 1e-9);
  EXPECT_NEAR(t.frameSeconds, 0.04, 1e-9);
  EXPECT_EQ(FramecrcStreams(text + "#tb 1: 1/48000\n#tb 2: 1/1000\n"), 3);
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
    const ContiguousSamples track = Timeline();
    in.samples = &track;
    in.format = format;
    in.windows = ChooseCheckWindows(kept, track, format.channels, format.sampleRate);
    ExportCheckResult result;
    std::string error;
    EXPECT_TRUE(CheckVideoExport(in, result, error, {})) << error;
    return result;
  }

  ContiguousSamples Timeline() const {
    return ContiguousSamples(timeline.data(), timeline.size() / format.channels, format.channels);
  }

  std::filesystem::path source;
  AudioFormat format;
  std::vector<float> original, timeline, compact;
  std::vector<FrameRange> kept;
};

TEST_F(ExportCheck, PassesTheTimelineEditAndCatchesASlidTrackAndAShortenedPicture) {
  const auto windows = ChooseCheckWindows(kept, Timeline(), format.channels, format.sampleRate);
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

// Correct exports across containers, codecs, kept tracks and cut places pass
// the check with no difference, keep the source's track titles and
// languages and end the new track on the source track's last frame; the
// same exports damaged on purpose fail it.
class ExportCheckTable : public test::VideoTest {
 protected:
  std::filesystem::path MakeSources() {
    // Matroska: 30 fps, a 440 Hz tone and pink noise in two titled AAC tracks.
    test::Make("-f lavfi -i testsrc=size=160x120:rate=30:d=3 -f lavfi -i sine=f=440:r=48000:d=3 "
               "-f lavfi -i anoisesrc=color=pink:amplitude=0.3:seed=5:r=48000:d=3 -map 0:v -map 1:a -map 2:a "
               "-c:v libx264 -pix_fmt yuv420p -c:a aac -ac 2 -metadata:s:a:0 title=解说 -metadata:s:a:0 language=chi "
               "-metadata:s:a:1 title=Game -metadata:s:a:1 language=eng " +
               test::Q(dir / "src.mkv"));
    // MP4: 25 fps, one AAC track of noise bursts at 44.1 kHz, named by its handler.
    test::Make("-f lavfi -i testsrc=size=160x120:rate=25:d=2 -f lavfi -i "
               "anoisesrc=color=white:amplitude=0.3:seed=7:r=44100:d=2 "
               "-map 0:v -map 1:a -c:v libx264 -pix_fmt yuv420p -c:a aac -ac 1 -metadata:s:a:0 handler_name=旁白 "
               "-metadata:s:a:0 language=jpn " +
               test::Q(dir / "src.mp4"));
    // MOV: motion JPEG and a 16-bit PCM track of pink noise.
    test::Make("-f lavfi -i testsrc=size=160x120:rate=24:d=2 -f lavfi -i "
               "anoisesrc=color=pink:amplitude=0.3:seed=9:r=48000:d=2 -map 0:v -map 1:a -c:v mjpeg -c:a pcm_s16le "
               "-ac 2 -metadata:s:a:0 language=fra " +
               test::Q(dir / "src.mov"));
    return dir.path();
  }
};

TEST_F(ExportCheckTable, CorrectExportsPassAndDamagedOnesFail) {
  MakeSources();
  enum Cut { Start, Middle, End };
  enum Damage { None, DropFrame, ShiftAudio, DropTrack };
  struct Row {
    const char* source;
    uint32_t codec;  // 1 = FLAC
    const char* output;
    int32_t edited;
    std::vector<int32_t> keep;
    Cut cut;
    Damage damage;
  } rows[] = {
      {"src.mkv", 1, "a.mp4", 1, {0}, Middle, None},  // noise track replaced, tone track kept
      {"src.mkv", 0, "b.mkv", 1, {0}, Start, None},
      {"src.mkv", 0, "c.mp4", 0, {}, End, None},  // the tone itself replaced
      {"src.mkv", 1, "d.mkv", 0, {1}, End, None},
      {"src.mp4", 1, "e.mkv", 0, {}, Middle, None},
      {"src.mp4", 0, "f.mp4", 0, {}, Start, None},
      {"src.mov", 0, "g.mkv", 0, {}, End, None},
      {"src.mov", 1, "h.mp4", 0, {}, Middle, None},
      {"src.mkv", 1, "i.mkv", 1, {0}, Middle, DropFrame},
      {"src.mkv", 0, "j.mp4", 1, {0}, Middle, ShiftAudio},
      {"src.mp4", 1, "k.mkv", 0, {}, Start, ShiftAudio},
      {"src.mkv", 1, "l.mkv", 1, {0}, End, DropTrack},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.source) + " -> " + row.output);
    const auto source = dir / row.source;
    // The track imported as the edit area would: the source's own decoding.
    std::vector<AudioTrack> sourceTracks;
    std::string error;
    ASSERT_TRUE(ListAudioTracks(source, sourceTracks, error)) << error;
    AudioFormat format;
    std::vector<float> timeline;
    ASSERT_TRUE(DecodeAudioTrack(source, sourceTracks[size_t(row.edited)], format, timeline, error)) << error;
    const uint64_t frames = timeline.size() / format.channels;
    VideoProbeResult probe;
    ASSERT_TRUE(ProbeVideo(source, probe, error, kFfmpeg)) << error;
    EXPECT_EQ(NewTrackFrames(frames, format.sampleRate, probe.duration), frames);  // the source track's length stands

    const uint64_t half = format.sampleRate / 2;
    const uint64_t cutFrom = row.cut == Start ? 0 : row.cut == Middle ? frames / 2 - half / 2 : frames - half;
    std::fill(timeline.begin() + std::ptrdiff_t(cutFrom * format.channels),
              timeline.begin() + std::ptrdiff_t((cutFrom + half) * format.channels), 0.0f);
    std::vector<FrameRange> kept;
    if (cutFrom > 0) kept.push_back({0, int64_t(cutFrom)});
    if (cutFrom + half < frames) kept.push_back({int64_t(cutFrom + half), int64_t(frames)});

    VideoEditedExportOptions options;
    options.codec = row.codec;
    options.editedOrdinal = row.edited;
    options.keep = row.keep;
    std::filesystem::path actual;
    ASSERT_TRUE(ExportVideoEditedViaFfmpeg(kFfmpeg, source, timeline, format, options, dir / row.output, actual, error,
                                           nullptr, {}))
        << error;
    const int index = row.keep.empty() || row.keep[0] > row.edited ? 0 : 1;

    std::filesystem::path checked = actual;
    const std::string q = test::Q(actual);
    const auto damaged = dir / ("damaged-" + std::string(row.output));
    if (row.damage == DropFrame) test::Make("-i " + q + " -map 0 -c copy -bsf:v 'noise=drop=eq(n\\,12)' " + test::Q(damaged));
    if (row.damage == ShiftAudio)
      test::Make("-i " + q + " -map 0:v -map 0:a -c:v copy -c:a " + (row.codec == 1 ? "flac" : "aac") +
                 " -af adelay=50:all=1 " + test::Q(damaged));
    if (row.damage == DropTrack) test::Make("-i " + q + " -map 0:v -map 0:a:1 -c copy " + test::Q(damaged));
    if (row.damage != None) checked = damaged;

    ExportCheckInput in;
    in.ffmpeg = kFfmpeg;
    in.source = source;
    in.output = checked;
    in.workFolder = dir.path();
    in.audioIndex = index;
    in.audioTracks = int(row.keep.size()) + 1;
    const ContiguousSamples track(timeline.data(), timeline.size() / format.channels, format.channels);
    in.samples = &track;
    in.format = format;
    in.windows = ChooseCheckWindows(kept, track, format.channels, format.sampleRate);
    ExportCheckResult result;
    ASSERT_TRUE(CheckVideoExport(in, result, error, {})) << error;
    switch (row.damage) {
      case None:
        EXPECT_TRUE(result.differences.empty()) << (result.differences.empty() ? "" : result.differences[0]);
        EXPECT_GT(result.windowsChecked, 2);
        break;
      case DropFrame:
        EXPECT_EQ(result.outputPicture.frames, result.sourcePicture.frames - 1);
        EXPECT_FALSE(result.differences.empty());
        break;
      case ShiftAudio:
        EXPECT_TRUE(std::any_of(result.differences.begin(), result.differences.end(), [](const std::string& d) {
          return d.find("声音错位约 50 毫秒（比剪辑结果晚）") != std::string::npos;
        })) << (result.differences.empty() ? "" : result.differences[0]);
        break;
      case DropTrack:
        EXPECT_EQ(result.audioTracks, 1);
        EXPECT_FALSE(result.differences.empty());
        break;
    }
    if (row.damage != None) continue;

    // Every output track has the title and language of the track it stands for.
    std::vector<AudioTrack> outputTracks;
    ASSERT_TRUE(ListAudioTracks(actual, outputTracks, error)) << error;
    std::vector<int32_t> ordinals = row.keep;
    ordinals.push_back(row.edited);
    std::sort(ordinals.begin(), ordinals.end());
    ASSERT_EQ(outputTracks.size(), ordinals.size());
    for (size_t i = 0; i < ordinals.size(); ++i) {
      EXPECT_EQ(outputTracks[i].name, sourceTracks[size_t(ordinals[i])].name) << i;
      EXPECT_EQ(outputTracks[i].language, sourceTracks[size_t(ordinals[i])].language) << i;
    }

    // The new track ends on the source track's last frame: FLAC to the frame;
    // AAC decodes in whole blocks of 1024 (Matroska also keeps the priming).
    const size_t decoded = test::DecodeAudio(actual, "0:a:" + std::to_string(index), dir.path()).size() /
                           format.channels;
    if (row.codec == 1) {
      EXPECT_EQ(decoded, frames);
    } else {
      const size_t priming = actual.extension() == ".mkv" ? 1024 : 0;
      EXPECT_GE(decoded, frames + priming);
      EXPECT_LT(decoded, frames + priming + 1024);
    }
  }
  // What other players see: ffprobe reads Matroska's title and MP4's handler name.
  auto tags = [&](const std::string& file, const std::string& stream) {
    const auto out = dir / (file + ".tags");
    test::Shell("ffprobe -v error -select_streams " + stream +
          " -show_entries stream_tags=title,handler_name,language -of default=nw=1 " + test::Q(dir / file) + " > " +
          test::Q(out));
    return test::ReadText(out);
  };
  EXPECT_EQ(tags("b.mkv", "a:1"), "TAG:language=eng\nTAG:title=Game\n");
  EXPECT_EQ(tags("a.mp4", "a:0"), "TAG:language=chi\nTAG:handler_name=解说\n");
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
