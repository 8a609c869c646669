// Where the system has no MP3 encoder (as under Wine), the sink refuses to
// open and creates no file.
#include <gtest/gtest.h>

#include "media/mp3_sink.h"
#include "support/test_support.h"

namespace vesk {
namespace {

TEST(Mp3SinkWindows, WithoutASystemEncoderOpenFailsAndCreatesNoFile) {
  if (Mp3EncoderAvailable()) GTEST_SKIP() << "this system has an MP3 encoder";
  test::ScratchDir dir;
  Mp3Sink sink;
  std::string error;
  EXPECT_FALSE(sink.Open(dir / "x.mp3", AudioFormat{44100, 2, 16}, 192, error));
  EXPECT_EQ(error, "系统没有可用的 MP3 编码器。请改用 WAV 录制，或在 Windows 设置里安装媒体功能包。");
  EXPECT_FALSE(std::filesystem::exists(dir / "x.mp3"));
  error.clear();
  EXPECT_FALSE(WriteMp3File(dir / "y.mp3", AudioFormat{44100, 2, 16}, std::vector<float>(4410, 0.1f), 128, error));
  EXPECT_EQ(error, "系统没有可用的 MP3 编码器。请改用 WAV 录制，或在 Windows 设置里安装媒体功能包。");
  EXPECT_FALSE(std::filesystem::exists(dir / "y.mp3"));
}

}  // namespace
}  // namespace vesk
