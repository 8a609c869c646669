#include <cstdlib>

#include "platform/folders.h"
#include "platform/text.h"
#include "video/ffmpeg_candidates.h"

namespace vesk {

const char* FfmpegProgramFileName() { return "ffmpeg"; }

std::vector<FfmpegCandidate> PlatformFfmpegCandidates() {
  std::vector<FfmpegCandidate> list;
  const std::filesystem::path programDir = ProgramDir();
  if (!programDir.empty()) list.push_back({programDir / "ffmpeg", "程序所在目录"});
  if (const char* path = std::getenv("PATH")) {
    for (const std::string& dir : SplitSearchPath(path, ':')) list.push_back({PathFromUtf8(dir) / "ffmpeg", "系统 PATH"});
  }
  for (const char* common : {"/usr/bin/ffmpeg", "/usr/local/bin/ffmpeg", "/snap/bin/ffmpeg"})
    list.push_back({common, "常见安装位置"});
  return list;
}

}  // namespace vesk
