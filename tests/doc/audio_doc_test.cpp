// Edits, undo/redo, ramps, the modified flag and the edit list of AudioDoc.
#include <gtest/gtest.h>

#include <functional>

#include "doc/audio_doc.h"
#include "doc/doc_test_clips.h"
#include "media/wav_sink.h"
#include "support/test_support.h"

namespace vesk {
namespace {

using test::AdoptClip;
using test::Ramp;

constexpr const char* kNeedSelection = "请先在波形上拖出一段选区。";

struct EditCase {
  const char* name;
  uint64_t frames, a, b;
  std::function<bool(AudioDoc&, std::string&)> edit;
  uint64_t framesAfter;
  uint64_t selStartAfter, selEndAfter;
};
void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class EditLengths : public testing::TestWithParam<EditCase> {};

TEST_P(EditLengths, ChangeTheLengthAndUndoRestoresTheClipExactly) {
  const EditCase& c = GetParam();
  AudioDoc doc;
  AdoptClip(doc, Ramp(c.frames, 2));
  const std::vector<float> before = doc.CopySamples();
  doc.SetSelection(c.a, c.b);
  std::string error = "stale";
  ASSERT_TRUE(c.edit(doc, error));
  EXPECT_EQ(error, "");
  EXPECT_EQ(doc.Frames(), c.framesAfter);
  EXPECT_EQ(doc.SelectionStart(), c.selStartAfter);
  EXPECT_EQ(doc.SelectionEnd(), c.selEndAfter);
  EXPECT_TRUE(doc.IsModified());
  ASSERT_TRUE(doc.Undo());
  EXPECT_EQ(doc.CopySamples(), before);
  EXPECT_EQ(doc.Segments(), (SegmentList{{0, c.frames}}));
  EXPECT_LE(doc.SelectionEnd(), doc.Frames());
  ASSERT_TRUE(doc.Redo());
  EXPECT_EQ(doc.Frames(), c.framesAfter);
}

bool Trim(AudioDoc& d, std::string& e) { return d.TrimToSelection(e); }
bool Delete(AudioDoc& d, std::string& e) { return d.DeleteSelection(e); }
bool Silence(AudioDoc& d, std::string& e) { return d.SilenceSelection(e); }

INSTANTIATE_TEST_SUITE_P(
    Edits, EditLengths,
    testing::Values(EditCase{"trim_inner", 2000, 100, 600, Trim, 500, 0, 500},
                    EditCase{"trim_reversed_selection", 2000, 600, 100, Trim, 500, 0, 500},
                    EditCase{"delete_head", 2000, 0, 500, Delete, 1500, 0, 0},
                    EditCase{"delete_tail", 2000, 1500, 2000, Delete, 1500, 1500, 1500},
                    EditCase{"delete_everything", 2000, 0, 2000, Delete, 0, 0, 0},
                    EditCase{"silence_head", 2000, 0, 500, Silence, 2000, 0, 500},
                    EditCase{"selection_clamped_to_clip", 2000, 1900, 999999, Delete, 1900, 1900, 1900}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AudioDocEdits, RefuseAnEmptySelectionAndChangeNothing) {
  const std::vector<std::function<bool(AudioDoc&, std::string&)>> edits = {
      Trim, Delete, Silence, [](AudioDoc& d, std::string& e) { return d.ReplaceSelection({}, e); }};
  for (const auto& edit : edits) {
    AudioDoc doc;
    AdoptClip(doc, Ramp(100, 2));
    doc.SetSelection(40, 40);
    const uint64_t revision = doc.Revision();
    std::string error;
    EXPECT_FALSE(edit(doc, error));
    EXPECT_EQ(error, kNeedSelection);
    EXPECT_EQ(doc.Revision(), revision);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.UndoCount(), 0u);
  }
}

TEST(AudioDocEdits, SilenceZeroesTheSelectionAndRampsOnlyOutsideIt) {
  AudioDoc doc;
  AdoptClip(doc, test::Constant(2000, 2, 0.5f), 48000);  // R = 240
  doc.SetSelection(0, 500);
  std::string error;
  ASSERT_TRUE(doc.SilenceSelection(error));
  const std::vector<float> s = doc.CopySamples();
  for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(s[i], 0.0f) << i;
  EXPECT_EQ(s[1000], 0.0f);                     // fade-in starts silent at the cut
  EXPECT_NEAR(s[(500 + 120) * 2], 0.25f, 1e-6);  // half way up
  EXPECT_EQ(s[(500 + 240) * 2], 0.5f);
}

TEST(AudioDocEdits, DeleteRampsBothSidesOfAnInnerCutButNotAClipEdge) {
  AudioDoc doc;
  AdoptClip(doc, test::Constant(48000, 2, 0.5f), 48000);
  std::string error;
  doc.SetSelection(0, 500);
  ASSERT_TRUE(doc.DeleteSelection(error));
  EXPECT_EQ(doc.CopySamples().front(), 0.5f);
  doc.SetSelection(10000, 20000);
  ASSERT_TRUE(doc.DeleteSelection(error));
  const auto& s = doc.CopySamples();
  EXPECT_EQ(s[10000 * 2], 0.0f);            // first frame after the cut
  EXPECT_EQ(s[9999 * 2], 0.0f);             // last frame before the cut
  EXPECT_EQ(s[(10000 - 241) * 2], 0.5f);    // outside the 240-frame ramp
  EXPECT_EQ(s[(10000 + 240) * 2 + 1], 0.5f);
}

TEST(AudioDocEdits, TrimRampsTheEndsOfAConstantClipAt44100) {
  AudioDoc doc;
  const float level = 12000.0f / 32768.0f;
  AdoptClip(doc, test::Constant(44100, 2, level), 44100);
  doc.SetSelection(1000, 30000);
  std::string error;
  ASSERT_TRUE(doc.TrimToSelection(error));
  const auto& s = doc.CopySamples();
  EXPECT_LE(std::fabs(s.front()), 1500.0f / 32768.0f);
  EXPECT_LE(std::fabs(s.back()), 1500.0f / 32768.0f);
  EXPECT_FLOAT_EQ(s[(220 + 2) * 2], level);
  EXPECT_FLOAT_EQ(s[(220 + 2) * 2 + 1], level);
}

TEST(AudioDocEdits, TrimOfThreeFramesSilencesOnlyTheOuterFrames) {
  AudioDoc doc;
  AdoptClip(doc, test::Constant(3, 2, 0.5f), 44100);
  doc.SetSelection(0, 3);
  std::string error;
  ASSERT_TRUE(doc.TrimToSelection(error));
  EXPECT_EQ(doc.CopySamples(), (std::vector<float>{0, 0, 0.5f, 0.5f, 0, 0}));
}

TEST(AudioDocEdits, ReplaceSelectionRefusesAWrongLengthAndCopiesARightOneWithoutRamps) {
  AudioDoc doc;
  AdoptClip(doc, Ramp(300, 2));
  doc.SetSelection(100, 200);
  std::string error;
  EXPECT_FALSE(doc.ReplaceSelection(std::vector<float>(10, 1.0f), error));
  EXPECT_EQ(error, "写回数据长度不符（应为 200，实得 10）。");
  EXPECT_FALSE(doc.IsModified());
  ASSERT_TRUE(doc.ReplaceSelection(std::vector<float>(200, 0.75f), error));
  EXPECT_EQ(doc.CopySamples()[199], Ramp(300, 2)[199]);
  EXPECT_EQ(doc.CopySamples()[200], 0.75f);
  EXPECT_EQ(doc.CopySamples()[399], 0.75f);
  EXPECT_EQ(doc.CopySamples()[400], Ramp(300, 2)[400]);
  EXPECT_TRUE(doc.IsModified());
}

TEST(AudioDocHistory, ThirteenthEditEvictsTheOldestSnapshot) {
  AudioDoc doc;
  AdoptClip(doc, Ramp(1000, 2));
  std::string error;
  std::vector<float> afterFirst;
  for (int i = 0; i < 13; ++i) {
    doc.SetSelection(uint64_t(i) * 50, uint64_t(i) * 50 + 10);
    ASSERT_TRUE(doc.SilenceSelection(error));
    if (i == 0) afterFirst = doc.CopySamples();
  }
  EXPECT_EQ(doc.UndoCount(), 12u);
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(doc.Undo()) << i;
  EXPECT_FALSE(doc.Undo());
  EXPECT_EQ(doc.CopySamples(), afterFirst);
  EXPECT_EQ(doc.RedoCount(), 12u);
}

TEST(AudioDocHistory, ANewEditAfterUndoVoidsRedo) {
  AudioDoc doc;
  AdoptClip(doc, Ramp(1000, 2));
  std::string error;
  doc.SetSelection(0, 100);
  ASSERT_TRUE(doc.DeleteSelection(error));
  ASSERT_TRUE(doc.Undo());
  EXPECT_EQ(doc.RedoCount(), 1u);
  doc.SetSelection(10, 20);
  ASSERT_TRUE(doc.SilenceSelection(error));
  EXPECT_FALSE(doc.Redo());
}

TEST(AudioDocHistory, UndoAndRedoBringTheEditListBackWithTheSamples) {
  AudioDoc doc;
  AdoptClip(doc, Ramp(1000, 1), 48000, 1);
  std::string error;
  doc.SetSelection(100, 200);
  ASSERT_TRUE(doc.DeleteSelection(error));
  EXPECT_EQ(doc.Segments(), (SegmentList{{0, 100}, {200, 800}}));
  doc.SetSelection(50, 150);
  ASSERT_TRUE(doc.TrimToSelection(error));
  EXPECT_EQ(doc.Segments(), (SegmentList{{50, 50}, {200, 50}}));
  ASSERT_TRUE(doc.Undo());
  EXPECT_EQ(doc.Segments(), (SegmentList{{0, 100}, {200, 800}}));
  ASSERT_TRUE(doc.Redo());
  EXPECT_EQ(doc.Segments(), (SegmentList{{50, 50}, {200, 50}}));
  EXPECT_EQ(doc.Frames(), 100u);
}

TEST(AudioDocHistory, TheNoiseSampleMovesWithItsAudioAndComesBackWithUndo) {
  using Edit = bool (AudioDoc::*)(std::string&);
  // The noise sample is [400, 500) of a 1000-frame clip before each edit.
  struct {
    Edit edit;
    uint64_t a, b;
    uint64_t noiseStart, noiseEnd;
  } const cases[] = {
      {&AudioDoc::DeleteSelection, 100, 200, 300, 400},   // before it: shifts
      {&AudioDoc::DeleteSelection, 600, 700, 400, 500},   // after it: stays
      {&AudioDoc::DeleteSelection, 450, 700, 0, 0},       // over it: dropped
      {&AudioDoc::TrimToSelection, 300, 800, 100, 200},   // kept inside: shifts
      {&AudioDoc::TrimToSelection, 450, 800, 0, 0},       // cut through: dropped
      {&AudioDoc::SilenceSelection, 490, 520, 0, 0},      // silenced: dropped
      {&AudioDoc::SilenceSelection, 500, 520, 400, 500},  // beside it: stays
  };
  for (const auto& c : cases) {
    AudioDoc doc;
    AdoptClip(doc, Ramp(1000, 1), 48000, 1);
    doc.SetNoiseSample(400, 500);
    doc.SetSelection(c.a, c.b);
    std::string error;
    ASSERT_TRUE((doc.*c.edit)(error));
    EXPECT_EQ(doc.NoiseSampleStart(), c.noiseStart) << c.a << "-" << c.b;
    EXPECT_EQ(doc.NoiseSampleEnd(), c.noiseEnd) << c.a << "-" << c.b;
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.NoiseSampleStart(), 400u);
    EXPECT_EQ(doc.NoiseSampleEnd(), 500u);
    ASSERT_TRUE(doc.Redo());
    EXPECT_EQ(doc.NoiseSampleEnd(), c.noiseEnd);
  }
}

TEST(AudioDocState, ModifiedFlagFollowsTheDocumentLifeCycle) {
  test::ScratchDir dir;
  const auto source = dir / "take.wav";
  std::string error;
  ASSERT_TRUE(WriteWavFile(source, AudioFormat{48000, 2, 16}, test::Sine(4800, 2, 440, 48000, 0.5, 1.0), error, 16));

  AudioDoc doc;
  ASSERT_TRUE(doc.Load(source, error)) << error;
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(doc.DisplayName(), "take.wav");
  doc.SetSelection(0, 100);
  ASSERT_TRUE(doc.DeleteSelection(error));
  EXPECT_TRUE(doc.IsModified());
  ASSERT_TRUE(doc.Undo());
  EXPECT_TRUE(doc.IsModified());  // identical content, still unsaved work
  ASSERT_TRUE(doc.Save(dir / "out.wav", false, 0, error)) << error;
  EXPECT_FALSE(doc.IsModified());
  doc.SetSelection(0, 100);
  ASSERT_TRUE(doc.SilenceSelection(error));
  EXPECT_TRUE(doc.IsModified());
  doc.Clear();
  EXPECT_FALSE(doc.IsModified());
  AdoptClip(doc, Ramp(10, 2));
  EXPECT_FALSE(doc.IsModified());
}

TEST(AudioDocState, LoadAndAdoptRefuseMissingAudio) {
  AudioDoc doc;
  std::string error;
  EXPECT_FALSE(doc.Adopt(AudioFormat{}, {}, "x.wav", error, 16));
  EXPECT_EQ(error, "没有可用的音频数据。");
  test::ScratchDir dir;
  ASSERT_TRUE(WriteWavFile(dir / "empty.wav", AudioFormat{48000, 2, 16}, {}, error, 16));
  EXPECT_FALSE(doc.Load(dir / "empty.wav", error));
  EXPECT_EQ(error, "文件里没有可用的音频数据。");
  EXPECT_EQ(doc.Frames(), 0u);
  EXPECT_FALSE(doc.Load(dir / "missing.wav", error));
  EXPECT_FALSE(error.empty());
}

TEST(AudioDocState, RevisionGrowsWithEveryChangeOfTheSamples) {
  AudioDoc doc;
  uint64_t last = doc.Revision();
  auto grew = [&] {
    const bool g = doc.Revision() > last;
    last = doc.Revision();
    return g;
  };
  AdoptClip(doc, Ramp(1000, 2));
  EXPECT_TRUE(grew());
  std::string error;
  doc.SetSelection(0, 10);
  EXPECT_FALSE(grew());
  ASSERT_TRUE(doc.SilenceSelection(error));
  EXPECT_TRUE(grew());
  ASSERT_TRUE(doc.Undo());
  EXPECT_TRUE(grew());
  ASSERT_TRUE(doc.Redo());
  EXPECT_TRUE(grew());
  doc.Clear();
  EXPECT_TRUE(grew());
}

TEST(AudioDocCuts, HasCutsOnlyAfterTrimOrDelete) {
  struct Step {
    std::function<bool(AudioDoc&, std::string&)> edit;
    bool cuts;
  };
  for (const Step& step : {Step{Trim, true}, Step{Delete, true}, Step{Silence, false}}) {
    AudioDoc doc;
    AdoptClip(doc, Ramp(1000, 2));
    EXPECT_FALSE(doc.HasCuts());
    doc.SetSelection(100, 200);
    std::string error;
    ASSERT_TRUE(step.edit(doc, error));
    EXPECT_EQ(doc.HasCuts(), step.cuts);
  }
  EXPECT_FALSE(AudioDoc().HasCuts());
}

TEST(AudioDocCuts, SourceTimelineKeepsAudioInPlaceAndSilencesTheDeletedThird) {
  AudioDoc doc;
  AdoptClip(doc, test::Sine(3000, 2, 440, 48000, 0.5, 1.0));
  doc.SetSelection(1000, 2000);
  std::string error;
  ASSERT_TRUE(doc.DeleteSelection(error));
  std::vector<float> out;
  ASSERT_TRUE(doc.RenderToSourceTimeline(3000, out));
  ASSERT_EQ(out.size(), 6000u);
  const auto& edited = doc.CopySamples();
  for (size_t i = 0; i < 2000; ++i) ASSERT_EQ(out[i], edited[i]) << i;
  for (size_t i = 2000; i < 4000; ++i) ASSERT_EQ(out[i], 0.0f) << i;
  for (size_t i = 4000; i < 6000; ++i) ASSERT_EQ(out[i], edited[i - 2000]) << i;
  // A shorter source timeline drops what lies beyond it. Laid as pieces
  // (what playback reads) it is the same audio, frame for frame.
  for (uint64_t count : {3000u, 2500u, 1500u}) {
    SCOPED_TRACE(count);
    ASSERT_TRUE(doc.RenderToSourceTimeline(count, out));
    EXPECT_EQ(out.size(), count * 2);
    const SampleSequence laid = OnSourceTimeline(doc.Samples(), doc.Segments(), count);
    EXPECT_EQ(laid.Copy(0, laid.Frames()), out);
  }
  EXPECT_FALSE(doc.RenderToSourceTimeline(0, out));
  EXPECT_FALSE(AudioDoc().RenderToSourceTimeline(10, out));
  EXPECT_EQ(OnSourceTimeline(doc.Samples(), doc.Segments(), 0).Frames(), 0u);
}

}  // namespace
}  // namespace vesk
