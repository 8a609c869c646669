#pragma once
// The shared decoder media (tests/fixtures/media/decode_cases.txt, made by
// scripts/make-decode-media.sh): read the list and compare a decode with the
// ffmpeg program's float reference next to each file.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vesk::test {

struct DecodeCase {
  std::string name;
  uint32_t rate = 0;
  uint16_t channels = 0;
};

// The cases listed in `dir`/cases.txt (empty when it is missing).
std::vector<DecodeCase> ReadDecodeCases(const std::filesystem::path& dir);

// LoadAudioFile of `dir`/name gives the case's format and, sample for
// sample (within 1e-6), the reference `dir`/name.0.f32; about 2 s long.
void ExpectDecodesLikeReference(const std::filesystem::path& dir, const DecodeCase& c);

}  // namespace vesk::test
