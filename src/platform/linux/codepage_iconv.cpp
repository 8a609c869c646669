#include <iconv.h>

#include <cerrno>

#include "platform/codepage.h"

namespace vesk {

bool AnsiCodePageToUtf8(std::string_view bytes, std::string& out) {
  out.clear();
  iconv_t cd = iconv_open("UTF-8", "GB18030");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    out.assign(bytes);
    return false;
  }
  bool clean = true;
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char buffer[4096];
  while (inLeft > 0) {
    char* put = buffer;
    size_t putLeft = sizeof buffer;
    const size_t rc = iconv(cd, &in, &inLeft, &put, &putLeft);
    out.append(buffer, size_t(put - buffer));
    if (rc == size_t(-1)) {
      if (errno == E2BIG) continue;
      // An invalid or cut-off sequence: mark it and go on after its first byte.
      clean = false;
      out += "\xEF\xBF\xBD";
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return clean;
}

}  // namespace vesk
