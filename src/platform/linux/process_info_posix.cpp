#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/process_info.h"

namespace vesk {

unsigned long LastSystemError() { return (unsigned long)errno; }

std::string SystemErrorText(unsigned long error) {
  char buffer[256] = {};
  // The GNU variant returns the text, which may or may not be the buffer.
  const char* text = strerror_r(int(error), buffer, sizeof buffer);
  return text && *text ? std::string(text) : "错误码 " + std::to_string(error);
}

}  // namespace vesk
