// The headless edit's ranges and steps over the real document.
#include <gtest/gtest.h>

#include "app/edit_file.h"
#include "doc/doc_test_clips.h"

namespace vesk {
namespace {

TEST(EditRange, ReadsSecondsToTheNearestFrameAndRefusesTheRest) {
  struct Case {
    const char* text;
    bool ok;
    uint64_t first, last;
  } cases[] = {
      {"1-2", true, 48000, 96000},   {"0.5-1.25", true, 24000, 60000}, {"0-0.00002", true, 0, 1},
      {".5-1.", true, 24000, 48000}, {"5-3", false, 0, 0},             {"3-3", false, 0, 0},
      {"0-0.00001", false, 0, 0},    {"abc", false, 0, 0},             {"-1-2", false, 0, 0},
      {"1-", false, 0, 0},           {"-", false, 0, 0},               {"1-2-3", false, 0, 0},
      {"1e2-3e2", false, 0, 0},      {" 1-2", false, 0, 0},            {"1..2-3", false, 0, 0},
      {"9999999999-99999999999", false, 0, 0},
  };
  for (const Case& c : cases) {
    uint64_t first = 0, last = 0;
    EXPECT_EQ(ParseEditRange(c.text, 48000, first, last), c.ok) << c.text;
    EXPECT_EQ(std::make_pair(first, last), std::make_pair(c.first, c.last)) << c.text;
  }
}

// Each range is read on the clip the steps before it left; a step past the
// end stops the run there.
TEST(EditSteps, ReadEachRangeOnTheClipAsTheStepsBeforeLeftIt) {
  using enum EditOp;
  struct Case {
    std::vector<EditStep> steps;
    bool ok;
    uint64_t frames;
    size_t undos;  // steps made
  } cases[] = {
      {{{Delete, "0-1"}, {Delete, "0-1"}, {Trim, "0.5-1"}}, true, 500, 3},
      {{{Delete, "0-2"}, {Silence, "0.5-1"}}, true, 1000, 2},
      {{{Delete, "1-2"}, {Delete, "1.5-2.5"}}, false, 2000, 1},
      {{{Trim, "0-1"}, {Silence, "x"}}, false, 1000, 1},
      {{}, true, 3000, 0},
  };
  for (const Case& c : cases) {
    AudioDoc doc;
    test::AdoptClip(doc, test::Constant(3000, 2, 0.5f), 1000);
    std::string error;
    EXPECT_EQ(ApplyEditSteps(doc, c.steps, error), c.ok) << error;
    EXPECT_EQ(error.empty(), c.ok) << error;
    EXPECT_EQ(doc.Frames(), c.frames);
    EXPECT_EQ(doc.UndoCount(), c.undos);
  }
}

}  // namespace
}  // namespace vesk
