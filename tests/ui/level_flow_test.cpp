// The level tools as the window drives them: the loudness reading in the
// information line, and the split button's edits over the selection or the
// whole clip, each one undoable step.
#include <gtest/gtest.h>

#include <cmath>

#include "doc/audio_doc.h"
#include "media/loudness.h"
#include "support/signal.h"
#include "ui/control_ids.h"
#include "ui/edit_rig.h"
#include "ui/level_flow.h"

namespace vesk::ui {
namespace {

constexpr uint32_t kRate = 48000;

struct LevelRig : test::EditRig {
  LevelFlow levels{LevelContext{&window.port, &doc, &settings, &host}};
  LevelRig() {
    window.describe = [this](WindowFacts& f) {
      area.Describe(f);
      levels.Describe(f);
    };
  }
  std::string Info() { return State().Text(TextView::EditorInfo); }
  void Select(uint64_t a, uint64_t b) { doc.SetSelection(a, b); }
  double Lufs(uint64_t a, uint64_t b) {
    LoudnessReading r;
    std::string error;
    const uint16_t ch = doc.Format().channels;
    const std::vector<float> range = doc.CopyRange(a, b);
    MeasureLoudness(range.data(), size_t(b - a), kRate, ch, ch == 1, r, error);
    return r.integratedLufs;
  }
};

// Two seconds of stereo: quiet noise, then a 440 Hz tone, then 50 Hz hum
// under it all.
std::vector<float> Clip() {
  std::vector<float> s = test::Noise(4 * kRate, 0.01f);
  const std::vector<float> tone = test::Sine(kRate, 2, 440, kRate, 0.2);
  for (size_t i = 0; i < tone.size(); ++i) s[2 * kRate + i] += tone[i];
  const std::vector<float> hum = test::Sine(2 * kRate, 2, 50, kRate, 0.02);
  for (size_t i = 0; i < s.size(); ++i) s[i] += hum[i];
  return s;
}

TEST(LevelFlow, TheReadingFollowsTheSelectionAndTheEditsInTheInformationLine) {
  LevelRig rig;
  // 997 Hz at −20 dBFS in the left channel only reads −23.0 LUFS.
  std::vector<float> s(size_t(3) * kRate * 2, 0.0f);
  const std::vector<float> tone = test::Sine(size_t(3) * kRate, 1, 997, kRate, 0.1);
  for (size_t i = 0; i < tone.size(); ++i) s[2 * i] = tone[i];
  rig.Load(s);
  EXPECT_NE(rig.Info().find("响度测量中"), std::string::npos);
  for (int i = 0; i < 100 && rig.levels.ReadingText().empty(); ++i) rig.levels.Tick();
  EXPECT_NE(rig.Info().find("−23.0 LUFS · 峰值 −20.0 dBTP"), std::string::npos) << rig.Info();

  // A selection is read on its own; an edit starts the reading again.
  rig.Select(0, kRate);
  EXPECT_TRUE(rig.levels.ReadingText().empty());
  rig.window.view.numberAnswers.push_back({6.0});
  rig.levels.HandleCommand(kMenuGain);
  for (int i = 0; i < 100 && rig.levels.ReadingText().empty(); ++i) rig.levels.Tick();
  EXPECT_NE(rig.Info().find("−17.0 LUFS"), std::string::npos) << rig.Info();
}

// Each edit changes the selection only (or the whole clip without one),
// is reported to the parts, and undo brings back every sample.
TEST(LevelFlow, EditsChangeOnlyTheirSpanAndUndoExactly) {
  struct Case {
    const char* name;
    int command;
    bool select;
    std::vector<double> answer;  // the number form's answer
    bool changesInside;
  };
  const Case cases[] = {
      {"gain on the selection", kMenuGain, true, {-6.0}, true},
      {"fade in", kMenuFadeIn, true, {}, true},
      {"fade out", kMenuFadeOut, true, {}, true},
      {"hum removal", kMenuHumRemoval, true, {}, true},
      {"normalise the selection", kMenuLoudnessPodcast, true, {}, true},
      {"normalise the whole clip", kIdLoudness, false, {}, true},
      {"gain cancelled", kMenuGain, true, {}, false},
      {"fade without a selection", kMenuFadeIn, false, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LevelRig rig;
    rig.Load(Clip());
    const std::vector<float> before = rig.doc.CopySamples();
    const size_t changes = rig.host.changes.size();
    const uint64_t a = c.select ? kRate / 2 : 0, b = c.select ? 3 * kRate / 2 : 2 * kRate;
    if (c.select) rig.Select(a, b);
    if (!c.answer.empty()) rig.window.view.numberAnswers.push_back(c.answer);
    ASSERT_TRUE(rig.levels.HandleCommand(c.command));
    const std::vector<float>& after = rig.doc.CopySamples();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(rig.doc.UndoCount() > 0, c.changesInside);
    EXPECT_EQ(rig.host.changes.size() - changes, c.changesInside ? 1u : 0u);
    bool inside = false, outside = false;
    for (size_t i = 0; i < after.size(); ++i)
      (i / 2 >= a && i / 2 < b ? inside : outside) |= after[i] != before[i];
    EXPECT_EQ(inside, c.changesInside);
    EXPECT_FALSE(outside);
    if (c.changesInside) {
      ASSERT_TRUE(rig.doc.Undo());
      EXPECT_EQ(rig.doc.CopySamples(), before);
    }
  }
}

TEST(LevelFlow, TargetsLandWithinAThirdOfAUnitAndTheCustomTargetIsKept) {
  LevelRig rig;
  rig.Load(Clip());
  rig.levels.HandleCommand(kMenuLoudnessBroadcast);
  EXPECT_NEAR(rig.Lufs(0, 2 * kRate), -23.0, 0.3);
  EXPECT_EQ(rig.settings.loudnessPreset, 2);
  // The custom target: asked, stored, used, and named in the menu.
  rig.window.view.numberAnswers.push_back({-20.0, -3.0});
  rig.levels.HandleCommand(kMenuLoudnessCustom);
  EXPECT_NEAR(rig.Lufs(0, 2 * kRate), -20.0, 0.3);
  EXPECT_EQ(rig.settings.loudnessPreset, 3);
  EXPECT_DOUBLE_EQ(rig.settings.loudnessCustomCeiling, -3.0);
  EXPECT_LE(AmplitudeDb(test::Peak(rig.doc.CopySamples())), -3.0);
  const auto menu = rig.levels.Menu();
  EXPECT_NE(std::find_if(menu.begin(), menu.end(),
                         [](const MenuItem& m) {
                           return m.id == kMenuLoudnessCustom && m.checked &&
                                  m.text.find("−20.0 LUFS / −3.0 dBTP") != std::string::npos;
                         }),
            menu.end());
}

// A whole take past the spill limit (1 MiB here) is processed a stretch at
// a time into a temporary file: a gain is exact across the seams, and a
// normalisation that needs the limiter still lands on its target.
TEST(LevelFlow, AWholeTakePastTheSpillLimitIsProcessedIntoAFile) {
  LevelRig rig;
  rig.settings.spillThresholdMiB = 1;
  // Eight seconds of quiet noise with a loud 10 ms burst every second.
  std::vector<float> s = test::Noise(size_t(16) * kRate, 0.02f);
  const std::vector<float> burst = test::Sine(kRate / 100, 2, 1000, kRate, 0.9);
  for (size_t second = 0; second < 8; ++second)
    for (size_t i = 0; i < burst.size(); ++i) s[second * 2 * kRate + i] += burst[i];
  rig.Load(s);
  const std::vector<float> before = rig.doc.CopySamples();
  auto inFile = [&] {
    bool file = false;
    rig.doc.Samples().ForEachStorage([&](const SampleStorage* st) { file = file || st->File() != nullptr; });
    return file;
  };
  rig.window.view.numberAnswers.push_back({-6.0});
  ASSERT_TRUE(rig.levels.HandleCommand(kMenuGain));
  EXPECT_TRUE(inFile());
  const std::vector<float> quieter = rig.doc.CopySamples();
  ASSERT_EQ(quieter.size(), before.size());
  const float scale = float(std::pow(10.0, -6.0 / 20));
  size_t off = 0;
  for (size_t i = 0; i < before.size(); ++i) off += std::fabs(quieter[i] - before[i] * scale) > 1e-6f;
  EXPECT_EQ(off, 0u);
  ASSERT_TRUE(rig.doc.Undo());

  rig.levels.HandleCommand(kMenuLoudnessPodcast);
  EXPECT_NE(rig.window.port.StatusText().find("限幅器压住了过高的峰"), std::string::npos) << rig.window.port.StatusText();
  EXPECT_TRUE(inFile());
  EXPECT_NEAR(rig.Lufs(0, 8 * kRate), -16.0, 0.3);
  EXPECT_LE(AmplitudeDb(test::Peak(rig.doc.CopySamples())), -1.0);
  ASSERT_TRUE(rig.doc.Undo());
  EXPECT_EQ(rig.doc.CopySamples(), before);
}

TEST(LevelFlow, AGainThatWouldClipAsksFirstAndNoIsNoChange) {
  LevelRig rig;
  rig.Load(test::Sine(2 * kRate, 2, 440, kRate, 0.5));  // peak −6 dBFS
  const std::vector<float> before = rig.doc.CopySamples();
  rig.window.view.numberAnswers.push_back({12.0});
  rig.window.view.boxAnswers.push_back(BoxAnswer::No);
  rig.levels.HandleCommand(kMenuGain);
  ASSERT_EQ(rig.window.view.numberNotes.size(), 1u);
  EXPECT_NE(rig.window.view.numberNotes[0].find("会削波"), std::string::npos);
  EXPECT_EQ(rig.window.view.boxes.size(), 1u);
  EXPECT_EQ(rig.doc.CopySamples(), before);
  rig.window.view.numberAnswers.push_back({12.0});
  rig.window.view.boxAnswers.push_back(BoxAnswer::Yes);
  rig.levels.HandleCommand(kMenuGain);
  EXPECT_NEAR(test::Peak(rig.doc.CopySamples()), 0.5 * std::pow(10.0, 0.6), 1e-3);
}

}  // namespace
}  // namespace vesk::ui
