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

TEST(EditBudget, OverTheUndoBudgetWarnsAtLoadAndReplacesTheSuccessText) {
  setenv("VESK_UNDO_BUDGET_MB", "1", 1);
  EditRig rig;
  rig.Load(test::Constant(200000, 2, 0.1f));  // 1.5 MiB of samples
  EXPECT_EQ(rig.Status(),
            "素材较长（00:00:04.1，占 1.5 MB），超过这台机器当前的撤销预算（1.0 MB），无法撤销：撤销/重做按钮会是灰的。"
            "建议先用「裁剪到选区」截出要处理的那一段，再在那上面编辑。");
  rig.doc.SetSelection(0, 100);
  rig.Key(Key::Delete);
  EXPECT_EQ(rig.Status(), "片段过大，本次操作不可撤销。");
  EXPECT_EQ(rig.doc.Frames(), 199900u);
  EXPECT_FALSE(rig.State().Control(kIdUndo).enabled);
  unsetenv("VESK_UNDO_BUDGET_MB");
}

}  // namespace
}  // namespace vesk::ui
