#include "app/report_file.h"

#include "platform/text.h"

namespace vesk {

ReportFile::ReportFile(const std::filesystem::path& path, size_t pieceBuffer) : pieceBuffer_(pieceBuffer) {
  file_.OpenWrite(path);
}

void ReportFile::Piece(const std::string& text) {
  // The buffer also holds the terminating zero of the converted text.
  if (text.size() + 1 > pieceBuffer_) return;
  file_.Write(text.data(), text.size());
}

void ReportFile::Line(const std::string& key, const std::string& value) {
  if (!file_.IsOpen()) return;
  Piece(key + "=");
  // A file name or a tool's multi-line message must not add lines of its own.
  Piece(OneLineValue(value));
  Piece("\n");
}

void ReportFile::Int(const std::string& key, long long value) { Line(key, std::to_string(value)); }
void ReportFile::Uint(const std::string& key, unsigned long long value) { Line(key, std::to_string(value)); }
void ReportFile::Real(const std::string& key, const char* format, double value) { Line(key, Format(format, value)); }

}  // namespace vesk
