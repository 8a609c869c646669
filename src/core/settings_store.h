#pragma once
// The settings file "VeskRecorder.ini": an ordered list of key=value pairs,
// read once and rewritten whole (atomically) on every change. Keys compare
// case-insensitively (ASCII); the first matching pair is read and written;
// pairs of unknown keys are kept and written back unchanged.
//
// Reading accepts UTF-16LE or UTF-8 with a byte-order mark, plain UTF-8,
// and otherwise the system's ANSI code page (GB18030 on Linux). Writing is
// always "[VeskRecorder]" + the pairs, UTF-8 with a byte-order mark and CR LF.
// Not thread-safe: settings belong to the window thread.
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vesk {

using IniPair = std::pair<std::string, std::string>;

inline constexpr size_t kSettingsMaxBytes = 1048575;

// Bytes of the file to UTF-8 text by the rules above.
std::string DecodeSettingsBytes(std::string_view bytes);
// Text to pairs: lines split at LF, trimmed; empty, "[", ";" and "#" lines
// and lines without "=" or with an empty key are skipped.
std::vector<IniPair> ParseSettingsText(std::string_view text);
// The complete file image of `pairs`.
std::string SerializeSettings(const std::vector<IniPair>& pairs);
// True for text that is valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

class IniStore {
 public:
  // A store without a file (nothing is written).
  IniStore() = default;
  // A store over `file`; nothing is read until Load.
  explicit IniStore(std::filesystem::path file) : file_(std::move(file)) {}

  // Reads the file. A missing, empty, unreadable file or one of more than
  // 1048575 bytes leaves the store empty. Marks the store loaded. When the
  // file exists but could not be read (too large, not a regular file, a
  // read error) the session log says so and the store never writes the
  // file: its keys are not lost to a save of defaults.
  void Load();
  void LoadFromBytes(std::string_view bytes);
  bool Loaded() const { return loaded_; }

  bool Has(std::string_view key) const;
  // Base-10 value (leading blanks and sign allowed, saturating at the 32-bit
  // ends); `fallback` when the key is missing or its value empty.
  int GetInt(std::string_view key, int fallback) const;
  std::string GetString(std::string_view key) const;

  // Updates the first matching pair or appends one, then rewrites the file
  // (unless a batch is open). A key or value holding CR or LF cannot be
  // stored in this format and is refused: the old value stays.
  void SetString(std::string_view key, std::string_view value);
  void SetInt(std::string_view key, int value);

  // Defers the rewrites of SetString until the matching EndBatch; the
  // resulting file is the same as with one rewrite per set.
  void BeginBatch() { ++batchDepth_; }
  void EndBatch();

  // Rewrites the file now. False when it could not be replaced (the old
  // file is then unchanged) or may not be (LoadFailure).
  bool Save() const;
  // Why the last Load could not read an existing file; empty when it could
  // (or the file was not there).
  const std::string& LoadFailure() const { return loadFailure_; }

  const std::vector<IniPair>& Pairs() const { return pairs_; }
  const std::filesystem::path& FilePath() const { return file_; }

 private:
  const IniPair* Find(std::string_view key) const;
  IniPair* Find(std::string_view key);
  void RefuseSaving(const std::string& reason);

  std::filesystem::path file_;
  std::vector<IniPair> pairs_;
  bool loaded_ = false;
  std::string loadFailure_;
  int batchDepth_ = 0;
  bool dirty_ = false;
};

// Holds a batch of an IniStore open for its lifetime.
class IniBatch {
 public:
  explicit IniBatch(IniStore& store) : store_(store) { store_.BeginBatch(); }
  ~IniBatch() { store_.EndBatch(); }
  IniBatch(const IniBatch&) = delete;
  IniBatch& operator=(const IniBatch&) = delete;

 private:
  IniStore& store_;
};

// The application's store: DataFolder()/"VeskRecorder.ini", loaded on first
// use (one-time initialisation is thread-safe; later use is window-thread only).
IniStore& AppSettings();
int GetIniInt(std::string_view key, int fallback);
std::string GetIniString(std::string_view key);
void SetIniString(std::string_view key, std::string_view value);
void SetIniInt(std::string_view key, int value);

}  // namespace vesk
