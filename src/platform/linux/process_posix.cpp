#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
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
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const std::string out = outputFile.empty() ? std::string("/dev/null") : outputFile.string();
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);

  std::vector<std::string> all;
  all.push_back(program.string());
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int rc = posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    if (systemError) *systemError = (unsigned long)rc;
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
