// SIGSEGV guard: while a guarded body runs on a thread, a fault signal on
// that thread jumps back to the guard with siglongjmp. The handlers are
// installed only for the duration of the body and the previous ones restored
// afterwards, so faults elsewhere (and sanitizers, debuggers) behave as usual.
// Not reentrant across threads for the handler installation: guards are
// serialised by a mutex; a fault on another thread while a guard is active is
// handed to the previous handler (or the default action).
#include <setjmp.h>
#include <signal.h>

#include <cstring>
#include <mutex>

#include "platform/fault_guard.h"

namespace vesk {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr int kCount = sizeof kSignals / sizeof kSignals[0];

thread_local sigjmp_buf* activeJump = nullptr;
thread_local volatile sig_atomic_t caughtSignal = 0;
struct sigaction previous[kCount];

void OnFault(int sig, siginfo_t* info, void* uctx) {
  if (activeJump) {
    caughtSignal = sig;
    siglongjmp(*activeJump, 1);
  }
  // Not ours: behave as if the guard were not installed.
  for (int i = 0; i < kCount; ++i) {
    if (kSignals[i] != sig) continue;
    if (previous[i].sa_flags & SA_SIGINFO) {
      previous[i].sa_sigaction(sig, info, uctx);
      return;
    }
    if (previous[i].sa_handler != SIG_IGN && previous[i].sa_handler != SIG_DFL) {
      previous[i].sa_handler(sig);
      return;
    }
    sigaction(sig, &previous[i], nullptr);
    raise(sig);
    return;
  }
}

std::mutex guardMutex;

}  // namespace

bool RunFaultGuarded(GuardedBody body, void* context, uint32_t& faultCode) {
  std::lock_guard<std::mutex> lock(guardMutex);
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_sigaction = OnFault;
  sa.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&sa.sa_mask);
  for (int i = 0; i < kCount; ++i) sigaction(kSignals[i], &sa, &previous[i]);

  sigjmp_buf jump;
  bool completed = false;
  caughtSignal = 0;
  // savemask = 1 so the signal mask is restored after the jump.
  if (sigsetjmp(jump, 1) == 0) {
    activeJump = &jump;
    body(context);
    completed = true;
  }
  activeJump = nullptr;
  for (int i = 0; i < kCount; ++i) sigaction(kSignals[i], &previous[i], nullptr);
  faultCode = completed ? 0 : uint32_t(caughtSignal);
  return completed;
}

}  // namespace vesk
