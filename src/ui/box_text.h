#pragma once
// Texts shown in message boxes come partly from outside (device names from
// the settings, file names, ffmpeg's output); an unbounded one would make a
// box taller than any screen. Both views pass every box text through here.
#include <cstddef>
#include <string>

namespace vesk::ui {

constexpr size_t kBoxLineChars = 300;  // code points per line
constexpr size_t kBoxLines = 40;

// `text` with every line cut to kBoxLineChars code points and at most
// kBoxLines lines, each cut marked with "…".
std::string CapBoxText(const std::string& text);

}  // namespace vesk::ui
