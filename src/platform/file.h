#pragma once
// A file handle owned by one object. The backend opens with the sharing rules
// the callers rely on: OpenRead shares read and write access with other
// openers; OpenWrite creates or truncates and shares read access.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace vesk {

class File {
 public:
  File() = default;
  ~File() { Close(); }
  File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kInvalid; }
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool OpenRead(const std::filesystem::path& path);
  // Creates the file or truncates an existing one; never follows a symbolic
  // link on Linux.
  bool OpenWrite(const std::filesystem::path& path);
  // Creates a new file for writing; fails when anything (a file or a link)
  // already has that name.
  bool CreateNew(const std::filesystem::path& path);
  bool IsOpen() const { return handle_ != kInvalid; }
  void Close();

  // Size in bytes, -1 on failure.
  int64_t Size() const;
  bool Seek(int64_t offset);
  // Bytes read (0 at the end of the file), -1 on failure. Short reads happen
  // only at the end of the file or on failure.
  int64_t Read(void* buffer, size_t bytes);
  // Writes everything or fails.
  bool Write(const void* data, size_t bytes);

 private:
  static constexpr intptr_t kInvalid = -1;
  intptr_t handle_ = kInvalid;  // fd on Linux, HANDLE on Windows
};

// Reads a whole (small) file; false when it cannot be opened or read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& out);

}  // namespace vesk
