// The Windows cross build has no FFmpeg libraries: when the system reader
// cannot decode a file either, the user is told so plainly.
#include <gtest/gtest.h>

#include "media/audio_loader.h"
#include "media/audio_tracks.h"
#include "support/test_support.h"

namespace vesk {
namespace {

TEST(DecodeWithoutFfmpeg, UndecodableFileGetsAnHonestMessageEverywhere) {
  test::ScratchDir dir;
  const auto path = dir / "notes.mp3";
  const std::string text = "这不是声音，只是一段文字。\n";
  test::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
  const std::string honest = "系统解码器打不开这个文件，这个版本也没有内置 FFmpeg 解码库，解不了这种格式。";

  AudioFormat format;
  std::vector<float> samples;
  std::string error;
  EXPECT_FALSE(LoadAudioFile(path, format, samples, error));
  EXPECT_EQ(error, honest);

  std::vector<AudioTrack> tracks;
  EXPECT_FALSE(ListAudioTracks(path, tracks, error));
  EXPECT_EQ(error, honest);

  bool allSilent = true;
  EXPECT_FALSE(DecodeAudition(path, AudioTrack{0, 0, 44100, 2, "", ""}, 10, 60, format, samples, allSilent, error));
  EXPECT_EQ(error, honest);
  EXPECT_FALSE(allSilent);
}

TEST(DecodeWithoutFfmpeg, FoldersAndMissingFilesAreNamedAsSuch) {
  test::ScratchDir dir;
  struct Case {
    std::filesystem::path path;
    const char* message;
  } cases[] = {{dir.path(), "这是一个文件夹，不是音频文件。"}, {dir / "missing.mp3", "找不到这个文件。"}};
  for (const Case& c : cases) {
    AudioFormat format;
    std::vector<float> samples;
    std::string error;
    EXPECT_FALSE(LoadAudioFile(c.path, format, samples, error));
    EXPECT_EQ(error, c.message);
  }
}

}  // namespace
}  // namespace vesk
