#pragma once
// The key=value report of a headless mode: UTF-8, LF line ends, no byte-order
// mark, "ok=" first. Each piece (a key with its "=", a value, a line end)
// goes through a fixed buffer; a piece that does not fit is left out. A
// value is always written on one line (line breaks become "\n").
#include <filesystem>
#include <string>

#include "platform/file.h"

namespace vesk {

class ReportFile {
 public:
  // Opens (truncating) the report; when it cannot be opened every later call
  // does nothing.
  ReportFile(const std::filesystem::path& path, size_t pieceBuffer = 2048);

  void Line(const std::string& key, const std::string& value);
  void Bool(const std::string& key, bool value) { Line(key, value ? "1" : "0"); }
  void Int(const std::string& key, long long value);
  void Uint(const std::string& key, unsigned long long value);
  // Writes "key=" followed by printf of the value, e.g. Real("peak", "%.6f", x).
  void Real(const std::string& key, const char* format, double value);
  void ErrIfAny(const std::string& error) {
    if (!error.empty()) Line("err", error);
  }
  // Writes text as one piece (a block of several lines formatted together).
  void Raw(const std::string& text) {
    if (file_.IsOpen()) Piece(text);
  }
  bool IsOpen() const { return file_.IsOpen(); }

 private:
  void Piece(const std::string& text);
  File file_;
  size_t pieceBuffer_;
};

// Report file names, all in the data folder.
inline constexpr const char* kSelfTestReport = "selftest-report.txt";
inline constexpr const char* kExportVideoReport = "export-video-report.txt";
inline constexpr const char* kDenoiseReport = "denoise-report.txt";
inline constexpr const char* kLoudnessReport = "loudness-report.txt";
inline constexpr const char* kProbeAudioReport = "probe-audio-report.txt";
inline constexpr const char* kProbeVideoReport = "probe-video-report.txt";
inline constexpr const char* kProbePreviewReport = "probe-preview-report.txt";
inline constexpr const char* kEditReport = "edit-report.txt";

}  // namespace vesk
