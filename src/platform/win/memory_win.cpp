#include "platform/memory.h"

namespace vesk {

// Large pages need a privilege ordinary users lack; nothing to do.
void AdviseLargeBuffer(void*, size_t) {}

}  // namespace vesk
