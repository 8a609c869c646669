#pragma once
// A small guard for calls into foreign code (plug-ins) that are known to
// crash in the wild in places where the program can safely carry on.
//
// RunFaultGuarded runs `body` and returns true when it completed. When the
// body raises a hardware fault (access violation, SIGSEGV, SIGBUS, SIGILL,
// SIGFPE) on this thread, execution resumes here and false is returned with
// the fault code in `faultCode` (the exception code on Windows, the signal
// number on Linux). The body is abandoned: no destructors of its frames run,
// so it must hold no resources of its own. Only faults of the calling thread
// inside the body are caught; other threads and other places crash as usual.
#include <cstdint>

namespace vesk {

using GuardedBody = void (*)(void* context);
bool RunFaultGuarded(GuardedBody body, void* context, uint32_t& faultCode);

}  // namespace vesk
