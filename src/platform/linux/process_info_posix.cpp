#include <unistd.h>

#include <cerrno>

#include "platform/process_info.h"

namespace vesk {

unsigned long LastSystemError() { return (unsigned long)errno; }

}  // namespace vesk
