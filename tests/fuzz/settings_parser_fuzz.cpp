// Settings file parser: decoding (UTF-16LE, UTF-8, code page), line rules,
// rectangle loading. Whatever the bytes, parsing the written file again
// gives the same pairs.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/settings.h"
#include "core/settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vesk;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  IniStore store;
  store.LoadFromBytes(bytes);
  const std::vector<IniPair> reparsed = ParseSettingsText(DecodeSettingsBytes(SerializeSettings(store.Pairs())));
  if (reparsed != store.Pairs()) std::abort();

  for (const IniPair& p : store.Pairs()) (void)store.GetInt(p.first, -1);
  ScreenMetrics screen;
  screen.dpi = size > 0 ? 48u + data[0] : 96u;
  screen.primaryWidth = 1920;
  screen.primaryHeight = 1080;
  screen.virtualLeft = -1920;
  screen.virtualWidth = 3840;
  screen.virtualHeight = 1080;
  screen.adjustFrame = [](const WindowRect& c) { return WindowRect{c.left - 8, c.top - 31, c.right + 8, c.bottom + 8}; };
  (void)LoadMainRect(store, screen);
  (void)LoadPreviewRect(store, screen);
  return 0;
}
