// The helper's bytes are linked into the main program by the object library
// vesk_helper_blob (an .incbin of the built helper). Programs without it (the
// helper itself, benchmarks) see null symbols and carry no copy.
#include "denoise/helper_client.h"

extern "C" {
extern const unsigned char vesk_embedded_helper_start[] __attribute__((weak));
extern const unsigned char vesk_embedded_helper_end[] __attribute__((weak));
}

namespace vesk {

bool LoadEmbeddedHelper(std::string& bytes) {
  const unsigned char* start = vesk_embedded_helper_start;
  const unsigned char* end = vesk_embedded_helper_end;
  if (!start || !end || end <= start) return false;
  bytes.assign(reinterpret_cast<const char*>(start), size_t(end - start));
  return true;
}

bool LoadEmbeddedOwnArchHelper(std::string& bytes) { return LoadEmbeddedHelper(bytes); }

}  // namespace vesk
