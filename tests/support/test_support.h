#pragma once
// Helpers shared by the tests: private scratch folders, byte files, and
// running the built programs.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
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
void WriteText(const std::filesystem::path& path, const std::string& text);
// Moves a file's modification time `seconds` into the past (a file left by
// an earlier run).
void AgeFile(const std::filesystem::path& path, int seconds = 60);
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

// VESK_REQUIRE_REAL_PARTS=1 (scripts/run-tests.sh sets it): set-up has
// installed every real part the tests use, so one that is missing or cannot
// start is a fault of this machine to report, not a reason to skip.
bool RealPartsRequired();
// Runs a tool through the shell and returns its exit code.
int Shell(const std::string& command);

// Sets an environment variable for the lifetime of the object (inherited by
// child processes started meanwhile); an empty value removes it.
class EnvOverride {
 public:
  EnvOverride(const char* name, const std::string& value);
  ~EnvOverride();
  EnvOverride(const EnvOverride&) = delete;
  EnvOverride& operator=(const EnvOverride&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Registers Suite.Name, with `body` as its test body, only in a test program
// started with `variable` set: the child half of a test that re-runs this
// program (run with --gtest_filter=Suite.Name). Elsewhere the test does not
// exist, so it is neither listed nor reported as skipped. Call it from a
// namespace-scope initialiser.
bool RegisterChildTest(const char* suite, const char* name, const char* variable, std::function<void()> body);

// Little-endian helpers for hand-built files.
void Append16(std::vector<uint8_t>& v, uint16_t x);
void Append32(std::vector<uint8_t>& v, uint32_t x);
void AppendTag(std::vector<uint8_t>& v, const char* tag);
uint16_t Le16(const std::string& bytes, size_t at);
uint32_t Le32(const std::string& bytes, size_t at);

}  // namespace vesk::test

// Ends the test for want of a real part (`reason` says which): a skip on a
// developer's machine, a failure under VESK_REQUIRE_REAL_PARTS=1.
#define VESK_MISSING_PART(reason)                                                        \
  do {                                                                                  \
    if (::vesk::test::RealPartsRequired())                                              \
      GTEST_FAIL() << (reason) << " (a real part that set-up provides; VESK_REQUIRE_REAL_PARTS=1)"; \
    else                                                                                \
      GTEST_SKIP() << (reason);                                                         \
  } while (0)
