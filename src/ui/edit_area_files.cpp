#include "ui/edit_area.h"

namespace vesk::ui {

bool EditArea::OpenForEdit(const std::filesystem::path&) { return false; }
bool EditArea::HandleFileCommand(int) { return false; }

}  // namespace vesk::ui
