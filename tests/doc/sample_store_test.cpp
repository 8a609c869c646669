// The document's piece sequence against plain buffers: edits read back as
// the same edit on a vector, silence and shared pieces cost no samples, and
// a storage kept by several states counts once.
#include <gtest/gtest.h>

#include <fstream>

#include "doc/audio_doc.h"
#include "doc/sample_store.h"
#include "media/wav_reader.h"
#include "media/wav_sink.h"
#include "support/test_support.h"

namespace vesk {
namespace {

std::vector<float> Ramp(uint64_t frames, size_t ch) {
  std::vector<float> v(frames * ch);
  for (size_t i = 0; i < v.size(); ++i) v[i] = float(i + 1);
  return v;
}

TEST(SampleSequence, EditsReadBackAsTheSameEditsOnABuffer) {
  constexpr size_t kCh = 2;
  std::vector<float> model = Ramp(1000, kCh);
  SampleSequence seq(Ramp(1000, kCh), kCh);
  struct Step {
    char op;  // d: delete, r: replace with n frames, s: silence, t: keep only [a, b)
    uint64_t a, b, n;
  } steps[] = {{'d', 100, 200, 0}, {'r', 50, 60, 25}, {'s', 0, 10, 0},  {'d', 890, 900, 0},
               {'r', 0, 0, 5},     {'s', 300, 700, 0}, {'t', 3, 880, 0}, {'d', 0, 1, 0}};
  float next = -1;
  for (const Step& st : steps) {
    SCOPED_TRACE(std::string(1, st.op) + std::to_string(st.a));
    auto at = [&](uint64_t f) { return model.begin() + std::ptrdiff_t(f * kCh); };
    if (st.op == 'd') {
      model.erase(at(st.a), at(st.b));
      seq = seq.Replaced(st.a, st.b, {});
    } else if (st.op == 'r') {
      std::vector<float> in(st.n * kCh);
      for (float& v : in) v = next--;
      model.erase(at(st.a), at(st.b));
      model.insert(at(st.a), in.begin(), in.end());
      seq = seq.Replaced(st.a, st.b, std::move(in));
    } else if (st.op == 's') {
      std::fill(at(st.a), at(st.b), 0.0f);
      seq = seq.Silenced(st.a, st.b);
    } else {
      model = std::vector<float>(at(st.a), at(st.b));
      seq = seq.Slice(st.a, st.b);
    }
    ASSERT_EQ(seq.Frames() * kCh, model.size());
    ASSERT_EQ(seq.Copy(0, seq.Frames()), model);
    // Every span lies inside one piece and agrees with the buffer.
    for (uint64_t f = 0; f < seq.Frames(); f += 37) {
      uint64_t count = 0;
      const float* p = seq.Span(f, count);
      ASSERT_TRUE(p != nullptr && count >= 1 && f + count <= seq.Frames());
      EXPECT_EQ(p[0], model[f * kCh]);
      EXPECT_EQ(p[(count - 1) * kCh + 1], model[(f + count - 1) * kCh + 1]);
    }
  }
  uint64_t count = 7;
  EXPECT_EQ(seq.Span(seq.Frames(), count), nullptr);
  EXPECT_EQ(count, 0u);
}

TEST(SampleSequence, SharedStoragesAndLongSilencesCostNoCopies) {
  const SampleSequence clip(Ramp(48000, 1), 1);
  const uint64_t clipBytes = 48000 * sizeof(float);
  // Deleting and undoing leaves one piece again; the state before shares it.
  const SampleSequence cut = clip.Replaced(1000, 2000, {});
  EXPECT_EQ(cut.PieceCount(), 2u);
  EXPECT_EQ(BytesBeyond(cut, {&clip}), 0u);
  EXPECT_EQ(cut.Slice(0, 1000).Replaced(1000, 1000, clip.Copy(1000, 2000)).PieceCount(), 2u);
  // Silence over a long stretch is one short storage read over and over.
  const SampleSequence longClip(std::vector<float>(2000000, 0.25f), 1);
  const SampleSequence silenced = longClip.Silenced(10, 1999990);
  EXPECT_EQ(silenced.Copy(10, 1999990), std::vector<float>(1999980, 0.0f));
  EXPECT_LE(BytesBeyond(longClip, {&silenced}), 65536u * sizeof(float));
  // A storage two states keep counts once; one the document reads, not at all.
  const SampleSequence rewritten = clip.Replaced(0, 48000, clip.Copy(0, 48000));
  EXPECT_EQ(BytesBeyond(rewritten, {&clip, &cut}), clipBytes);
  EXPECT_EQ(BytesBeyond(clip, {&cut, &clip}), 0u);
}

// A WAV is read from the file itself: nothing of it is copied into memory,
// it reads back as the decoder reads it, edits and undo work over it, and
// saving over the very file it reads from works (Windows has to move the
// open file aside for that) while undo still finds the original frames.
TEST(AudioDocFile, WavIsReadFromItsFileAndSavesOverItself) {
  test::ScratchDir dir;
  const auto path = dir.path() / "take.wav";
  std::vector<float> ramp(2 * 48000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = float(int(i % 2000) - 1000) / 1024.0f;
  std::string error;
  ASSERT_TRUE(WriteWavFile(path, AudioFormat{48000, 2, 16}, ramp, error, 24)) << error;
  AudioFormat format;
  std::vector<float> decoded;
  bool riff = false;
  ASSERT_TRUE(ReadWavFile(path, format, decoded, error, riff));

  AudioDoc doc;
  ASSERT_TRUE(doc.Load(path, error)) << error;
  uint64_t run = 0;
  EXPECT_EQ(doc.Samples().Span(0, run), nullptr);
  EXPECT_EQ(run, 48000u);
  EXPECT_EQ(doc.SourceBits(), 24);
  const std::vector<float> original = doc.CopySamples();
  EXPECT_EQ(original, decoded);
  std::vector<float> mins, maxs;
  doc.ViewEnvelope(0, 0, 48000, 10, mins, maxs);
  EXPECT_FLOAT_EQ(maxs[3], 998.0f / 1024);  // channel 0 holds the even values

  doc.SetSelection(1000, 11000);
  ASSERT_TRUE(doc.DeleteSelection(error));
  const std::vector<float> edited = doc.CopySamples();
  ASSERT_TRUE(doc.Save(path, false, 0, error)) << error;
  ASSERT_TRUE(ReadWavFile(path, format, decoded, error, riff));
  EXPECT_EQ(decoded.size(), edited.size());
  ASSERT_TRUE(doc.Undo());
  EXPECT_EQ(doc.CopySamples(), original);
  EXPECT_FALSE(doc.SourceChanged());
}

// A source rewritten or cut short in place while open is noticed, and the
// frames it no longer has read as silence, never as whatever is there now.
TEST(AudioDocFile, SourceCutShortInPlaceIsNoticedAndReadsAsSilence) {
  test::ScratchDir dir;
  const auto path = dir.path() / "source.wav";
  std::string error;
  ASSERT_TRUE(WriteWavFile(path, AudioFormat{48000, 1, 16}, std::vector<float>(48000, 0.5f), error, 16)) << error;
  AudioDoc doc;
  ASSERT_TRUE(doc.Load(path, error)) << error;
  EXPECT_FALSE(doc.SourceChanged());
  std::filesystem::resize_file(path, 44 + 2 * 1000);
  EXPECT_TRUE(doc.SourceChanged());
  const std::vector<float> now = doc.CopySamples();
  ASSERT_EQ(now.size(), 48000u);
  EXPECT_NEAR(now[999], 0.5f, 1e-4);
  EXPECT_EQ(now[1000], 0.0f);
  EXPECT_EQ(now.back(), 0.0f);
}

// A take longer than one WAV file opens whole: the segment files beside it
// follow on while they have the same format.
TEST(AudioDocFile, SegmentFilesBesideATakeOpenAsOneClip) {
  test::ScratchDir dir;
  const auto take = dir.path() / "take.wav";
  std::string error;
  const AudioFormat format{48000, 2, 16};
  ASSERT_TRUE(WriteWavFile(take, format, std::vector<float>(2000, 0.25f), error, 16));
  ASSERT_TRUE(WriteWavFile(SegmentPath(take, 1), format, std::vector<float>(1000, -0.5f), error, 16));
  ASSERT_TRUE(WriteWavFile(SegmentPath(take, 2), AudioFormat{44100, 2, 16}, std::vector<float>(80, 0.1f), error, 16));
  AudioDoc doc;
  ASSERT_TRUE(doc.Load(take, error)) << error;
  ASSERT_EQ(doc.Frames(), 1500u);  // the 44.1 kHz file is another clip
  const std::vector<float> all = doc.CopySamples();
  EXPECT_FLOAT_EQ(all[1999], 0.25f);
  EXPECT_FLOAT_EQ(all[2000], -0.5f);
  EXPECT_EQ(doc.SourceFrames(), 1500u);
}

}  // namespace
}  // namespace vesk
