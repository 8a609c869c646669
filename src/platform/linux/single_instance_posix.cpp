// Single instance on Linux: an flock on a lock file held for the life of
// the process (the kernel drops it when the process dies, however it dies),
// and a local socket on which the holder listens for "come forward".
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/folders.h"
#include "platform/single_instance.h"

namespace vesk {
namespace {

// A request is "raise\n", the file's path (maybe empty) and a NUL byte.
constexpr char kRequest[] = "raise\n";
constexpr char kAnswer[] = "ok\n";
constexpr size_t kMaxRequest = 64 * 1024;
constexpr int kAnswerWaitMs = 2000;
constexpr int kConnectTries = 20;  // the first instance may still be setting up its socket

bool PrivateFolderOfThisUser(const std::filesystem::path& dir) {
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
  return (st.st_mode & 077) == 0 || ::chmod(dir.c_str(), 0700) == 0;
}

bool FillAddress(const std::filesystem::path& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  const std::string text = path.string();
  if (text.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
  return true;
}

// Reads until `last` arrived, the peer closed, `limit` bytes came or the
// wait ended; true when the text ends with `last`.
bool ReadUntil(int fd, char last, size_t limit, int waitMs, std::string& got) {
  got.clear();
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (got.size() < limit && (got.empty() || got.back() != last)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, int(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    char c = 0;  // byte by byte: requests are a path long
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got.push_back(c);
  }
  return !got.empty() && got.back() == last;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  const size_t size = text.size();
  while (done < size) {
    const ssize_t n = ::send(fd, text.data() + done, size - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

class PosixSingleInstance final : public SingleInstance {
 public:
  explicit PosixSingleInstance(const SingleInstanceOptions& options) : raise_(options.raiseRequested) {
    const std::filesystem::path folder = options.folder.empty() ? SingleInstanceFolder() : options.folder;
    if (folder.empty()) return;  // no place for a lock: run unguarded
    socketPath_ = folder / (options.name + ".sock");
    lockFd_ = ::open((folder / (options.name + ".lock")).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) return;
    for (;;) {
      if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) break;
      if (errno == EINTR) continue;
      if (errno == EWOULDBLOCK) first_ = false;
      ::close(lockFd_);
      lockFd_ = -1;
      return;
    }
    Listen();
  }

  ~PosixSingleInstance() override {
    if (listener_.joinable()) {
      const char wake = 1;
      if (::write(wakePipe_[1], &wake, 1) < 0) {}
      listener_.join();
    }
    if (listenFd_ >= 0) {
      ::close(listenFd_);
      // Still holding the lock, so the socket is ours to remove.
      ::unlink(socketPath_.c_str());
    }
    for (int fd : wakePipe_)
      if (fd >= 0) ::close(fd);
    if (lockFd_ >= 0) ::close(lockFd_);
  }

  bool IsFirst() const override { return first_; }

  bool RaiseRunning(const std::filesystem::path& file) override {
    if (first_) return false;
    sockaddr_un address{};
    if (!FillAddress(socketPath_, address)) return false;
    const std::string request = kRequest + file.string() + '\0';
    if (request.size() > kMaxRequest) return false;
    for (int attempt = 0; attempt < kConnectTries; ++attempt) {
      const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (fd < 0) return false;
      if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        std::string answer;
        const bool ok = WriteAll(fd, request) && ReadUntil(fd, '\n', sizeof kAnswer, kAnswerWaitMs, answer) &&
                        answer == kAnswer;
        ::close(fd);
        return ok;
      }
      ::close(fd);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

 private:
  void Listen() {
    sockaddr_un address{};
    if (!FillAddress(socketPath_, address) || ::pipe2(wakePipe_, O_CLOEXEC) != 0) return;
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return;
    ::unlink(socketPath_.c_str());  // left by a run that was killed; the lock says nobody uses it
    if (::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 4) != 0) {
      ::close(listenFd_);
      listenFd_ = -1;
      return;
    }
    listener_ = std::thread([this] { Serve(); });
  }

  void Serve() {
    for (;;) {
      pollfd p[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
      const int r = ::poll(p, 2, -1);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 || (p[1].revents & POLLIN) != 0) return;
      if ((p[0].revents & POLLIN) == 0) continue;
      const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      std::string request;
      const bool asked = ReadUntil(client, '\0', kMaxRequest, kAnswerWaitMs, request) &&
                         request.rfind(kRequest, 0) == 0;
      if (asked) WriteAll(client, kAnswer);
      ::close(client);
      const size_t head = std::strlen(kRequest);
      if (asked && raise_) raise_(std::filesystem::path(request.substr(head, request.size() - head - 1)));
    }
  }

  std::function<void(const std::filesystem::path&)> raise_;
  std::filesystem::path socketPath_;
  bool first_ = true;
  int lockFd_ = -1;
  int listenFd_ = -1;
  int wakePipe_[2] = {-1, -1};
  std::thread listener_;
};

}  // namespace

std::filesystem::path SingleInstanceFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
    const std::filesystem::path dir(runtime);
    if (PrivateFolderOfThisUser(dir)) return dir;
  }
  const std::filesystem::path dir = TempDir() / ("vesk-" + std::to_string(::getuid()));
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  return PrivateFolderOfThisUser(dir) ? dir : std::filesystem::path();
}

std::unique_ptr<SingleInstance> ClaimSingleInstance(const SingleInstanceOptions& options) {
  return std::make_unique<PosixSingleInstance>(options);
}

}  // namespace vesk
