#pragma once
// The self-test mode: a fixed run of checks of the recording and editing
// chain on the user's own machine — a short live capture to MP3 and WAV on a
// real device, reading both back, editing, and deterministic checks of the
// engine's rules — written as a readable Chinese report. Scratch files named
// "selftest-…" (and "adopt-test.wav") go next to the report.
#include <filesystem>

namespace vesk {

// Runs every section in order and writes the report (UTF-8 with a byte-order
// mark, CR LF) to `reportPath`. `seconds` is the capture length of each live
// section (1–600), `deviceIndex` the capture endpoint (−1: chosen
// automatically). Returns 0 when every check passed, else 1.
int RunSelfTest(int seconds, const std::filesystem::path& reportPath, int deviceIndex);

}  // namespace vesk
