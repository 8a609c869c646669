// The pass-through engine (FFmpeg libraries) against real media.
#include "video/pass_through.h"

#include "video_media.h"

namespace vesk {
namespace {

struct PassCase {
  const char* name;
  uint32_t codec;
  double audioSeconds;
};

class PassThrough : public test::VideoTest, public testing::WithParamInterface<PassCase> {};

TEST_P(PassThrough, AudioIsFittedToThePictureAndPicturePacketsAreCopied) {
  const auto source = dir / "clip.mp4";
  test::Make("-f lavfi -i testsrc=size=160x120:rate=25:d=2 -c:v libx264 -pix_fmt yuv420p " + test::Q(source));
  const AudioFormat format{48000, 2, 16};
  const size_t frames = size_t(48000 * GetParam().audioSeconds);
  const std::vector<float> samples(frames * 2, 0.25f);
  VideoEditedExportOptions options;
  options.codec = GetParam().codec;
  std::string error;
  double duration = -1;
  const auto out = dir / "out.mp4";
  ASSERT_TRUE(ExportVideoPassThrough(source, samples, format, options, out, error, &duration)) << error;
  EXPECT_NEAR(duration, 2.0, 0.01);
  EXPECT_EQ(test::StreamMd5(out, "0:v:0"), test::StreamMd5(source, "0:v:0"));
  EXPECT_EQ(test::StreamEntry(out, "a:0", "codec_name"), options.codec == 1 ? "flac" : "aac");
  const std::vector<float> decoded = test::DecodeAudio(out, "0:a:0", dir.path());
  const size_t want = 96000 * 2;  // round(48000 x 2 s) frames
  if (options.codec == 1) {
    ASSERT_EQ(decoded.size(), want);
    const size_t real = std::min(frames, size_t(96000)) * 2;
    for (size_t i = 0; i < decoded.size(); ++i) ASSERT_NEAR(decoded[i], i < real ? 0.25f : 0.0f, 1e-4) << i;
  } else {
    EXPECT_NEAR(double(decoded.size()), double(want), 2048 * 2);  // AAC frame granularity
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, PassThrough,
                         testing::Values(PassCase{"AacShorterAudioPadded", 0, 1.0},
                                         PassCase{"AacLongerAudioCut", 0, 3.0},
                                         PassCase{"FlacShorterAudioPadded", 1, 0.5},
                                         PassCase{"FlacLongerAudioCut", 1, 2.7}),
                         [](const auto& info) { return std::string(info.param.name); });

using PassThroughRefusal = test::VideoTest;

TEST_F(PassThroughRefusal, HevcAndPictureLessSourcesAreRefusedBeforeAFileIsCreated) {
  const auto hevc = dir / "hevc.mp4";
  test::Make("-f lavfi -i testsrc=size=160x120:rate=25:d=1 -c:v libx265 -x265-params log-level=error " +
             test::Q(hevc));
  const auto wav = dir / "tone.wav";
  test::Make("-f lavfi -i sine=r=48000:d=1 " + test::Q(wav));
  const std::vector<float> samples(4800, 0.1f);
  const AudioFormat format{48000, 1, 16};
  std::string error;
  double duration = -1;
  EXPECT_FALSE(ExportVideoPassThrough(hevc, samples, format, {}, dir / "o1.mp4", error, &duration));
  EXPECT_EQ(error, "这条 MF 直通管线只支持 H.264 画面，这个文件是 hevc");
  EXPECT_FALSE(ExportVideoPassThrough(wav, samples, format, {}, dir / "o2.mp4", error, &duration));
  EXPECT_EQ(error, "这个文件里没有画面（是纯音频），导出音频就行。");
  EXPECT_FALSE(ExportVideoPassThrough(hevc, {}, format, {}, dir / "o3.mp4", error, &duration));
  EXPECT_EQ(error, "剪辑区里没有音频，没法装回视频。");
  for (const char* name : {"o1.mp4", "o2.mp4", "o3.mp4"}) EXPECT_FALSE(std::filesystem::exists(dir / name));
}

}  // namespace
}  // namespace vesk
