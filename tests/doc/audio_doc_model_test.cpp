// AudioDoc against a plain model of what its edits mean: random sequences of
// selections, deletes, trims, silences, replacements, undos and redos, and
// after every step the same samples (ramps included), frame count,
// selection, history depths and edit list back to the source frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <random>

#include "doc/audio_doc.h"
#include "doc/doc_test_clips.h"

namespace vesk {
namespace {

// The document as a buffer with the source frame of every frame, a
// selection and two bounded history stacks. A cut fades the audio on each
// side over a ramp: at distance d from the cut (0 at the cut itself) a frame
// keeps d / n of its level, for d < n.
struct Model {
  size_t ch = 1;
  uint64_t ramp = 1;  // 5 ms, at least one frame
  std::vector<float> s;
  std::vector<uint64_t> src;
  uint64_t sel0 = 0, sel1 = 0;
  struct State {
    std::vector<float> s;
    std::vector<uint64_t> src;
  };
  std::deque<State> undo, redo;

  uint64_t Frames() const { return src.size(); }
  void Scale(uint64_t frame, uint64_t d, uint64_t n) {
    for (size_t c = 0; c < ch; ++c) s[frame * ch + c] = float(s[frame * ch + c] * (double(d) / double(n)));
  }
  void FadeBefore(uint64_t cut, uint64_t n) {
    for (uint64_t d = 0; d < n; ++d) Scale(cut - 1 - d, d, n);
  }
  void FadeAfter(uint64_t cut, uint64_t n) {
    for (uint64_t d = 0; d < n; ++d) Scale(cut + d, d, n);
  }
  static void Push(std::deque<State>& stack, State state) {
    if (stack.size() == AudioDoc::kMaxSnapshots) stack.pop_front();
    stack.push_back(std::move(state));
  }
  bool Begin() {  // an edit needs a selection; it voids redo
    if (sel1 <= sel0) return false;
    redo.clear();
    Push(undo, {s, src});
    return true;
  }
  void Select(uint64_t a, uint64_t b) {
    a = std::min(a, Frames()), b = std::min(b, Frames());
    sel0 = std::min(a, b), sel1 = std::max(a, b);
  }
  bool Delete() {
    if (!Begin()) return false;
    const uint64_t a = sel0;
    s.erase(s.begin() + std::ptrdiff_t(a * ch), s.begin() + std::ptrdiff_t(sel1 * ch));
    src.erase(src.begin() + std::ptrdiff_t(a), src.begin() + std::ptrdiff_t(sel1));
    const uint64_t n = std::min({a, Frames() - a, ramp});
    FadeBefore(a, n);
    FadeAfter(a, n);
    sel1 = a;
    return true;
  }
  bool Trim() {
    if (!Begin()) return false;
    s = std::vector<float>(s.begin() + std::ptrdiff_t(sel0 * ch), s.begin() + std::ptrdiff_t(sel1 * ch));
    src = std::vector<uint64_t>(src.begin() + std::ptrdiff_t(sel0), src.begin() + std::ptrdiff_t(sel1));
    const uint64_t n = std::min(Frames() / 2, ramp);
    FadeAfter(0, n);
    FadeBefore(Frames(), n);
    sel0 = 0, sel1 = Frames();
    return true;
  }
  bool Silence() {
    if (!Begin()) return false;
    std::fill(s.begin() + std::ptrdiff_t(sel0 * ch), s.begin() + std::ptrdiff_t(sel1 * ch), 0.0f);
    FadeBefore(sel0, std::min(ramp, sel0));
    FadeAfter(sel1, std::min(ramp, Frames() - sel1));
    return true;
  }
  bool Replace(const std::vector<float>& with) {
    if (with.size() != (sel1 - sel0) * ch || !Begin()) return false;
    std::copy(with.begin(), with.end(), s.begin() + std::ptrdiff_t(sel0 * ch));
    return true;
  }
  bool Step(std::deque<State>& from, std::deque<State>& to) {
    if (from.empty()) return false;
    Push(to, {std::move(s), std::move(src)});
    s = std::move(from.back().s), src = std::move(from.back().src);
    from.pop_back();
    sel0 = std::min(sel0, Frames()), sel1 = std::min(sel1, Frames());
    return true;
  }
};

// The edit list as the source frame of every document frame; an empty run
// shows as a zero entry (no list holds one).
std::vector<uint64_t> SourceFrames(const SegmentList& segments) {
  std::vector<uint64_t> out;
  for (const Segment& seg : segments) {
    if (seg.length == 0) out.push_back(0);
    for (uint64_t i = 0; i < seg.length; ++i) out.push_back(seg.sourceStart + i);
  }
  return out;
}

std::string FirstDifference(const std::vector<float>& got, const std::vector<float>& want) {
  if (got.size() != want.size()) return "sizes " + std::to_string(got.size()) + " vs " + std::to_string(want.size());
  const auto at = std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin();
  return "sample " + std::to_string(at) + ": " + std::to_string(got[size_t(at)]) + " vs " +
         std::to_string(want[size_t(at)]);
}

struct ModelCase {
  uint32_t seed;
  uint16_t channels;
  uint32_t rate;
  double seconds;
};

TEST(AudioDocModel, RandomEditSequencesMatchThePlainModelAfterEveryStep) {
  for (const ModelCase c : {ModelCase{1, 1, 48000, 2.5}, ModelCase{2, 2, 48000, 2.0}, ModelCase{3, 2, 8000, 3.0},
                            ModelCase{4, 1, 44100, 2.2}}) {
    SCOPED_TRACE("seed " + std::to_string(c.seed));
    std::mt19937 rng(c.seed);
    auto uniform = [&](uint64_t lo, uint64_t hi) { return std::uniform_int_distribution<uint64_t>(lo, hi)(rng); };
    std::uniform_real_distribution<float> level(-0.9f, 0.9f);
    const uint64_t frames = uint64_t(c.seconds * c.rate);
    Model m;
    m.ch = c.channels;
    m.ramp = std::max<uint64_t>(1, uint64_t(c.rate * 0.005));
    m.s.resize(frames * c.channels);
    for (float& v : m.s) v = level(rng);
    for (uint64_t f = 0; f < frames; ++f) m.src.push_back(f);
    AudioDoc doc;
    test::AdoptClip(doc, m.s, c.rate, c.channels);

    // Mostly short ranges (a few ramps long) so cuts meet ramps and edges;
    // now and then a long one, and ranges snapped to either end.
    auto range = [&](uint64_t& a, uint64_t& b) {
      const uint64_t n = m.Frames();
      a = uniform(0, n);
      const uint64_t length = uniform(0, 4) == 0 ? uniform(0, n / 6) : uniform(0, 3 * m.ramp);
      b = std::min(n, a + length);
      if (uniform(0, 6) == 0) a = 0;
      if (uniform(0, 6) == 0) b = n;
    };
    std::map<std::string, int> applied;
    for (int step = 0; step < 500; ++step) {
      const uint64_t kind = uniform(0, 9);
      const uint64_t revision = doc.Revision();
      std::string error;
      bool changed = false, done = false;
      std::string what;
      if (kind <= 4 && uniform(0, 3) != 0) {  // the edits mostly on a fresh range
        uint64_t a = 0, b = 0;
        range(a, b);
        m.Select(a, b);
        doc.SetSelection(a, b);
      }
      switch (kind) {
        case 0: {  // a raw selection: reversed, empty or past the end
          const uint64_t a = uniform(0, m.Frames() + 50), b = uniform(0, m.Frames() + 50);
          m.Select(a, b);
          doc.SetSelection(a, b);
          what = "select";
          break;
        }
        case 1:
          changed = m.Delete(), done = doc.DeleteSelection(error), what = "delete";
          break;
        case 2:
          // Trims keep most of the clip, or the clip would soon be gone.
          if (m.Frames() > 8 * m.ramp && uniform(0, 1)) {
            const uint64_t a = uniform(0, m.Frames() / 8), b = m.Frames() - uniform(0, m.Frames() / 8);
            m.Select(a, b);
            doc.SetSelection(a, b);
          }
          changed = m.Trim(), done = doc.TrimToSelection(error), what = "trim";
          break;
        case 3:
          changed = m.Silence(), done = doc.SilenceSelection(error), what = "silence";
          break;
        case 4: {
          // One in five has the wrong length and must change nothing.
          const uint64_t length = (m.sel1 - m.sel0) * c.channels + (uniform(0, 4) == 0 ? 1 : 0);
          std::vector<float> with(length);
          for (float& v : with) v = level(rng);
          changed = m.Replace(with), done = doc.ReplaceSelection(with, error), what = "replace";
          break;
        }
        case 5:
        case 6:
        case 7:
          changed = m.Step(m.undo, m.redo), done = doc.Undo(), what = "undo";
          break;
        default:
          changed = m.Step(m.redo, m.undo), done = doc.Redo(), what = "redo";
          break;
      }
      SCOPED_TRACE("step " + std::to_string(step) + " " + what);
      ASSERT_EQ(done, changed) << error;
      applied[what] += changed;
      if (changed && kind <= 4) {
        EXPECT_EQ(error, "") << "no undo warning for a small clip";
      }
      ASSERT_EQ(doc.Revision() != revision, changed);
      ASSERT_EQ(doc.Frames(), m.Frames());
      ASSERT_TRUE(doc.CopySamples() == m.s) << FirstDifference(doc.CopySamples(), m.s);
      ASSERT_EQ(SourceFrames(doc.Segments()), m.src);
      ASSERT_EQ(doc.SelectionStart(), m.sel0);
      ASSERT_EQ(doc.SelectionEnd(), m.sel1);
      ASSERT_EQ(doc.UndoCount(), m.undo.size());
      ASSERT_EQ(doc.RedoCount(), m.redo.size());
    }
    EXPECT_EQ(doc.SourceFrames(), frames);
    // A run that lost its clip early would prove little.
    for (const char* kind : {"delete", "trim", "silence", "replace", "undo", "redo"})
      EXPECT_GE(applied[kind], 10) << kind;
  }
}

}  // namespace
}  // namespace vesk
