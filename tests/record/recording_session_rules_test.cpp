// The start preconditions, names and texts of a recording that need no
// sound server.
#include <gtest/gtest.h>

#include "media/audio_sink.h"
#include "platform/text.h"
#include "record/memory_capture_source.h"
#include "record/recording_session.h"
#include "support/test_support.h"

namespace vesk {
namespace {

RecordingEndpoint Working(const char* id, const char* name) { return {true, true, id, name, name}; }

struct RefusalCase {
  const char* name;
  std::optional<RecordSource> source;
  bool noInput;
  RecordingEndpoint microphone, loopback;
  NoticeBox box;
  std::string title;
  std::string status;
  std::string boxStart;
};

class StartRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(StartRefusal, ExplainsWhyAndCreatesNoFile) {
  const RefusalCase& c = GetParam();
  ManualClock clock;
  MemoryCaptureSource mic(clock, 48000), loop(clock, 48000);
  RecordingSession session(mic, loop, clock);
  test::ScratchDir out;
  RecordingSetup setup;
  setup.source = c.source;
  setup.noInputChosen = c.noInput;
  setup.microphone = c.microphone;
  setup.loopback = c.loopback;
  setup.outputDir = out.path();
  SessionNotice notice;
  EXPECT_FALSE(session.StartRecording(setup, notice));
  EXPECT_EQ(notice.box, c.box);
  EXPECT_EQ(notice.boxTitle, c.title);
  EXPECT_EQ(notice.status, c.status);
  EXPECT_EQ(notice.boxText.rfind(c.boxStart, 0), 0u) << notice.boxText;
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
  EXPECT_FALSE(session.IsRecording());
  EXPECT_FALSE(mic.IsRunning());
  EXPECT_FALSE(loop.IsRunning());
}

const RecordingEndpoint kMic = Working("mic1", "USB 麦克风");
const RecordingEndpoint kSpeakers = Working("spk1", "扬声器");

INSTANTIATE_TEST_SUITE_P(
    Preconditions, StartRefusal,
    ::testing::Values(
        RefusalCase{"MicrophoneWithNoInput", RecordSource::Microphone, true, {false, false, "", "", "无输入"}, kSpeakers,
                    NoticeBox::Information, "录音设备是「无输入」", "录音设备选了「无输入」，录不了麦克风。",
                    "「录音设备」下拉选的是「无输入」，录不了麦克风。\r\n\r\n两个办法："},
        RefusalCase{"PinnedSpeakerUnplugged", RecordSource::ComputerSound, false, kMic, {false, false, "", "", "耳机"},
                    NoticeBox::Warning, "设备用不了", "要用的播放设备用不了，请重新选择。",
                    "要用的播放设备「耳机」现在用不了。"},
        RefusalCase{"DefaultMicrophoneNotWorking", RecordSource::Microphone, false,
                    {true, false, "mic9", "坏麦克风", ""}, kSpeakers, NoticeBox::Warning, "设备用不了",
                    "要用的录音设备用不了，请重新选择。", "要用的录音设备「原来那台」现在用不了。"},
        RefusalCase{"MicrophoneComesFirst", RecordSource::Both, false, {}, {false, false, "", "", "耳机"},
                    NoticeBox::Warning, "设备用不了", "要用的录音设备用不了，请重新选择。",
                    "要用的录音设备「原来那台」现在用不了。"},
        RefusalCase{"NoSourceChosen", std::nullopt, false, kMic, kSpeakers, NoticeBox::Information, "还没选声音来源",
                    "请先选择「录制声音来源」，再点开始录音。", "当前没有可录的声音来源。"}),
    [](const auto& info) { return std::string(info.param.name); });

// A sink whose Open fails with a fixed text.
class RefusingSink final : public AudioSink {
 public:
  bool Open(const std::filesystem::path&, const AudioFormat&, uint32_t, std::string& error) override {
    error = "磁盘满了。";
    return false;
  }
  bool Write(const float*, size_t, std::string&) override { return true; }
  bool Close(std::string&) override { return true; }
  uint64_t BytesWritten() const override { return 0; }
  int32_t ActualBitrateKbps() const override { return 0; }
};

TEST(RecordingStart, FailuresAfterThePreconditionsLeaveNothingRunning) {
  struct Case {
    const char* name;
    bool failSource;
    bool failSink;
    std::string title;
    std::string text;
  };
  for (const Case& c : {Case{"source", true, false, "打不开声音设备", "设备被占用。"},
                        Case{"sink", false, true, "无法开始录音", "磁盘满了。"}}) {
    ManualClock clock;
    MemoryCaptureSource mic(clock, 48000), loop(clock, 48000);
    if (c.failSource) mic.FailNextStart("设备被占用。");
    RecordingSinkFactory sinks = [&](bool mp3) -> std::unique_ptr<AudioSink> {
      if (c.failSink) return std::make_unique<RefusingSink>();
      return CreateRecordingSink(mp3);
    };
    RecordingSession session(mic, loop, clock, sinks);
    test::ScratchDir out;
    RecordingSetup setup;
    setup.source = RecordSource::Both;
    setup.microphone = kMic;
    setup.loopback = kSpeakers;
    setup.outputDir = out.path();
    SessionNotice notice;
    EXPECT_FALSE(session.StartRecording(setup, notice)) << c.name;
    EXPECT_EQ(notice.boxTitle, c.title) << c.name;
    EXPECT_EQ(notice.boxText, c.text) << c.name;
    EXPECT_EQ(notice.status, c.text) << c.name;
    EXPECT_FALSE(session.IsRecording()) << c.name;
    EXPECT_FALSE(mic.IsRunning() || loop.IsRunning()) << c.name;
    EXPECT_FALSE(session.Mixer().IsRunning()) << c.name;
  }
}

TEST(RecordingNames, OutputNameCarriesTheLocalTimeAndNeverReplacesAnEarlierRecording) {
  test::ScratchDir dir;
  const LocalTime t{2024, 3, 7, 9, 5, 2, 0};
  const auto first = RecordingOutputPath(dir.path(), t, false);
  EXPECT_EQ(PathToUtf8(first.filename()), "[VESK]20240307 09-05-02.wav");
  test::WriteBytes(first, {1});
  EXPECT_EQ(PathToUtf8(RecordingOutputPath(dir.path(), t, false).filename()), "[VESK]20240307 09-05-02 (2).wav");
  EXPECT_EQ(PathToUtf8(RecordingOutputPath(dir.path(), t, true).filename()), "[VESK]20240307 09-05-02.mp3");
}

TEST(RecordingNames, ClockTextShowsTenthsAndTheLossTextCountsHoles) {
  EXPECT_EQ(RecordingClockText(0), "00:00:00.0");
  EXPECT_EQ(RecordingClockText(3'723'456), "01:02:03.4");
  EXPECT_EQ(RecordingClockText(-5), "00:00:00.0");
  EXPECT_EQ(LossText(0, 0), "");
  EXPECT_EQ(LossText(3, 1.234), "录音中有 3 处丢失（约 1.23 秒）");
}

}  // namespace
}  // namespace vesk
