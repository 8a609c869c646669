// The preview decoder against pictures the ffmpeg program extracts from the
// same H.264 file, its seeking and cache, and its refusals.
#include "video/preview_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/text.h"
#include "video/linux/video_media.h"

namespace vesk {
namespace {

using test::Make;
using test::Q;

class PreviewDecoderTest : public test::VideoTest {
 protected:
  // 3 s of 320×240 at 30 fps, a key frame every second, B-frames on.
  std::filesystem::path MakeVideo() {
    const auto path = dir / "clip.mp4";
    Make("-f lavfi -i testsrc2=size=320x240:rate=30:duration=3 -f lavfi -i sine=d=3 -c:v libx264 -g 30 -bf 2 "
         "-pix_fmt yuv420p -c:a aac -shortest " + Q(path));
    return path;
  }

  // The frame starting at `seconds` (a frame start at 30 fps) as ffmpeg
  // extracts it, RGB24 of the given size. ffmpeg starts at the first frame
  // at or after -ss, so a quarter frame earlier keeps rounding out of it.
  std::vector<uint8_t> Reference(const std::filesystem::path& video, double seconds, int w, int h) {
    const auto raw = dir / "ref.rgb";
    Make(Format("-ss %.6f -i %s -frames:v 1 -vf scale=%d:%d -f rawvideo -pix_fmt rgb24 %s", std::max(0.0, seconds - 0.25 / 30),
                      Q(video).c_str(), w, h, Q(raw).c_str()));
    std::string bytes;
    ReadWholeFile(raw, bytes);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
  }

  static double MeanAbsDiff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 255;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
    return sum / double(a.size());
  }
};

TEST_F(PreviewDecoderTest, PicturesMatchWhatFfmpegShowsAtTheSameTime) {
  const auto video = MakeVideo();
  PreviewDecoder decoder;
  std::string error;
  ASSERT_TRUE(decoder.Open(video, error)) << error;
  EXPECT_EQ(decoder.Width(), 320);
  EXPECT_EQ(decoder.Height(), 240);
  EXPECT_NEAR(decoder.DurationSeconds(), 3.0, 0.05);
  EXPECT_NEAR(decoder.FrameRate(), 30.0, 0.01);

  // In this order: forward from the start, a jump back, a step forward.
  struct Case {
    double seconds;
    int width, height;
  } cases[] = {{0.0, 320, 240}, {2.5, 320, 240}, {1.5, 320, 240}, {1.5 + 1 / 30.0, 160, 120}, {2.9, 320, 240}};
  const double frame = 1 / 30.0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    PreviewPicture picture;
    ASSERT_TRUE(decoder.PictureAt(c.seconds, c.width, c.height, PreviewPixels::Rgb24, picture, error)) << error;
    ASSERT_EQ(picture.width, c.width);
    ASSERT_EQ(picture.stride, size_t(c.width) * 3);
    EXPECT_NEAR(picture.frameTime, c.seconds, 0.001);
    const double same = MeanAbsDiff(picture.data, Reference(video, c.seconds, c.width, c.height));
    EXPECT_LT(same, 2.0);
    // The neighbouring frames differ more: the right frame was picked.
    for (const double other : {c.seconds - frame, c.seconds + frame}) {
      if (other < 0 || other >= 3.0) continue;
      EXPECT_LT(same, MeanAbsDiff(picture.data, Reference(video, other, c.width, c.height))) << other;
    }
  }
}

TEST_F(PreviewDecoderTest, FollowsForwardWithoutSeekingAndCachesTheLastPicture) {
  const auto video = MakeVideo();
  PreviewDecoder decoder;
  std::string error;
  ASSERT_TRUE(decoder.Open(video, error)) << error;
  PreviewPicture rgb, bgrx;
  ASSERT_TRUE(decoder.PictureAt(1.0, 64, 48, PreviewPixels::Rgb24, rgb, error)) << error;
  const PreviewDecoder::Counters afterSeek = decoder.Statistics();
  // Playing on at 30 fps within the same group of pictures never seeks.
  for (int i = 1; i <= 20; ++i) ASSERT_TRUE(decoder.PictureAt(1.0 + i / 30.0, 64, 48, PreviewPixels::Rgb24, rgb, error));
  EXPECT_EQ(decoder.Statistics().seeks, afterSeek.seeks);
  EXPECT_NEAR(rgb.frameTime, 1.0 + 20 / 30.0, 0.001);

  // The same frame again (a request inside its display time) is the cache.
  const uint64_t decoded = decoder.Statistics().framesDecoded;
  PreviewPicture again;
  ASSERT_TRUE(decoder.PictureAt(1.0 + 20 / 30.0 + 0.01, 64, 48, PreviewPixels::Rgb24, again, error));
  EXPECT_EQ(decoder.Statistics().framesDecoded, decoded);
  EXPECT_EQ(decoder.Statistics().cacheHits, afterSeek.cacheHits + 1);
  EXPECT_EQ(again.data, rgb.data);

  // The 32-bit layout carries the same pixels as B, G, R, unused (the scaler's
  // two conversions round a little differently).
  ASSERT_TRUE(decoder.PictureAt(again.requested, 64, 48, PreviewPixels::Bgrx32, bgrx, error));
  ASSERT_EQ(bgrx.data.size(), size_t(64 * 48 * 4));
  EXPECT_EQ(bgrx.stride, size_t(64 * 4));
  std::vector<uint8_t> asRgb;
  for (size_t p = 0; p < size_t(64 * 48); ++p)
    asRgb.insert(asRgb.end(), {bgrx.data[p * 4 + 2], bgrx.data[p * 4 + 1], bgrx.data[p * 4]});
  EXPECT_LT(MeanAbsDiff(asRgb, rgb.data), 1.0);
  // Past the end the last frame stays on screen.
  ASSERT_TRUE(decoder.PictureAt(60.0, 64, 48, PreviewPixels::Rgb24, rgb, error));
  EXPECT_NEAR(rgb.frameTime, 3.0 - 1 / 30.0, 0.001);
}

TEST_F(PreviewDecoderTest, RefusesWhatHasNoPictureAndKeepsNothing) {
  const auto video = MakeVideo();
  const auto audio = dir / "tone.m4a";
  Make("-f lavfi -i sine=d=1 -c:a aac " + Q(audio));
  const auto text = dir / "notes.mp4";
  test::WriteBytes(text, {'h', 'e', 'l', 'l', 'o', '\n'});
  const auto cover = dir / "cover.mp3";
  Make("-f lavfi -i sine=d=1 -f lavfi -i color=red:size=64x64:duration=1 -map 0 -map 1 -frames:v 1 -c:v png "
       "-disposition:v attached_pic -c:a libmp3lame " + Q(cover));
  struct Case {
    std::filesystem::path path;
    std::string start;  // the reason's beginning
  } cases[] = {
      {dir / "不存在-测试用.mp4", "找不到这个视频文件。"},
      {dir.path(), "这是一个文件夹，不是视频文件。"},
      {text, "不是能识别的视频文件。"},
      {audio, "这个文件里没有画面，没有可预览的内容。"},
      {cover, "这个文件里没有画面，没有可预览的内容。"},
  };
  PreviewDecoder decoder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.string());
    std::string error;
    ASSERT_TRUE(decoder.Open(video, error)) << error;  // a failed open drops the previous file too
    EXPECT_FALSE(decoder.Open(c.path, error));
    EXPECT_EQ(error.substr(0, c.start.size()), c.start) << error;
    EXPECT_FALSE(decoder.IsOpen());
    EXPECT_EQ(decoder.Width(), 0);
    EXPECT_EQ(decoder.DurationSeconds(), 0);
    PreviewPicture picture;
    EXPECT_FALSE(decoder.PictureAt(0, 16, 16, PreviewPixels::Rgb24, picture, error));
    EXPECT_TRUE(picture.data.empty());
  }
}

}  // namespace
}  // namespace vesk
