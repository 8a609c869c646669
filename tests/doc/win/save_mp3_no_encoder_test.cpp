// Saving as MP3 where the system has no MP3 encoder (as under Wine).
#include <gtest/gtest.h>

#include "doc/audio_doc.h"
#include "doc/doc_test_clips.h"
#include "media/mp3_encoder.h"
#include "support/test_support.h"

namespace vesk {
namespace {

TEST(SaveMp3Windows, WithoutAnEncoderFailsWithTheMessageAndWritesNothing) {
  if (Mp3EncoderAvailable()) GTEST_SKIP() << "this system has an MP3 encoder";
  test::ScratchDir dir;
  AudioDoc doc;
  test::AdoptClip(doc, test::Sine(4800, 2, 440, 48000, 0.5, 1.0));
  doc.SetSelection(0, 10);
  std::string error;
  ASSERT_TRUE(doc.SilenceSelection(error));
  EXPECT_FALSE(doc.Save(dir / "out.mp3", true, 192, error));
  EXPECT_EQ(error, "系统没有可用的 MP3 编码器。请改用 WAV 录制，或在 Windows 设置里安装媒体功能包。");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(doc.DisplayName(), "take.wav");
}

}  // namespace
}  // namespace vesk
