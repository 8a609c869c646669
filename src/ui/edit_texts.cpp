#include "ui/edit_texts.h"

#include <cmath>

#include "doc/save_naming.h"
#include "platform/text.h"

namespace vesk::ui {

std::string TimeText(uint64_t frames, uint32_t rate) {
  const uint64_t r = rate ? rate : 48000;
  const long long ms = (long long)((frames * 1000 + r / 2) / r);
  return Format("%lld:%02lld.%03lld", ms / 60000, ms / 1000 % 60, ms % 1000);
}

std::string ClockText(double seconds) {
  const long long tenths = seconds > 0 ? (long long)(seconds * 10) : 0;
  return Format("%02d:%02d:%02d.%d", int(tenths / 36000), int(tenths / 600 % 60), int(tenths / 10 % 60),
                int(tenths % 10));
}

std::string InfoLineText(const InfoFacts& f) {
  if (f.frames == 0) return {};
  const uint32_t rate = f.format.sampleRate;
  std::string line = TimeText(f.playHead, rate) + " / " + TimeText(f.frames, rate);
  line += f.selectionFrames ? "　选区 " + TimeText(f.selectionFrames, rate) : std::string("　无选区");
  line += Format("　%u Hz　", unsigned(rate));
  line += f.format.channels == 1   ? std::string("单声道")
          : f.format.channels == 2 ? std::string("立体声")
                                   : Format("%u 声道", unsigned(f.format.channels));
  if (f.sourceBits == 0)
    line += "　有损";
  else if (f.sourceBits == 32)
    line += "　32bit浮点";
  else
    line += Format("　%ubit", unsigned(f.sourceBits));
  return line;
}

}  // namespace vesk::ui
