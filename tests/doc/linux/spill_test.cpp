// Decodes past the spill limit go to a private temporary file (its own test:
// tests/media/sample_spill_test.cpp): the clip reads back sample for sample
// as the in-memory decode, and edits and undo work over it.
#include <gtest/gtest.h>

#include <filesystem>

#include "doc/audio_doc.h"
#include "support/test_support.h"

namespace vesk {
namespace {

TEST(AudioDocSpill, LongDecodeIsReadFromTheSpillFileSampleForSample) {
  if (!test::HaveTool("ffmpeg")) VESK_MISSING_PART("ffmpeg missing");
  test::ScratchDir dir;
  for (const char* name : {"tone.flac", "tone.mp3"}) {
    SCOPED_TRACE(name);
    const auto path = dir.path() / name;
    // 12 s of stereo: 4.6 MB of floats, past a 1 MiB limit.
    ASSERT_EQ(test::Shell("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=12:sample_rate=48000 "
                          "-ac 2 '" + path.string() + "'"), 0);
    std::string error;
    LoadedAudio inMemory;
    ASSERT_TRUE(ReadAudioFile(path, inMemory, error, uint64_t(1) << 30)) << error;
    AudioDoc doc;
    ASSERT_TRUE(doc.Load(path, error, uint64_t(1) << 20)) << error;
    uint64_t run = 0;
    EXPECT_EQ(doc.Samples().Span(0, run), nullptr) << "the frames live in the file";
    const std::vector<float> original = doc.CopySamples();
    ASSERT_EQ(original.size(), inMemory.samples.Frames() * 2);
    std::vector<float> reference(original.size());
    ReadFrames(inMemory.samples, 0, inMemory.samples.Frames(), 2, reference.data());
    EXPECT_EQ(original, reference);

    doc.SetSelection(48000, 5 * 48000);
    ASSERT_TRUE(doc.DeleteSelection(error)) << error;
    EXPECT_EQ(doc.Frames(), inMemory.samples.Frames() - 4 * 48000);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.CopySamples(), original);
  }
}

}  // namespace
}  // namespace vesk
