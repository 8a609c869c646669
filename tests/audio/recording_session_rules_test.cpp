// The start preconditions, names and texts of a recording that need no
// sound server.
#include <gtest/gtest.h>

#include "audio/recording_session.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace vesk {
namespace {

std::vector<DeviceEntry> Catalogue() {
  return {{"mic1", "USB 麦克风", false, true, kDeviceActive}, {"spk1", "扬声器", true, true, kDeviceActive},
          {"spk2", "耳机", true, false, kDeviceUnplugged}};
}

struct RefusalCase {
  const char* name;
  int source;
  int32_t captureValue;
  int32_t renderValue;
  DeviceChoice capture, render;
  NoticeBox box;
  std::string title;
  std::string status;
  std::string boxStart;
};

class StartRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(StartRefusal, ExplainsWhyAndCreatesNoFile) {
  const RefusalCase& c = GetParam();
  auto mic = CreateCaptureStream();
  auto loop = CreateCaptureStream();
  RecordingSession session(*mic, *loop);
  test::ScratchDir out;
  const auto entries = Catalogue();
  RecordingSetup setup;
  setup.source = c.source;
  setup.catalogue = &entries;
  setup.captureValue = c.captureValue;
  setup.renderValue = c.renderValue;
  setup.captureChoice = c.capture;
  setup.renderChoice = c.render;
  setup.outputDir = out.path();
  SessionNotice notice;
  EXPECT_FALSE(session.StartRecording(setup, notice));
  EXPECT_EQ(notice.box, c.box);
  EXPECT_EQ(notice.boxTitle, c.title);
  EXPECT_EQ(notice.status, c.status);
  EXPECT_EQ(notice.boxText.rfind(c.boxStart, 0), 0u) << notice.boxText;
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
  EXPECT_FALSE(session.IsRecording());
}

INSTANTIATE_TEST_SUITE_P(
    Preconditions, StartRefusal,
    ::testing::Values(
        RefusalCase{"MicrophoneWithNoInput", 0, kItemNoInput, -1, {"@none", "无输入"}, {}, NoticeBox::Information,
                    "录音设备是「无输入」", "录音设备选了「无输入」，录不了麦克风。",
                    "「录音设备」下拉选的是「无输入」，录不了麦克风。\r\n\r\n两个办法："},
        RefusalCase{"PinnedSpeakerUnplugged", 1, -1, kItemMissingPinned, {}, {"spk2", "耳机"}, NoticeBox::Warning,
                    "设备用不了", "要用的播放设备用不了，请重新选择。", "要用的播放设备「耳机」现在用不了。"},
        RefusalCase{"MicrophoneComesFirst", 2, kItemMissingPinned, kItemMissingPinned, {"x", ""}, {"spk2", "耳机"},
                    NoticeBox::Warning, "设备用不了", "要用的录音设备用不了，请重新选择。",
                    "要用的录音设备「原来那台」现在用不了。"},
        RefusalCase{"NoSourceChosen", 7, -1, -1, {}, {}, NoticeBox::Information, "还没选声音来源",
                    "请先选择「录制声音来源」，再点开始录音。", "当前没有可录的声音来源。"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecordingNames, OutputNameCarriesTheLocalTimeAndNeverReplacesAnEarlierRecording) {
  test::ScratchDir dir;
  const LocalTime t{2024, 3, 7, 9, 5, 2, 0};
  const auto first = RecordingOutputPath(dir.path(), t, false);
  EXPECT_EQ(PathToUtf8(first.filename()), "[VESK]20240307 09-05-02.wav");
  test::WriteBytes(first, {1});
  EXPECT_EQ(PathToUtf8(RecordingOutputPath(dir.path(), t, false).filename()), "[VESK]20240307 09-05-02 (2).wav");
  EXPECT_EQ(PathToUtf8(RecordingOutputPath(dir.path(), t, true).filename()), "[VESK]20240307 09-05-02.mp3");
}

TEST(RecordingNames, ClockTextShowsTenths) {
  EXPECT_EQ(RecordingClockText(0), "00:00:00.0");
  EXPECT_EQ(RecordingClockText(3'723'456), "01:02:03.4");
  EXPECT_EQ(RecordingClockText(-5), "00:00:00.0");
}

}  // namespace
}  // namespace vesk
