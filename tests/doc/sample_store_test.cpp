// The document's piece sequence against plain buffers: edits read back as
// the same edit on a vector, silence and shared pieces cost no samples, and
// a storage kept by several states counts once.
#include <gtest/gtest.h>

#include "doc/sample_store.h"

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

}  // namespace
}  // namespace vesk
