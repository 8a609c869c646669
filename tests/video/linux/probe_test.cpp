// ProbeVideo against real media made with the ffmpeg program.
#include "video/media_probe.h"

#include "platform/folders.h"

#include "video_media.h"

namespace vesk {
namespace {

struct ProbeCase {
  const char* name;
  const char* file;
  std::string make;  // ffmpeg arguments before the output; empty = garbage bytes
  const char* encoder;
  bool ok, hasVideo, canMux, canExport;
  const char* codec;
};

class ProbeVideoTable : public test::VideoTest, public testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeVideoTable, AnswersTheThreeQuestions) {
  const ProbeCase& c = GetParam();
  if (c.encoder && !test::HaveEncoder(c.encoder)) VESK_MISSING_PART(std::string(c.encoder) + " missing");
  const auto file = dir / c.file;
  if (c.make.empty())
    test::WriteBytes(file, std::vector<uint8_t>(4096, 0x5A));
  else
    test::Make(c.make + " " + test::Q(file));
  VideoProbeResult r;
  std::string error;
  ASSERT_EQ(ProbeVideo(file, r, error, "/usr/bin/ffmpeg"), c.ok) << error;
  EXPECT_EQ(r.hasVideo, c.hasVideo);
  EXPECT_EQ(r.canMux, c.canMux);
  EXPECT_EQ(r.canExport, c.canExport);
  EXPECT_EQ(r.codec, c.codec);
  if (!c.ok) {
    EXPECT_EQ(error, "这个文件打不开（不是认识的视频，或缺解码器）。");
    return;
  }
  EXPECT_TRUE(error.empty());
  EXPECT_NEAR(r.duration, 1.0, 0.1);
  EXPECT_TRUE(r.viaFfmpeg);  // no system reader here: FFmpeg answers everything
}

const std::string kPicture = "-f lavfi -i testsrc=size=160x120:rate=25:d=1 -pix_fmt yuv420p";
const std::string kTone = "-f lavfi -i sine=f=440:r=48000:d=1";

INSTANTIATE_TEST_SUITE_P(
    Media, ProbeVideoTable,
    testing::Values(
        // Only H.264 is offered to the pass-through engine.
        ProbeCase{"H264Mp4", "a.mp4", kPicture + " -c:v libx264", "libx264", true, true, true, true, "h264"},
        ProbeCase{"HevcMp4", "a.mp4", kPicture + " -c:v libx265 -x265-params log-level=error", "libx265", true, true,
                  true, false, "hevc"},
        ProbeCase{"Vp9Webm", "a.webm", kPicture + " -c:v libvpx-vp9 -b:v 100k", "libvpx-vp9", true, true, true, false,
                  "vp9"},
        ProbeCase{"Av1Mkv", "a.mkv", kPicture + " -c:v libaom-av1 -cpu-used 8 -b:v 100k", "libaom-av1", true, true,
                  true, false, "av1"},
        ProbeCase{"AudioOnlyWav", "a.wav", kTone, nullptr, true, false, false, false, ""},
        ProbeCase{"CoverArtMp3", "a.mp3",
                  kTone + " -f lavfi -i color=c=red:size=64x64:d=0.04 -map 0:a -map 1:v -c:a libmp3lame -c:v mjpeg "
                          "-disposition:v attached_pic -id3v2_version 3",
                  nullptr, true, false, false, false, ""},
        ProbeCase{"Garbage", "a.mp4", "", nullptr, false, false, false, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

using MuxProbeRun = test::VideoTest;

TEST_F(MuxProbeRun, CopiesAPictureAndLeavesNoFilesOfItsOwnBehind) {
  // A temp folder of its own: the shared one may hold another run's probe.
  std::filesystem::create_directory(dir / "tmp");
  const test::EnvOverride temp("TMPDIR", (dir / "tmp").string());
  const auto file = dir / "a.mkv";
  test::Make(kPicture + " -c:v libx264 " + test::Q(file));
  EXPECT_TRUE(MuxProbe("/usr/bin/ffmpeg", file));
  EXPECT_FALSE(MuxProbe("", file));
  EXPECT_FALSE(MuxProbe("/usr/bin/ffmpeg", dir / "missing.mkv"));
  ASSERT_EQ(TempDir(), dir / "tmp");
  for (const auto& entry : std::filesystem::directory_iterator(TempDir()))
    EXPECT_EQ(entry.path().filename().string().rfind("VESK_muxprobe_", 0), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace vesk
