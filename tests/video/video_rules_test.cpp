// Pure rules of the video export: ffmpeg argument lists, Windows command
// lines, search-path splitting, --delete ranges, error cuts, subtypes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "video/delete_ranges.h"
#include "video/ffmpeg_export.h"
#include "video/ffmpeg_runner.h"
#include "video/media_probe.h"
#include "video/pass_through.h"

namespace vesk {
namespace {

using Args = std::vector<std::string>;

Args After(const Args& all, size_t skip) { return Args(all.begin() + std::ptrdiff_t(skip), all.end()); }

TEST(BuildFfmpegArgs, DocumentedExampleComesOutExactly) {
  VideoEditedExportOptions o;
  o.editedOrdinal = 1;
  o.keep = {0, 2};
  const Args a = BuildFfmpegArgs("in.mp4", "t.wav", o, "out.mp4", false);
  EXPECT_EQ(Args(a.begin(), a.begin() + 9),
            (Args{"-y", "-hide_banner", "-nostdin", "-loglevel", "error", "-i", "in.mp4", "-i", "t.wav"}));
  EXPECT_EQ(After(a, 9), (Args{"-map", "0:v:0", "-map", "0:a:0", "-map", "1:a:0", "-map", "0:a:2", "-c:v", "copy",
                               "-c:a:0", "copy", "-c:a:1", "aac", "-b:a:1", "192k", "-c:a:2", "copy", "-filter:a:1",
                               "apad", "-shortest", "out.mp4"}));
}

struct ArgsCase {
  const char* name;
  uint32_t codec;
  uint32_t rate;
  int32_t edited;
  std::vector<int32_t> keep;
  bool transcode;
  Args expected;  // after the two inputs
};

class BuildFfmpegArgsTable : public testing::TestWithParam<ArgsCase> {};

TEST_P(BuildFfmpegArgsTable, MapsAndCodecsFollowTheSortedTrackList) {
  const ArgsCase& c = GetParam();
  VideoEditedExportOptions o;
  o.codec = c.codec;
  o.sampleRate = c.rate;
  o.editedOrdinal = c.edited;
  o.keep = c.keep;
  o.aacBitrate = 256000;
  EXPECT_EQ(After(BuildFfmpegArgs("s", "t", o, c.expected.back(), c.transcode), 9), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildFfmpegArgsTable,
    testing::Values(
        ArgsCase{"FlacWithRate", 1, 48000, 0, {}, false,
                 {"-map", "0:v:0", "-map", "1:a:0", "-c:v", "copy", "-c:a:0", "flac", "-sample_fmt:a:0", "s32",
                  "-ar:a:0", "48000", "-filter:a:0", "apad", "-shortest", "o"}},
        ArgsCase{"FlacIntoMp4IsAllowedAsExperimental", 1, 0, 0, {}, false,
                 {"-map", "0:v:0", "-map", "1:a:0", "-c:v", "copy", "-c:a:0", "flac", "-sample_fmt:a:0", "s32",
                  "-filter:a:0", "apad", "-shortest", "-strict", "experimental", "o.MP4"}},
        ArgsCase{"AacKeepUnsortedWithDuplicates", 0, 0, 2, {3, 0, 2, 0}, false,
                 {"-map", "0:v:0", "-map", "0:a:0", "-map", "1:a:0", "-map", "0:a:3", "-c:v", "copy", "-c:a:0",
                  "copy", "-c:a:1", "aac", "-b:a:1", "256k", "-c:a:2", "copy", "-filter:a:1", "apad", "-shortest",
                  "o"}},
        ArgsCase{"TranscodedKeptTracks", 0, 44100, 0, {1}, true,
                 {"-map", "0:v:0", "-map", "1:a:0", "-map", "0:a:1", "-c:v", "copy", "-c:a:0", "aac", "-b:a:0",
                  "256k", "-ar:a:0", "44100", "-c:a:1", "aac", "-b:a:1", "256k", "-filter:a:0", "apad",
                  "-shortest", "o"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NewTrackFrames, TheSuppliedLengthStandsWithinOneMillisecondOfTheSource) {
  struct Case {
    uint64_t frames;
    double sourceSeconds;
    uint64_t expected;
  } cases[] = {
      {385024, 8.021, 385024},   // Matroska states the length in whole milliseconds
      {385024, 8.0213, 385024},
      {145408, 3.021, 145408},   // AAC priming and last-block padding decoded past the stated length
      {384000, 8.5, 408000},     // shorter sound: padded to the source
      {480000, 8.0, 384000},     // longer sound: cut where the source ends
      {1000, 0, 1000},           // unknown source length
  };
  for (const Case& c : cases) EXPECT_EQ(NewTrackFrames(c.frames, 48000, c.sourceSeconds), c.expected) << c.frames;
}

TEST(WindowsCommandLine, QuotesOnlyWhatTheSystemSplitterNeeds) {
  EXPECT_EQ(BuildWindowsCommandLine("C:\\Program Files\\ffmpeg\\bin\\ffmpeg.exe",
                                    {"-i", "C:\\My Videos\\a.mp4", "", "dir\\", "a\"b", "end slash\\", "x\\\\\"y"}),
            "\"C:\\Program Files\\ffmpeg\\bin\\ffmpeg.exe\" -i \"C:\\My Videos\\a.mp4\" \"\" dir\\ \"a\\\"b\" "
            "\"end slash\\\\\" \"x\\\\\\\\\\\"y\"");
}

TEST(SearchPath, TrimsUnquotesAndSkipsEmptyPieces) {
  EXPECT_EQ(SplitSearchPath("  \"C:\\Tools\\ffmpeg\\bin\"  ;;C:\\x/ ;\t\r\n; \" \" ;\"\"", ';'),
            (std::vector<std::string>{"C:\\Tools\\ffmpeg\\bin", "C:\\x/"}));
  EXPECT_EQ(SplitSearchPath("/usr/bin::/opt/ff/bin", ':'), (std::vector<std::string>{"/usr/bin", "/opt/ff/bin"}));
  EXPECT_TRUE(SplitSearchPath("", ':').empty());
}

TEST(FfmpegCandidatesList, ConfiguredPathComesFirstWithItsLabel) {
  const auto list = FfmpegCandidates("/somewhere/ffmpeg");
  ASSERT_GE(list.size(), 2u);
  EXPECT_EQ(list[0].path, std::filesystem::path("/somewhere/ffmpeg"));
  EXPECT_EQ(list[0].source, "INI 里配置的 FfmpegPath");
  EXPECT_EQ(list[1].source, "程序所在目录");
  EXPECT_EQ(list.back().source, "常见安装位置");
}

TEST(DeleteRanges, DropsInvalidRangesAndSortsTheRest) {
  EXPECT_EQ(ParseDeleteRanges("100-200,0-50"), (std::vector<FrameRange>{{0, 50}, {100, 200}}));
  // "-4-10" splits at its first hyphen: an empty start (0) and "4-10" (4).
  EXPECT_EQ(ParseDeleteRanges("5-5,9-3,-4-10,abc,,7,x-20, 30 - 40,30-35"),
            (std::vector<FrameRange>{{0, 4}, {0, 20}, {30, 35}, {30, 40}}));
  EXPECT_TRUE(ParseDeleteRanges("").empty());
}

TEST(FailureText, LongFfmpegOutputIsCutAt400CharactersWithEllipsis) {
  const std::string log(1000, 'x');
  EXPECT_EQ(FfmpegFailureText(log), "ffmpeg 导出失败。\n" + std::string(400, 'x') + "…");
  EXPECT_EQ(FfmpegFailureText("bad codec\r\n\n"), "ffmpeg 导出失败。\nbad codec");
  EXPECT_EQ(FfmpegFailureText(""), "ffmpeg 导出失败。");
  // Characters, not bytes: 400 Chinese characters stay whole.
  std::string chinese;
  for (int i = 0; i < 401; ++i) chinese += "错";
  EXPECT_EQ(FfmpegFailureText(chinese), "ffmpeg 导出失败。\n" + chinese.substr(0, 1200) + "…");
}

TEST(ProgressFile, LastValuesWinAndNonNumbersAreHandled) {
  test::ScratchDir dir;
  struct Case {
    std::string text;
    bool ok;
    int64_t outTime;
    double speed;
  } cases[] = {
      {"out_time_us=N/A\nspeed=N/A\nprogress=continue\n", true, -1, 0.0},
      {"out_time_us=1000\nspeed=1.5x\nout_time_us= 2500000 \r\nspeed=  3.25x\nprogress=continue\n", true, 2500000,
       3.25},
      {"frame=1\n", false, -1, 7.0},
      {"", false, -1, 7.0},
  };
  for (const Case& c : cases) {
    const auto path = dir / "progress.log";
    test::WriteBytes(path, std::vector<uint8_t>(c.text.begin(), c.text.end()));
    int64_t outTime = -1;
    double speed = 7.0;
    EXPECT_EQ(ParseFfmpegProgress(path, &outTime, &speed), c.ok) << c.text;
    EXPECT_EQ(outTime, c.outTime) << c.text;
    EXPECT_DOUBLE_EQ(speed, c.speed) << c.text;
  }
  int64_t outTime = -1;
  EXPECT_FALSE(ParseFfmpegProgress(dir / "missing.log", &outTime, nullptr));
}

TEST(Subtypes, FourccSubtypesMapToFfmpegCodecNames) {
  auto fourcc = [](const char* cc) {
    MediaSubtype s = {0, 0, 0, 0, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    for (int i = 0; i < 4; ++i) s[size_t(i)] = uint8_t(cc[i]);
    return s;
  };
  EXPECT_EQ(CodecNameForSubtype(fourcc("H264")), "h264");
  EXPECT_EQ(CodecNameForSubtype(fourcc("HEVC")), "hevc");
  EXPECT_EQ(CodecNameForSubtype(fourcc("VP90")), "vp9");
  EXPECT_EQ(CodecNameForSubtype(fourcc("AV01")), "av1");
  EXPECT_EQ(CodecNameForSubtype(fourcc("WVC1")), "");
  EXPECT_EQ(SubtypeDisplayName(fourcc("HEVC")), "HEVC");
  const MediaSubtype mpeg2 = {0x26, 0x80, 0x6d, 0xe0, 0x46, 0xdb, 0xcf, 0x11,
                              0xb4, 0xd1, 0x00, 0x80, 0x5f, 0x6c, 0xbb, 0xea};
  EXPECT_EQ(CodecNameForSubtype(mpeg2), "mpeg2video");
}

TEST(PassThroughLength, AudioIsFittedToThePictureUnlessItsDurationIsUnknown) {
  EXPECT_EQ(PassThroughFrameCount(1000, 48000, 2.0), 96000);     // shorter audio padded
  EXPECT_EQ(PassThroughFrameCount(200000, 48000, 2.0), 96000);   // longer audio cut
  EXPECT_EQ(PassThroughFrameCount(1000, 44100, 1.00001), 44100);  // rounded
  EXPECT_EQ(PassThroughFrameCount(1234, 48000, 0.0), 1234);       // duration 0: real frames
}

TEST(SameFile, NameCaseAndRelativeSpellingsOfTheSourceAreTheSameFile) {
  test::ScratchDir dir;
  const auto source = dir / "clip.mp4";
  test::WriteBytes(source, {1, 2, 3});
  std::filesystem::create_directories(dir / "sub");
  EXPECT_TRUE(SameFileAsSource(source, source));
  EXPECT_TRUE(SameFileAsSource(source, dir / "CLIP.MP4"));
  EXPECT_TRUE(SameFileAsSource(source, dir.path() / "." / "clip.mp4"));
  EXPECT_TRUE(SameFileAsSource(source, dir.path() / "sub" / ".." / "clip.mp4"));
  EXPECT_FALSE(SameFileAsSource(source, dir / "clip_导出.mp4"));
}

TEST(DefaultExportName, CountsUpPastTakenNames) {
  test::ScratchDir dir;
  const auto video = dir.path() / PathFromUtf8("片段.mov");
  EXPECT_EQ(DefaultVideoExportPath(video), dir.path() / PathFromUtf8("片段_导出.mp4"));
  test::WriteBytes(dir.path() / PathFromUtf8("片段_导出.mp4"), {0});
  test::WriteBytes(dir.path() / PathFromUtf8("片段_导出2.mp4"), {0});
  EXPECT_EQ(DefaultVideoExportPath(video), dir.path() / PathFromUtf8("片段_导出3.mp4"));
}

}  // namespace
}  // namespace vesk
