#pragma once
// Media for the video tests, made by the ffmpeg program at test time, and
// readers that look into results with it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/test_support.h"
#include "video/ffmpeg_runner.h"

namespace vesk::test {

inline std::string Q(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// Runs "ffmpeg -v error -y <args>"; fails the test when it fails.
inline void Make(const std::string& args) {
  ASSERT_EQ(Shell("ffmpeg -nostdin -v error -y " + args + " >/dev/null 2>&1"), 0) << args;
}

inline bool HaveEncoder(const std::string& name) {
  return Shell("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q ' " + name + " '") == 0;
}

// Interleaved float samples of one audio stream, decoded by ffmpeg.
inline std::vector<float> DecodeAudio(const std::filesystem::path& file, const std::string& map,
                                      const std::filesystem::path& scratch) {
  const auto raw = scratch / "decoded.f32";
  Make("-i " + Q(file) + " -map " + map + " -f f32le " + Q(raw));
  std::string bytes;
  ReadWholeFile(raw, bytes);
  std::vector<float> v(bytes.size() / 4);
  std::memcpy(v.data(), bytes.data(), v.size() * 4);
  return v;
}

// Hash of the packets of one stream copied out unchanged.
inline std::string StreamMd5(const std::filesystem::path& file, const std::string& map) {
  const auto out = file.string() + ".md5";
  Make("-i " + Q(file) + " -map " + map + " -c copy -f md5 " + Q(out));
  return ReadText(out);
}

// ffprobe's answer for one entry of one stream ("codec_name", "sample_fmt", ...).
inline std::string StreamEntry(const std::filesystem::path& file, const std::string& select, const std::string& entry) {
  const auto out = file.string() + ".probe";
  Shell("ffprobe -v error -select_streams " + select + " -show_entries stream=" + entry +
        " -of default=nw=1:nk=1 " + Q(file) + " > " + Q(out));
  std::string text = ReadText(out);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

inline int CountStreams(const std::filesystem::path& file, const std::string& type) {
  const auto out = file.string() + ".count";
  Shell("ffprobe -v error -select_streams " + type + " -show_entries stream=index -of csv=p=0 " + Q(file) + " | wc -l > " +
        Q(out));
  return std::stoi(ReadText(out));
}

// Keeps ffmpeg's run files of this test in its own scratch folder.
class VideoTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("ffmpeg") || !HaveTool("ffprobe")) VESK_MISSING_PART("ffmpeg/ffprobe missing");
    SetFfmpegRunFolder(dir.path());
  }
  void TearDown() override { SetFfmpegRunFolder({}); }
  ScratchDir dir;
};

}  // namespace vesk::test
