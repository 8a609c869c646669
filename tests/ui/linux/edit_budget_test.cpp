// The undo budget through the edit area (the override is an environment
// variable, set here with the POSIX call).
#include <gtest/gtest.h>

#include <cstdlib>

#include "doc/doc_test_clips.h"
#include "ui/control_ids.h"
#include "ui/edit_rig.h"

namespace vesk::ui {
namespace {

using test::EditRig;

// Edits share the clip's samples with the states before them, so a clip far
// over the budget stays undoable; only a step that leaves the whole clip to
// its undo state alone goes over.
TEST(EditBudget, SharedEditsStayUndoableAndAWholeRewriteIsRefusedUndo) {
  setenv("VESK_UNDO_BUDGET_MB", "1", 1);
  EditRig rig;
  rig.Load(test::Constant(200000, 2, 0.1f));  // 1.5 MiB of samples
  EXPECT_EQ(rig.Status().find("撤销预算"), std::string::npos) << rig.Status();
  rig.doc.SetSelection(1000, 1100);
  rig.Key(Key::Delete);
  EXPECT_EQ(rig.doc.Frames(), 199900u);
  EXPECT_TRUE(rig.State().Control(kIdUndo).enabled) << rig.Status();
  EXPECT_LT(rig.doc.UndoBytes(), 8192u);  // the two cut ramps, nothing of the clip

  rig.doc.SetSelection(0, rig.doc.Frames());
  ASSERT_TRUE(rig.area.HandleCommand(kIdSilence));
  EXPECT_EQ(rig.Status(), "片段过大，本次操作不可撤销。");
  EXPECT_FALSE(rig.State().Control(kIdUndo).enabled);
  unsetenv("VESK_UNDO_BUDGET_MB");
}

}  // namespace
}  // namespace vesk::ui
