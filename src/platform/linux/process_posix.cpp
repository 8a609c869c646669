#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/clock.h"
#include "platform/process.h"

extern char** environ;

namespace vesk {

bool IsExecutableFile(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

ChildProcess::~ChildProcess() {
  // Reap a child that already ended so it leaves no zombie behind.
  if (started_ && !ended_) Wait(0);
}

bool ChildProcess::Start(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& outputFile, unsigned long* systemError) {
  // Everything the child needs is made before the fork: between fork and
  // exec only async-signal-safe calls are allowed.
  const std::string out = outputFile.empty() ? std::string("/dev/null") : outputFile.string();
  std::vector<std::string> all;
  all.push_back(program.string());
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The child reports a failed set-up or exec through this pipe; a
  // successful exec closes it (close-on-exec) without a word.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    if (systemError) *systemError = (unsigned long)errno;
    return false;
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(report[0]);
    int failed = 0;
    // Killed with the program, also when the program is killed: an export's
    // ffmpeg must not run on unseen.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) failed = errno ? errno : ESRCH;
    const int in = failed ? -1 : ::open("/dev/null", O_RDONLY);
    const int o = failed ? -1 : ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
    if (!failed && (in < 0 || o < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(o, 2) < 0)) failed = errno;
    if (!failed) {
      if (in > 2) ::close(in);
      if (o > 2) ::close(o);
      ::execve(argv[0], argv.data(), environ);
      failed = errno;
    }
    [[maybe_unused]] const ssize_t n = ::write(report[1], &failed, sizeof failed);
    ::_exit(127);
  }
  ::close(report[1]);
  if (pid < 0) {
    if (systemError) *systemError = (unsigned long)errno;
    ::close(report[0]);
    return false;
  }
  int childError = 0;
  ssize_t n;
  do n = ::read(report[0], &childError, sizeof childError);
  while (n < 0 && errno == EINTR);
  ::close(report[0]);
  if (n == ssize_t(sizeof childError)) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (systemError) *systemError = (unsigned long)childError;
    return false;
  }
  process_ = pid;
  started_ = true;
  ended_ = false;
  exitCode_ = -1;
  return true;
}

bool ChildProcess::Wait(int64_t timeoutMs) {
  if (!started_) return false;
  if (ended_) return true;
  const int64_t deadline = Now100ns() + timeoutMs * 10'000;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid_t(process_), &status, timeoutMs < 0 ? 0 : WNOHANG);
    if (r == pid_t(process_)) {
      ended_ = true;
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
      return true;
    }
    if (r < 0 && errno != EINTR) {
      ended_ = true;
      return true;
    }
    if (timeoutMs >= 0 && Now100ns() >= deadline) return false;
    const timespec pause{0, 5'000'000};
    nanosleep(&pause, nullptr);
  }
}

void ChildProcess::Kill() {
  if (started_ && !ended_) {
    kill(pid_t(process_), SIGKILL);
    Wait(-1);
  }
}

}  // namespace vesk
