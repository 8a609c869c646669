// The pass-through export refuses an output that is the source under another
// name before it probes or creates anything: the writer would truncate the
// file it is still reading.
#include <gtest/gtest.h>

#include <system_error>

#include "platform/text.h"
#include "support/test_support.h"
#include "video/pass_through.h"

namespace vesk {
namespace {

TEST(PassThroughSameFile, OutputNamingTheSourceIsRefusedAndTheSourceKept) {
  test::ScratchDir dir;
  const auto source = dir / "clip.mp4";
  const std::string content = "源视频的字节，不能被改写";
  test::WriteBytes(source, std::vector<uint8_t>(content.begin(), content.end()));
  std::vector<std::filesystem::path> outputs = {source, dir / "CLIP.MP4", dir.path() / "." / "clip.mp4",
                                                dir.path() / "sub" / ".." / "clip.mp4"};
  std::error_code ec;
  std::filesystem::create_symlink(source, dir / "link.mp4", ec);
  if (!ec) outputs.push_back(dir / "link.mp4");  // where the system allows links

  const std::vector<float> samples(4800, 0.1f);
  const AudioFormat format{48000, 1, 16};
  for (const auto& output : outputs) {
    std::string error;
    double duration = -1;
    EXPECT_FALSE(ExportVideoPassThrough(source, samples, format, {}, output, error, &duration)) << PathToUtf8(output);
    EXPECT_EQ(error, "输出文件不能和源视频是同一个文件 —— 那样会把源素材写坏。请换个文件名。") << PathToUtf8(output);
    EXPECT_EQ(test::ReadText(source), content);
  }
}

}  // namespace
}  // namespace vesk
