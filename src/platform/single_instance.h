#pragma once
// One running window application per user session. The first start claims
// a system-wide name; a second start finds it taken, asks the running one to
// come to the front, hands it the file it was started with, and exits.
//
// Windows: a named mutex; the second start raises the first's main window
// itself (found by its window class) and sends it the file in a WM_COPYDATA
// message tagged kOpenFileCopyDataTag. Linux: an exclusive flock on
// "<name>.lock" in $XDG_RUNTIME_DIR (or a private per-user folder under the
// temp folder when that is unset), plus a local socket "<name>.sock" beside
// it on which the first instance listens; the second start sends a request
// with the file and the first instance's `raiseRequested` runs.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace vesk {

// The window application's claim (on Windows the mutex "Local\\" + this).
inline constexpr const char kSingleInstanceName[] = "VeskRecorder.SingleInstance.7E3A";

// Windows: COPYDATASTRUCT::dwData of a handed-over file; the data is the
// path in UTF-16 without a terminator.
inline constexpr unsigned long kOpenFileCopyDataTag = 0x5645534BUL;

struct SingleInstanceOptions {
  std::string name;         // kSingleInstanceName for the window application
  std::string windowClass;  // Windows: the main window's class, raised by a second start
  // Linux: folder of the lock file and the socket; empty = the default.
  std::filesystem::path folder;
  // First instance, Linux: a second start asked to be shown, with the file
  // it was started with (empty when none). Called on a background thread;
  // the window marshals it to its own thread.
  std::function<void(const std::filesystem::path& file)> raiseRequested;
};

class SingleInstance {
 public:
  virtual ~SingleInstance() = default;
  // True when this process holds the claim (it is the first instance).
  virtual bool IsFirst() const = 0;
  // Second instance: asks the running one to come to the front and to open
  // `file` (absolute, as the second start's folder means nothing to the
  // first; empty = only come forward). False when it could not be reached.
  virtual bool RaiseRunning(const std::filesystem::path& file) = 0;
};

// Claims the name. Never fails outright: when the lock cannot be set up at
// all (no writable folder), the result counts as the first instance so the
// program still starts.
std::unique_ptr<SingleInstance> ClaimSingleInstance(const SingleInstanceOptions& options);

// The default folder of the Linux lock: $XDG_RUNTIME_DIR, else
// "<temp>/vesk-<uid>" (created private, refused when it is not a folder of
// this user). Empty when neither can be used.
std::filesystem::path SingleInstanceFolder();

}  // namespace vesk
