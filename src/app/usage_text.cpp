#include "app/usage_text.h"

#include "core/version.h"
#include "platform/folders.h"
#include "platform/text.h"

namespace vesk {

std::string UsageText(const std::string& why) {
  return std::string("VeskRecorder ") + kVersion + "\n" + why + "\n" +
         "  <文件>                                   打开窗口并载入这个文件\n"
         "  --probe-audio <文件>                     读取音频文件并报告参数\n"
         "  --probe-video <文件>                     分析视频文件\n"
         "  --probe-preview <文件> [音轨]            解码试听片段\n"
         "  --denoise <输入> [输出]                  降噪\n"
         "  --loudness <输入> [输出] [LUFS] [dBTP]   测量响度；给了输出就标准化（默认 -14 LUFS、-1 dBTP）\n"
         "  --edit <输入> <输出> [--delete a-b] [--silence a-b] [--trim a-b]…\n"
         "                                           按给出的次序剪辑（秒）并另存 WAV/MP3\n"
         "  --export-video-edited <视频> <音频> [输出] 把音频写回视频\n"
         "  --selftest [秒数]                        自检\n"
         "报告写在数据文件夹：" +
         PathToUtf8(DataFolder()) + "\n";
}

}  // namespace vesk
