// Discovery's parsers over arbitrary bytes: module headers (PE and ELF),
// the RX version in a file name, and the helper report's "err=" line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "denoise/denoise_engine.h"
#include "denoise/helper_client.h"
#include "platform/file.h"
#include "platform/folders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vesk::PeArchOf(data, size);
  vesk::ElfArchOf(data, size);
  const std::string text(reinterpret_cast<const char*>(data), size);
  vesk::RxVersionOf(text);
  static const std::filesystem::path report = vesk::TempDir() / "vesk-fuzz-helper-report.log";
  vesk::File f;
  if (f.OpenWrite(report) && f.Write(data, size)) {
    f.Close();
    vesk::ReadHelperError(report);
  }
  return 0;
}
