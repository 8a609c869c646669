// Hardware-exception guard without compiler SEH support (MinGW has no
// __try/__except): the guard captures its own register context, and a
// vectored exception handler that sees a fault on a thread inside a guarded
// body hands that context back to the system with
// EXCEPTION_CONTINUE_EXECUTION, so the thread resumes right after the capture
// with the "faulted" flag set. The handler is registered once and does
// nothing unless its thread is inside a guard.
#include <windows.h>

#include <mutex>

#include "platform/fault_guard.h"

namespace vesk {
namespace {

thread_local CONTEXT* resumeContext = nullptr;
thread_local volatile DWORD caughtCode = 0;
thread_local volatile LONG faulted = 0;

bool IsHardwareFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_STACK_OVERFLOW:
      return true;
    default:
      return false;
  }
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* ep) {
  CONTEXT* resume = resumeContext;
  if (!resume || !IsHardwareFault(ep->ExceptionRecord->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
  resumeContext = nullptr;
  caughtCode = ep->ExceptionRecord->ExceptionCode;
  faulted = 1;
  *ep->ContextRecord = *resume;
  return EXCEPTION_CONTINUE_EXECUTION;
}

std::once_flag registered;

// Kept out of line and free of live values across the capture: after a
// fault, execution comes back to the instruction after RtlCaptureContext
// with the registers of that moment, and only memory tells the two returns
// apart.
__attribute__((noinline)) bool GuardedCall(GuardedBody bodyArg, void* contextArg) {
  GuardedBody volatile body = bodyArg;
  void* volatile context = contextArg;
  alignas(16) static thread_local CONTEXT capture;
  faulted = 0;
  RtlCaptureContext(&capture);
  if (faulted) return false;
  resumeContext = &capture;
  body(context);
  resumeContext = nullptr;
  return true;
}

}  // namespace

bool RunFaultGuarded(GuardedBody body, void* context, uint32_t& faultCode) {
  std::call_once(registered, [] { AddVectoredExceptionHandler(1, OnException); });
  const bool completed = GuardedCall(body, context);
  resumeContext = nullptr;
  faultCode = completed ? 0 : uint32_t(caughtCode);
  return completed;
}

}  // namespace vesk
