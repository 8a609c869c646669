// Report and helper-report values: whatever bytes a value holds (a file
// name, a tool's message), the record "key=value\n" stays one line, text
// without line breaks is written as it is, and every line break (CR LF
// counted once) becomes exactly one two-character escape.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view value(reinterpret_cast<const char*>(data), size);
  const std::string one = vesk::OneLineValue(value);
  const std::string record = "err=" + one + "\n";
  if (record.find_first_of("\r\n") != record.size() - 1) abort();
  if (value.find_first_of("\r\n") == std::string_view::npos && one != value) abort();
  size_t others = 0, breaks = 0;
  for (size_t i = 0; i < size; ++i) {
    if (value[i] == '\n' || (value[i] == '\r' && (i + 1 >= size || value[i + 1] != '\n'))) ++breaks;
    else if (value[i] != '\r') ++others;
  }
  if (one.size() != others + 2 * breaks) abort();
  return 0;
}
