#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <system_error>

#include "denoise/denoise_engine.h"
#include "platform/file.h"
#include "platform/text.h"

namespace vesk {
namespace fs = std::filesystem;

namespace {

const char* const kScanKeywords[] = {"de-noise", "denoise", "de noise"};

bool HasScanKeyword(const std::string& lower) {
  for (const char* k : kScanKeywords)
    if (lower.find(k) != std::string::npos) return true;
  return false;
}

std::string LowerAscii(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = (unsigned char)utf8[i];
    if (c < 0x80) {
      out += char(std::tolower(c));
      ++i;
    } else {
      const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      out += len == 4 ? "??" : "?";
      i += len;
    }
  }
  return out;
}

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && EqualsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

std::string EnvValue(const char* name, size_t maxChars) {
  const char* v = std::getenv(name);
  if (!v) return {};
  std::string s(v);
  if (s.size() > maxChars) s.resize(maxChars);
  return s;
}

// Entries of one folder in name order, so the scan order does not depend on
// the file system's directory order.
std::vector<fs::directory_entry> SortedEntries(const fs::path& folder) {
  std::vector<fs::directory_entry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
  std::sort(entries.begin(), entries.end(),
            [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
  return entries;
}

void ScanFolder(const fs::path& folder, int depth, std::vector<DenoiseCandidate>& out) {
  if (depth > 3) return;
  const std::vector<fs::directory_entry> entries = SortedEntries(folder);
  for (const fs::directory_entry& e : entries) {
    const std::string name = PathToUtf8(e.path().filename());
    if (name.empty() || name[0] == '.' || !EndsWithNoCase(name, ".vst3")) continue;
    if (!HasScanKeyword(LowerAscii(name))) continue;
    fs::path module;
    if (ResolveBundleModule(e.path(), module)) out.push_back({module, name, ReadModuleArch(module)});
  }
  for (const fs::directory_entry& e : entries) {
    const std::string name = PathToUtf8(e.path().filename());
    std::error_code ec;
    if (name.empty() || name[0] == '.' || name.find(".vst3") != std::string::npos || !e.is_directory(ec)) continue;
    ScanFolder(e.path(), depth + 1, out);
  }
}

}  // namespace

double ReductionOffsetForLevel(unsigned level) { return level == 0 ? 6.0 : level == 2 ? -6.0 : 0.0; }

std::vector<fs::path> DenoiseSearchFolders() {
  const std::string list = EnvValue("VESK_VST3_PATH", 2047);
  if (!std::getenv("VESK_VST3_PATH")) return DefaultVst3Folders();
  std::vector<fs::path> folders;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(';', start), list.size());
    if (end > start) folders.push_back(PathFromUtf8(list.substr(start, end - start)));
    start = end + 1;
  }
  return folders;
}

std::vector<DenoiseCandidate> ScanForDenoisePlugins(const std::vector<fs::path>& folders) {
  std::vector<DenoiseCandidate> out;
  for (const fs::path& folder : folders) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) ScanFolder(folder, 0, out);
  }
  return out;
}

int ChooseDenoiseCandidate(const std::vector<DenoiseCandidate>& candidates, const std::string& preferred) {
  std::vector<int> order;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const std::string lower = LowerAscii(candidates[i].fileName);
    if (lower.find("voice") != std::string::npos && HasScanKeyword(lower)) order.push_back(int(i));
  }
  if (order.empty()) return -1;
  if (!preferred.empty())
    for (int i : order)
      if (candidates[size_t(i)].fileName.find(preferred) != std::string::npos) return i;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    const DenoiseCandidate& x = candidates[size_t(a)];
    const DenoiseCandidate& y = candidates[size_t(b)];
    const unsigned vx = RxVersionOf(x.fileName), vy = RxVersionOf(y.fileName);
    if (vx != vy) return vx > vy;
    const bool x32 = x.architecture == 2, y32 = y.architecture == 2;
    if (x32 != y32) return !x32;
    return Utf8Length(x.fileName) < Utf8Length(y.fileName);
  });
  return order.front();
}

void DiscoverDenoisePlugin(DenoiseEngine& engine) {
  engine.discovered = true;
  engine.modulePath.clear();
  engine.fileName.clear();
  engine.architecture = 0;
  engine.displayName.clear();
  const std::vector<DenoiseCandidate> candidates = ScanForDenoisePlugins(DenoiseSearchFolders());
  const int chosen = ChooseDenoiseCandidate(candidates, EnvValue("VESK_DENOISE_PLUGIN", 127));
  if (chosen >= 0) {
    const DenoiseCandidate& c = candidates[size_t(chosen)];
    engine.modulePath = c.modulePath;
    engine.fileName = c.fileName;
    engine.architecture = c.architecture;
  }
  ChooseBuiltinEngine(engine, chosen < 0);
}

std::string PluginDisplayName(const DenoiseEngine& engine) {
  if (engine.modulePath.empty()) return {};
  std::string name = engine.fileName;
  if (name.size() >= 5 && name.compare(name.size() - 5, 5, ".vst3") == 0) name.resize(name.size() - 5);
  if (engine.architecture == 2) name += "（32 位）";
  return name;
}

void ChooseBuiltinEngine(DenoiseEngine& engine, bool builtin) {
  engine.builtin = (builtin || engine.modulePath.empty()) && BuiltinDenoiseSupported();
  engine.displayName = engine.builtin ? std::string(kBuiltinEngineName) : PluginDisplayName(engine);
}

bool ResolveBundleModule(const fs::path& entry, fs::path& module) {
  std::error_code ec;
  const fs::file_status st = fs::status(entry, ec);
  if (ec || !fs::exists(st)) return false;
  if (!fs::is_directory(st)) {
    module = entry;
    return true;
  }
  for (const std::string& sub : BundleSubFolders()) {
    const fs::path folder = entry / PathFromUtf8(sub);
    for (const fs::directory_entry& e : SortedEntries(folder)) {
      const std::string name = PathToUtf8(e.path().filename());
      if (EndsWithNoCase(name, BundleModuleSuffix()) && !e.is_directory(ec)) {
        module = e.path();
        return true;
      }
    }
  }
  return false;
}

int ReadModuleArch(const fs::path& module) {
  File f;
  if (!f.OpenRead(module)) return 0;
  uint8_t head[4096];
  const int64_t got = f.Read(head, sizeof head);
  return got > 0 ? ModuleArchFromHeader(head, size_t(got)) : 0;
}

int PeArchOf(const uint8_t* b, size_t n) {
  if (n < 64 || b[0] != 'M' || b[1] != 'Z') return 0;
  const uint32_t pe = uint32_t(b[60]) | uint32_t(b[61]) << 8 | uint32_t(b[62]) << 16 | uint32_t(b[63]) << 24;
  if (uint64_t(pe) + 6 > n) return 0;
  if (b[pe] != 'P' || b[pe + 1] != 'E' || b[pe + 2] != 0 || b[pe + 3] != 0) return 0;
  const unsigned machine = unsigned(b[pe + 4]) | unsigned(b[pe + 5]) << 8;
  return machine == 0x8664 ? 1 : machine == 0x014C ? 2 : 0;
}

int ElfArchOf(const uint8_t* b, size_t n) {
  if (n < 20 || b[0] != 0x7F || b[1] != 'E' || b[2] != 'L' || b[3] != 'F') return 0;
  const int elfClass = b[4];  // 1 = 32-bit, 2 = 64-bit
  const bool little = b[5] == 1;
  const unsigned machine = little ? unsigned(b[18]) | unsigned(b[19]) << 8 : unsigned(b[19]) | unsigned(b[18]) << 8;
  if (elfClass == 2 && machine == 62) return 1;  // EM_X86_64
  if (elfClass == 1 && machine == 3) return 2;   // EM_386
  return 0;
}

unsigned RxVersionOf(const std::string& fileName) {
  const std::string s = AsciiLower(fileName);
  for (size_t pos = s.find("rx"); pos != std::string::npos; pos = s.find("rx", pos + 1)) {
    size_t i = pos + 2;
    while (i < s.size() && (s[i] == ' ' || s[i] == '-' || s[i] == '_')) ++i;
    if (i < s.size() && std::isdigit((unsigned char)s[i])) {
      unsigned v = 0;
      while (i < s.size() && std::isdigit((unsigned char)s[i]) && v < 100000000u) v = v * 10 + unsigned(s[i++] - '0');
      return v;
    }
  }
  return 0;
}

}  // namespace vesk
