#include <cstring>

#include "platform/module.h"

namespace vesk {

namespace {

uint64_t Field(const uint8_t* p, size_t bytes) {
  uint64_t v = 0;
  for (size_t i = 0; i < bytes; ++i) v |= uint64_t(p[i]) << (8 * i);
  return v;
}

}  // namespace

std::string ElfImageProblem(const uint8_t* head, size_t size, uint64_t fileSize) {
  if (size < 52 || fileSize < 52) return "file too short";
  if (std::memcmp(head, "\x7F" "ELF", 4) != 0) return "invalid ELF header";
  const bool wide = head[4] == 2;
  if ((head[4] != 1 && !wide) || head[5] != 1) return "invalid ELF header";  // class; little-endian only
  if (wide && size < 64) return "file too short";
  const uint64_t phoff = wide ? Field(head + 32, 8) : Field(head + 28, 4);
  const uint64_t phentsize = wide ? Field(head + 54, 2) : Field(head + 42, 2);
  const uint64_t phnum = wide ? Field(head + 56, 2) : Field(head + 44, 2);
  if (phentsize < (wide ? 56u : 32u) || phnum == 0) return "invalid ELF header";
  if (phoff > fileSize || phnum * phentsize > fileSize - phoff) return "file too short";
  if (phoff + phnum * phentsize > size) return "program headers too far from the start";
  for (uint64_t i = 0; i < phnum; ++i) {
    const uint8_t* ph = head + phoff + i * phentsize;
    if (Field(ph, 4) != 1) continue;  // PT_LOAD
    const uint64_t offset = wide ? Field(ph + 8, 8) : Field(ph + 4, 4);
    const uint64_t filesz = wide ? Field(ph + 32, 8) : Field(ph + 16, 4);
    // Mapped beyond the end of the file, such a segment faults (SIGBUS)
    // when the loader or the module touches it.
    if (offset > fileSize || filesz > fileSize - offset) return "ELF load command past end of file";
  }
  return {};
}

}  // namespace vesk
