#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/termination.h"

namespace vesk {

namespace {

int gPipe[2] = {-1, -1};

// Only async-signal-safe calls here: one byte into the pipe.
void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

bool WatchTerminationRequests(std::function<void()> onRequest) {
  if (gPipe[0] != -1 || ::pipe2(gPipe, O_CLOEXEC) != 0) return false;
  ::fcntl(gPipe[1], F_SETFL, O_NONBLOCK);
  std::thread([read = gPipe[0], onRequest = std::move(onRequest)] {
    char byte = 0;
    ssize_t n;
    do n = ::read(read, &byte, 1);
    while (n < 0 && errno == EINTR);
    if (n == 1) onRequest();
  }).detach();
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(signal, &action, nullptr);
  return true;
}

}  // namespace vesk
