#include "support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <vector>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "platform/file.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/text.h"

namespace vesk::test {
namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  path_ = fs::temp_directory_path() /
          Format("vesk-test-%u-%d", unsigned(rd()), counter.fetch_add(1));
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  // Not fs::remove_all: a file some test still holds open (a window reading
  // its clip) is only marked for deletion on Windows, and remove_all keeps
  // finding it inside a subfolder forever. Listed once, removed deepest first;
  // what stays open is left behind.
  std::error_code ec;
  std::vector<fs::path> entries;
  for (fs::recursive_directory_iterator it(path_, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back(it->path());
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) fs::remove(*e, ec);
  fs::remove(path_, ec);
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  File f;
  if (f.OpenWrite(path)) f.Write(bytes.data(), bytes.size());
}

void AgeFile(const fs::path& path, int seconds) {
  std::error_code ec;
  fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(seconds), ec);
}

void WriteText(const fs::path& path, const std::string& text) {
  File f;
  if (f.OpenWrite(path)) f.Write(text.data(), text.size());
}

std::string ReadText(const fs::path& path) {
  std::string s;
  ReadWholeFile(path, s);
  return s;
}

fs::path BuiltProgramDir() { return ProgramDir(); }

std::string ProgramFileName(const std::string& base) {
#ifdef _WIN32
  return base + ".exe";
#else
  return base;
#endif
}

RunResult RunProgram(const fs::path& program, const std::vector<std::string>& args) {
  RunResult r;
  ScratchDir scratch;
  const fs::path out = scratch / "output.txt";
  ChildProcess child;
  if (!child.Start(program, args, out)) return r;
  r.started = true;
  if (!child.Wait(120'000)) {
    child.Kill();
    return r;
  }
  r.exitCode = child.ExitCode();
  r.output = ReadText(out);
  return r;
}

std::filesystem::path CopyBuiltProgram(const std::string& base, const std::filesystem::path& dir) {
  const std::filesystem::path program = dir / ProgramFileName(base);
  std::filesystem::copy_file(BuiltProgramDir() / ProgramFileName(base), program,
                             std::filesystem::copy_options::overwrite_existing);
  for (const auto& entry : std::filesystem::directory_iterator(BuiltProgramDir()))
    if (entry.path().extension() == ".dll" || entry.path().filename() == "sh.rnnn")  // libraries, speech model
      std::filesystem::copy_file(entry.path(), dir / entry.path().filename(),
                                 std::filesystem::copy_options::overwrite_existing);
  return program;
}

bool HaveTool(const std::string& name) { return Shell(name + " -version >/dev/null 2>&1") == 0 || Shell("command -v " + name + " >/dev/null 2>&1") == 0; }

bool RealPartsRequired() {
  const char* value = std::getenv("VESK_REQUIRE_REAL_PARTS");
  return value != nullptr && std::string(value) == "1";
}

int Shell(const std::string& command) {
  const int rc = std::system(command.c_str());
#ifdef _WIN32
  return rc;
#else
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#endif
}

void Append16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}

void Append32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

void AppendTag(std::vector<uint8_t>& v, const char* tag) { v.insert(v.end(), tag, tag + 4); }

uint16_t Le16(const std::string& b, size_t at) { return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); }

uint32_t Le32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}

namespace {

void SetVariable(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value.c_str());
#else
  if (value.empty())
    unsetenv(name.c_str());
  else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

class ChildBody : public testing::Test {
 public:
  explicit ChildBody(std::function<void()> body) : body_(std::move(body)) {}
  void TestBody() override { body_(); }

 private:
  std::function<void()> body_;
};

}  // namespace

EnvOverride::EnvOverride(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  SetVariable(name_, value);
}

EnvOverride::~EnvOverride() { SetVariable(name_, old_.value_or("")); }

bool RegisterChildTest(const char* suite, const char* name, const char* variable, std::function<void()> body) {
  const char* value = std::getenv(variable);
  if (value == nullptr || *value == '\0') return false;
  testing::RegisterTest(suite, name, nullptr, nullptr, __FILE__, __LINE__,
                        [body = std::move(body)]() -> testing::Test* { return new ChildBody(body); });
  return true;
}

}  // namespace vesk::test
