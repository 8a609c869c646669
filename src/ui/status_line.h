#pragma once
// The status line is one line of the window: a long result ends in "…" at
// its edge. The views show the whole text on hover; a failure's text also
// opens whole in a details box from a click on the line (WindowPort keeps
// the current status and whether it has such details).
#include <string>

namespace vesk::ui {

// The title of the details box.
inline constexpr const char kStatusDetailsTitle[] = "详情";

// True when `status` reports something that went wrong (a failed or refused
// save, export, open or render, a result check that found differences).
bool IsFailureStatus(const std::string& status);

}  // namespace vesk::ui
