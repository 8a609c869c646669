#pragma once
// Helpers shared by the tests: private scratch folders, byte files, and
// running the built programs.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vesk::test {

// A fresh folder under the temp directory, removed with its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::string ReadText(const std::filesystem::path& path);

// Folder holding the built programs (the test program's own folder).
std::filesystem::path BuiltProgramDir();
// File name of a built program on this platform ("VeskRecorder" or "VeskRecorder.exe").
std::string ProgramFileName(const std::string& base);

// Copies a built program into `dir` with the libraries it loads from its own
// folder (the FFmpeg DLLs on Windows) and returns its path there.
std::filesystem::path CopyBuiltProgram(const std::string& base, const std::filesystem::path& dir);

struct RunResult {
  bool started = false;
  int exitCode = -1;
  std::string output;  // standard output and error
};
// Runs a program with a time limit of 120 s.
RunResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args);

// True when a command-line tool (ffmpeg, sox) can be run (Linux tests only).
bool HaveTool(const std::string& name);
// Runs a tool through the shell and returns its exit code.
int Shell(const std::string& command);

// Little-endian helpers for hand-built files.
void Append16(std::vector<uint8_t>& v, uint16_t x);
void Append32(std::vector<uint8_t>& v, uint32_t x);
void AppendTag(std::vector<uint8_t>& v, const char* tag);

}  // namespace vesk::test
