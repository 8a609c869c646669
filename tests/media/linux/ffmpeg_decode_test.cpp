// Decoding real media made at test time by the ffmpeg program, compared with
// that program's own float output of the same stream; track listing, mixing,
// the audition excerpt, the video probe fields and every error message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/audio_loader.h"
#include "media/audio_tracks.h"
#include "media/ffmpeg_decoder.h"
#include "media/resample.h"
#include "media/sample_convert.h"
#include "media/wav_reader.h"
#include "platform/file.h"
#include "platform/text.h"
#include "support/decode_cases.h"
#include "support/test_support.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

// One scratch folder of generated media for the whole suite: each file is
// made once by the ffmpeg program.
class Media : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir_ = new test::ScratchDir(); }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!test::HaveTool("ffmpeg")) VESK_MISSING_PART("the ffmpeg program is not installed");
  }

  // Runs ffmpeg with `args` writing `name` (once per suite).
  static fs::path Make(const std::string& name, const std::string& args) {
    const fs::path path = *dir_ / name;
    if (!fs::exists(path)) {
      const int rc = test::Shell("ffmpeg -nostdin -v error -y " + args + " '" + PathToUtf8(path) + "'");
      EXPECT_EQ(rc, 0) << name;
    }
    return path;
  }

  // The ffmpeg program's decode of the ordinal-th audio stream as floats.
  static std::vector<float> Reference(const fs::path& path, int ordinal = 0) {
    const fs::path raw = *dir_ / (path.filename().string() + Format(".%d.f32", ordinal));
    EXPECT_EQ(test::Shell(Format("ffmpeg -nostdin -v error -y -i '%s' -map 0:a:%d -f f32le '%s'",
                                 PathToUtf8(path).c_str(), ordinal, PathToUtf8(raw).c_str())),
              0);
    std::string bytes;
    ReadWholeFile(raw, bytes);
    std::vector<float> out(bytes.size() / 4);
    std::memcpy(out.data(), bytes.data(), out.size() * 4);
    return out;
  }

  static fs::path Dir() { return dir_->path(); }

 private:
  static test::ScratchDir* dir_;
};
test::ScratchDir* Media::dir_ = nullptr;

// Left channel 440 Hz, right channel 660 Hz: the two inputs, then the
// filter that joins them (it must follow every input).
std::string ToneInputs(uint32_t rate) {
  return Format("-f lavfi -i sine=f=440:d=2:r=%u -f lavfi -i sine=f=660:d=2:r=%u ", rate, rate);
}
const char kToneJoin[] = "-filter_complex '[0:a][1:a]join=inputs=2:channel_layout=stereo[st]' -map '[st]' ";

std::string Tone(uint32_t rate) { return ToneInputs(rate) + kToneJoin; }

// The decoder's output for every file of the shared media list equals the
// ffmpeg program's float decode of the same stream (the Windows test program
// checks the same files, made by the same script).
TEST_F(Media, LoadAudioFileMatchesTheFfmpegProgramSampleForSample) {
  const fs::path media = Dir() / "decode";
  ASSERT_EQ(test::Shell("'" VESK_SOURCE_DIR "/scripts/make-decode-media.sh' '" + PathToUtf8(media) + "'"), 0);
  const std::vector<test::DecodeCase> cases = test::ReadDecodeCases(media);
  ASSERT_GE(cases.size(), 13u);
  for (const test::DecodeCase& c : cases) test::ExpectDecodesLikeReference(media, c);
}

// Containers that count their frames (an MP3 frame-count header, FLAC
// stream info, MP4 sample tables) size the decode's buffer from the count:
// no more than a few codec frames past the samples, never short of them. An
// ADTS stream states nothing and gets an estimate with a wider margin.
TEST_F(Media, CountedLengthsSizeTheBufferExactly) {
  const fs::path media = Dir() / "decode";
  ASSERT_EQ(test::Shell("'" VESK_SOURCE_DIR "/scripts/make-decode-media.sh' '" + PathToUtf8(media) + "'"), 0);
  const std::pair<const char*, bool> cases[] = {{"tone.mp3", true},    {"tone16.flac", true}, {"tone24.flac", true},
                                                {"tone.m4a", true},    {"h264.mp4", true},    {"surround.m4a", true},
                                                {"tone.aac", false}};
  for (const auto& [name, counted] : cases) {
    SCOPED_TRACE(name);
    AudioFormat format;
    std::vector<float> samples;
    std::string error;
    ASSERT_TRUE(DecodeWithFfmpeg(media / name, 0, format, samples, error)) << error;
    const size_t slackFrames = (samples.capacity() - samples.size()) / format.channels;
    // The count may include an MP4 priming block or an MP3 frame of padding.
    EXPECT_EQ(slackFrames <= kCountedFramesSlack + 2048, counted) << slackFrames;
  }
}

// Three audio tracks with titles and languages; the second carries the
// commentary.
class MultiTrack : public Media {
 protected:
  static fs::path File() {
    return Make("three.mkv",
                "-f lavfi -i sine=f=300:d=2:r=48000 -f lavfi -i sine=f=500:d=2:r=48000 "
                "-f lavfi -i sine=f=700:d=3:r=44100 "
                "-map 0:a -map 1:a -map 2:a -ac:0 2 -ac:1 2 -c:a flac "
                "-metadata:s:a:0 title=Main -metadata:s:a:0 language=chi "
                "-metadata:s:a:1 title=Commentary -metadata:s:a:1 language=eng");
  }
};

TEST_F(MultiTrack, ListsEveryAudioTrackWithTitleAndLanguage) {
  std::vector<AudioTrack> tracks;
  std::string error;
  ASSERT_TRUE(ListAudioTracks(File(), tracks, error)) << error;
  ASSERT_EQ(tracks.size(), 3u);
  EXPECT_EQ(tracks[0], (AudioTrack{0, 0, 48000, 2, "Main", "chi"}));
  EXPECT_EQ(tracks[1], (AudioTrack{1, 1, 48000, 2, "Commentary", "eng"}));
  EXPECT_EQ(tracks[2], (AudioTrack{2, 2, 44100, 1, "", ""}));
  EXPECT_EQ(TrackLabel(tracks[1]), "轨道 2 · 48000 Hz · 立体声 · Commentary（eng）");
  EXPECT_EQ(TrackLabel(tracks[2]), "轨道 3 · 44100 Hz · 单声道");
}

TEST_F(MultiTrack, DecodesTheChosenTrackByItsOrdinal) {
  for (int ordinal : {1, 2}) {
    AudioFormat format;
    std::vector<float> samples;
    std::string error;
    ASSERT_TRUE(DecodeWithFfmpeg(File(), ordinal, format, samples, error)) << error;
    EXPECT_EQ(samples, Reference(File(), ordinal));
  }
  AudioFormat format;
  std::vector<float> samples;
  std::string error;
  EXPECT_FALSE(DecodeWithFfmpeg(File(), 3, format, samples, error));
  EXPECT_EQ(error, "这个文件里没有声音。");
}

TEST_F(Media, MixingMonoAndStereoTracksOfDifferentRatesNormalisesTheSum) {
  // 2 s of mono at 44.1 kHz and 3 s of stereo at 48 kHz, both near full
  // scale and in phase, so their sum clips.
  const fs::path path = Make("mix.mkv",
                             "-f lavfi -i sine=f=200:d=2:r=44100 -f lavfi -i sine=f=200:d=3:r=48000 "
                             "-filter_complex '[0:a]volume=7[m];[1:a]volume=7,aformat=channel_layouts=stereo[s]' "
                             "-map '[m]' -map '[s]' -c:a flac");
  std::vector<AudioTrack> tracks;
  std::string error;
  ASSERT_TRUE(ListAudioTracks(path, tracks, error)) << error;
  ASSERT_EQ(tracks.size(), 2u);
  AudioFormat format;
  std::vector<float> samples;
  ASSERT_TRUE(DecodeAllTracksMixed(path, tracks, format, samples, error)) << error;
  EXPECT_EQ(format, (AudioFormat{44100, 2, 16}));
  const double seconds = double(samples.size()) / 2 / 44100;
  EXPECT_NEAR(seconds, 3.0, 0.01);
  float peak = 0;
  for (float v : samples) peak = std::max(peak, std::fabs(v));
  EXPECT_FLOAT_EQ(peak, 1.0f);
  // After the mono track ends only the stereo one sounds, scaled down.
  const size_t late = size_t(2.5 * 44100) * 2;
  float latePeak = 0;
  for (size_t i = late; i < late + 44100; ++i) latePeak = std::max(latePeak, std::fabs(samples[i]));
  EXPECT_GT(latePeak, 0.3f);
  EXPECT_LT(latePeak, 0.75f);
  // There it is the 48 kHz track as the one-buffer resampler makes it,
  // scaled: the mix interpolates it as it reads it.
  AudioFormat stereo;
  std::vector<float> track, resampled;
  ASSERT_TRUE(DecodeAudioTrack(path, tracks[1], stereo, track, error)) << error;
  ASSERT_TRUE(ResampleAudio(track, 48000, 44100, 2, resampled, error));
  ASSERT_EQ(resampled.size(), samples.size());
  const float scale = latePeak / [&] {
    float p = 0;
    for (size_t i = late; i < late + 44100; ++i) p = std::max(p, std::fabs(resampled[i]));
    return p;
  }();
  for (size_t i = late; i < late + 44100; ++i) ASSERT_NEAR(samples[i], scale * resampled[i], 1e-5) << i;

  // The same sum with the 48 kHz track and the sum itself past a 1 MiB
  // spill limit.
  SampleSpill spill(1 << 20);
  std::vector<float> rest;
  ASSERT_TRUE(DecodeAllTracksMixed(path, tracks, format, rest, error, &spill, 1 << 20)) << error;
  const auto file = spill.Finish(rest, format, error);
  ASSERT_NE(file, nullptr) << error;
  ASSERT_EQ(file->Layout().Frames() * 2, samples.size());
  std::vector<float> back(samples.size());
  file->Read(0, file->Layout().Frames(), back.data());
  EXPECT_EQ(back, samples);
}

TEST_F(Media, AuditionStartsAtTheFirstSoundAndLastsTenSeconds) {
  const fs::path path = Make("late.flac",
                             "-f lavfi -i anullsrc=r=44100:cl=stereo:d=20 -f lavfi -i sine=f=440:d=15:r=44100 "
                             "-filter_complex '[1:a]aformat=channel_layouts=stereo[t];[0:a][t]concat=n=2:v=0:a=1' "
                             "-c:a flac");
  const AudioTrack track{0, 0, 44100, 2, "", ""};
  AudioFormat format;
  std::vector<float> samples;
  bool allSilent = true;
  std::string error;
  ASSERT_TRUE(DecodeAudition(path, track, 10.0, 60.0, format, samples, allSilent, error)) << error;
  EXPECT_FALSE(allSilent);
  EXPECT_EQ(format, (AudioFormat{44100, 2, 16}));
  EXPECT_EQ(samples.size(), 441000u * 2);
  // The clip begins with the decoded block holding the onset (FLAC blocks
  // are 4608 frames).
  const auto loud = std::find_if(samples.begin(), samples.end(), [](float v) { return std::fabs(v) > 0.01f; });
  ASSERT_NE(loud, samples.end());
  EXPECT_LT(size_t(loud - samples.begin()) / 2, 4608u);
}

TEST_F(Media, AuditionOfSixtySecondsOfSilenceIsAllSilent) {
  const fs::path path = Make("silent.flac", "-f lavfi -i anullsrc=r=8000:cl=mono:d=70 -c:a flac");
  AudioFormat format;
  std::vector<float> samples{1.0f};
  bool allSilent = false;
  std::string error;
  ASSERT_TRUE(DecodeAudition(path, AudioTrack{0, 0, 8000, 1, "", ""}, 10.0, 60.0, format, samples, allSilent,
                             error))
      << error;
  EXPECT_TRUE(allSilent);
  EXPECT_TRUE(samples.empty());
  EXPECT_TRUE(error.empty());
}

TEST_F(Media, AuditionOfASurroundTrackWithSoundOnlyInTheCentrePlaysItOnBothSides) {
  const fs::path path = Make("centre.mka", "-f lavfi -i sine=f=440:d=3:r=48000 -filter_complex "
                                           "'[0:a]pan=5.1|FC=c0[a]' -map '[a]' -c:a flac");
  AudioFormat format;
  std::vector<float> samples;
  bool allSilent = true;
  std::string error;
  ASSERT_TRUE(DecodeAudition(path, AudioTrack{0, 0, 48000, 6, "", ""}, 10.0, 60.0, format, samples, allSilent,
                             error))
      << error;
  ASSERT_FALSE(allSilent);
  EXPECT_EQ(format, (AudioFormat{48000, 2, 16}));
  ASSERT_GE(samples.size(), 2u * 48000 * 2);
  // The generator's sine has amplitude 1/8; the centre comes in at -3 dB,
  // each side normalised by its weights (front, centre, surround).
  const double expected = 0.125 * 0.70710678 / (1 + 2 * 0.70710678) / std::sqrt(2.0);
  for (size_t ch = 0; ch < 2; ++ch) {
    double sum = 0;
    for (size_t i = ch; i < samples.size(); i += 2) sum += double(samples[i]) * samples[i];
    EXPECT_NEAR(std::sqrt(sum / double(samples.size() / 2)), expected, expected * 0.02) << "channel " << ch;
  }
}

TEST_F(Media, AuditionOfAMissingTrackNamesIt) {
  const fs::path path = Make("tone.mp3", Tone(44100) + "-c:a libmp3lame -b:a 192k");
  AudioFormat format;
  std::vector<float> samples;
  bool allSilent = false;
  std::string error;
  EXPECT_FALSE(DecodeAudition(path, AudioTrack{5, 5, 0, 0, "", ""}, 10, 60, format, samples, allSilent, error));
  EXPECT_EQ(error, "这个文件里没有这条音轨。");
}

TEST_F(Media, FfmpegKeepsAllSixChannelsOfASurroundTrack) {
  const fs::path path = Make("surround.m4a",
                             "-f lavfi -i sine=f=440:d=2:r=48000 -filter_complex "
                             "'[0:a]asplit=6[a][b][c][d][e][f];[a][b][c][d][e][f]join=inputs=6:channel_layout=5.1' "
                             "-c:a aac");
  std::vector<AudioTrack> tracks;
  std::string error;
  ASSERT_TRUE(ListAudioTracks(path, tracks, error));
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(tracks[0].channels, 6u);
  // Mixed alone it becomes stereo; the audition keeps two channels.
  AudioFormat format;
  std::vector<float> samples;
  ASSERT_TRUE(DecodeAllTracksMixed(path, tracks, format, samples, error)) << error;
  EXPECT_EQ(format, (AudioFormat{48000, 2, 16}));
  bool allSilent = true;
  ASSERT_TRUE(DecodeAudition(path, tracks[0], 10, 60, format, samples, allSilent, error)) << error;
  EXPECT_EQ(format.channels, 2);
}

TEST_F(Media, ErrorsNameTheirCause) {
  const fs::path text = Dir() / "letter.mp3";
  std::string words;
  for (int i = 0; i < 100; ++i) words += "这是一封信，不是声音。Dear friend, this is a letter.\n";
  test::WriteBytes(text, std::vector<uint8_t>(words.begin(), words.end()));
  const fs::path mp4 = Make("long.mp4",
                            "-f lavfi -i testsrc=s=320x240:r=25:d=4 -f lavfi -i sine=d=4 -c:v libx264 "
                            "-pix_fmt yuv420p -c:a aac -shortest");
  const fs::path truncated = Dir() / "truncated.mp4";
  {
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(mp4, bytes));
    bytes.resize(bytes.size() / 3);
    test::WriteBytes(truncated, std::vector<uint8_t>(bytes.begin(), bytes.end()));
  }
  const fs::path adpcm = Make("adpcm.wav", "-f lavfi -i sine=d=1 -c:a adpcm_ms");
  struct Case {
    fs::path path;
    std::string message;
  } cases[] = {
      {Dir(), "这是一个文件夹，不是音频文件。"},
      {Dir() / "missing.mp3", "找不到这个文件。"},
      {truncated, "打不开（Invalid data found when processing input）。"},
      {adpcm, "这个 WAV 用的是压缩编码，暂不支持。"},
  };
  for (const Case& c : cases) {
    AudioFormat format;
    std::vector<float> samples;
    std::string error;
    EXPECT_FALSE(LoadAudioFile(c.path, format, samples, error)) << c.path;
    EXPECT_EQ(error, c.message) << c.path;
    EXPECT_TRUE(samples.empty());
  }
  // A text file named .mp3: the reason is the library's own wording.
  AudioFormat format;
  std::vector<float> samples;
  std::string error;
  EXPECT_FALSE(LoadAudioFile(text, format, samples, error));
  EXPECT_EQ(error.rfind("打不开（", 0), 0u) << error;
  EXPECT_TRUE(error.ends_with("）。")) << error;

  std::vector<AudioTrack> tracks;
  EXPECT_FALSE(ListAudioTracks(Dir() / "missing.mkv", tracks, error));
  EXPECT_EQ(error, "找不到这个文件。");
}

TEST_F(Media, FileWithoutSoundIsRefused) {
  const fs::path path = Make("mute.mp4", "-f lavfi -i testsrc=s=160x120:r=25:d=1 -c:v libx264 -pix_fmt yuv420p");
  AudioFormat format;
  std::vector<float> samples;
  std::string error;
  EXPECT_FALSE(LoadAudioFile(path, format, samples, error));
  EXPECT_EQ(error, "这个文件里没有声音。");
}

TEST_F(Media, VideoProbeNamesThePictureAndIgnoresCoverArt) {
  struct Case {
    fs::path path;
    bool hasVideo;
    const char* display;
    const char* codec;
    int width;
  } cases[] = {
      {Make("h264.mp4",
            "-f lavfi -i testsrc=s=160x120:r=25:d=2 -f lavfi -i sine=f=440:d=2:r=48000 "
            "-c:v libx264 -pix_fmt yuv420p -c:a aac -shortest"),
       true, "H.264", "h264", 160},
      {Make("vp9.webm", ToneInputs(48000) + "-f lavfi -i testsrc=s=160x120:r=25:d=2 " + kToneJoin + "-map 2:v -c:v libvpx-vp9 "
                                          "-deadline realtime -c:a libopus -shortest"),
       true, "VP8/VP9", "vp9", 160},
      {Make("cover.mp3", ToneInputs(44100) + "-f lavfi -i color=c=red:s=64x64:d=1 " + kToneJoin + "-map 2:v -frames:v 1 "
                                       "-c:v mjpeg -disposition:v attached_pic -id3v2_version 3 -c:a libmp3lame"),
       false, "", "", 0},
  };
  for (const Case& c : cases) {
    FfmpegVideoProbe probe;
    probe.canMux = true;
    std::string error;
    ASSERT_TRUE(ProbeVideoWithFfmpeg(c.path, probe, error)) << error;
    EXPECT_EQ(probe.hasVideo, c.hasVideo) << c.path;
    EXPECT_EQ(probe.displayName, c.display);
    EXPECT_EQ(probe.codecName, c.codec);
    EXPECT_EQ(probe.width, c.width);
    EXPECT_FALSE(probe.canMux);
    EXPECT_NEAR(probe.duration, 2.0, 0.2);
    if (c.hasVideo) {
      EXPECT_EQ(probe.height, 120);
      EXPECT_NEAR(probe.frameRate, 25.0, 0.01);
    }
  }
  FfmpegVideoProbe probe;
  std::string error;
  EXPECT_FALSE(ProbeVideoWithFfmpeg(Dir() / "none.mp4", probe, error));
  EXPECT_EQ(error, "找不到这个文件。");
}

}  // namespace
}  // namespace vesk
