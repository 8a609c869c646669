#pragma once
// A file handle owned by one object. The backend opens with the sharing rules
// the callers rely on: OpenRead shares read, write and delete access with
// other openers (so a file the editor reads from can still be renamed or
// replaced); OpenWrite creates or truncates and shares read access.
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

  // Opens a regular file only: a FIFO, device, socket or folder is refused
  // without blocking (such a name from a user would hang the first read).
  bool OpenRead(const std::filesystem::path& path);
  // Creates the file or truncates an existing one; never follows a symbolic
  // link on Linux.
  bool OpenWrite(const std::filesystem::path& path);
  // Like OpenWrite, but the file stays claimed while open: on Linux an
  // exclusive flock is held, on Windows nobody else may open it for writing.
  // Refuses (without truncating) a file another writer holds. Used by the
  // WAV sink so recovery never touches a recording in progress.
  bool OpenWriteClaimed(const std::filesystem::path& path);
  // Opens an existing regular file for reading and writing only when nobody
  // holds it (Linux: flock LOCK_EX|LOCK_NB succeeds; Windows: share mode 0).
  // Never follows a symbolic link on Linux.
  bool OpenExclusive(const std::filesystem::path& path);
  // Opens for appending, creating the file when missing; shares read, write
  // and delete access so readers and renames of other handles still work.
  // Never follows a symbolic link on Linux.
  bool OpenAppend(const std::filesystem::path& path);
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
  // Reads at `offset` without moving the file position; safe from several
  // threads at once. Bytes read (fewer at the end of the file), -1 on failure.
  int64_t ReadAt(int64_t offset, void* buffer, size_t bytes) const;
  // Size and last write time as the open file has them now (not what its
  // name points to): changes show a rewrite or truncation in place.
  bool Stamp(int64_t& size, int64_t& writeTime) const;
  // Writes everything or fails.
  bool Write(const void* data, size_t bytes);
  // Pushes written data to the storage device (fdatasync / FlushFileBuffers).
  bool Flush();

 private:
  static constexpr intptr_t kInvalid = -1;
  intptr_t handle_ = kInvalid;  // fd on Linux, HANDLE on Windows
};

// Reads a whole (small) file; false when it cannot be opened or read, or
// does not fit in memory.
bool ReadWholeFile(const std::filesystem::path& path, std::string& out);

// True when `path` (links followed) names something that exists but is
// neither a regular file nor a folder: a FIFO, device or socket. Readers
// that hand a user's path to a library (which would block on it) ask first.
bool IsSpecialFile(const std::filesystem::path& path);
inline constexpr char kSpecialFileText[] = "这不是普通文件（是管道、设备或套接字），不能当媒体文件打开。";
// The same refusal for a path something is to be written to.
inline constexpr char kNotRegularOutputText[] =
    "输出路径不是普通文件（是文件夹、管道、设备或套接字），不能写入。请换个文件名。";

}  // namespace vesk
