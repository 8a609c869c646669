// Whole recordings through RecordingSession with the real capture streams,
// the mixer and the sinks, against the private PulseAudio server.
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio/audio_backend.h"
#include "audio/capture_stream.h"
#include "support/signal.h"
#include "audio/linux/pulse_fixture.h"
#include "support/wav_builder.h"
#include "doc/audio_doc.h"
#include "platform/clock.h"
#include "record/recording_session.h"

namespace vesk {
namespace {

using test::PulseTest;
using Clock = std::chrono::steady_clock;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class SessionRig {
 public:
  SessionRig() : mic_(CreateCaptureStream()), loop_(CreateCaptureStream()), session_(*mic_, *loop_) {
    backend_ = CreateAudioDeviceBackend();
    entries_ = backend_->Enumerate();
  }
  RecordingSetup Setup(RecordSource source, const std::string& sink = "Speakers",
                       const std::string& microphone = "Microphone") {
    RecordingSetup s;
    s.source = source;
    s.microphone = Endpoint(microphone, false);
    s.loopback = Endpoint(sink, true);
    s.outputDir = out_.path();
    return s;
  }
  // Runs the 33 ms timer for `ms`; true when a tick stopped the recording.
  bool Run(int ms, RecordingResult& result) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) {
      if (session_.Tick(result)) return true;
      Sleep(33);
    }
    return false;
  }
  // Loads a finished recording as the window does.
  bool Load(const RecordingResult& result) {
    std::string error;
    return result.outcome == RecordingResult::Outcome::Saved && doc_.Load(result.path, error);
  }
  RecordingSession& Session() { return session_; }
  AudioDoc& Doc() { return doc_; }
  CaptureStream& Mic() { return *mic_; }

 private:
  RecordingEndpoint Endpoint(const std::string& id, bool loopback) const {
    for (const DeviceEntry& e : entries_)
      if (e.id == id && e.loopback == loopback) return {true, e.state == kDeviceActive, e.id, e.name, e.name};
    return {};
  }

  test::ScratchDir out_;
  std::unique_ptr<AudioDeviceBackend> backend_;
  std::vector<DeviceEntry> entries_;
  std::unique_ptr<CaptureStream> mic_, loop_;
  AudioDoc doc_;
  RecordingSession session_;
};

struct SessionCase {
  const char* name;
  RecordSource source;
  bool mp3;
  uint16_t bits;
  uint16_t channels;
};

class RecordingMatrix : public PulseTest, public ::testing::WithParamInterface<SessionCase> {};

TEST_P(RecordingMatrix, RecordsTheChosenSourcesAtWallClockLengthAndLoadsTheFile) {
  const SessionCase& c = GetParam();
  test::TonePlayer player(daemon_->Dir(), "Speakers", 1000, 30);
  ASSERT_TRUE(player.Ok());
  Sleep(300);
  SessionRig rig;
  RecordingSetup setup = rig.Setup(c.source);
  setup.mp3 = c.mp3;
  setup.bits = c.bits;
  setup.channels = c.channels;
  SessionNotice notice;
  const auto beforeStart = Clock::now();
  ASSERT_TRUE(rig.Session().StartRecording(setup, notice)) << notice.status;
  const auto started = Clock::now();
  EXPECT_EQ(notice.status, "正在录音 → " + rig.Session().OutputPath().string());
  RecordingResult result;
  EXPECT_FALSE(rig.Run(5000, result));
  EXPECT_NE(rig.Session().SizeText().rfind("已写 ", 0), std::string::npos);
  const double wall = std::chrono::duration<double>(Clock::now() - started).count();
  rig.Session().StopRecording(result);
  const double around = std::chrono::duration<double>(Clock::now() - beforeStart).count();
  const auto path = rig.Session().OutputPath();
  EXPECT_EQ(result.outcome, RecordingResult::Outcome::Saved) << result.notice.status;
  EXPECT_EQ(result.path, path);
  EXPECT_EQ(path.extension(), c.mp3 ? ".mp3" : ".wav");
  ASSERT_TRUE(rig.Load(result));

  const AudioDoc& doc = rig.Doc();
  ASSERT_GT(doc.Frames(), 0u);
  const int ch = doc.Format().channels;
  EXPECT_EQ(ch, c.channels);
  const double seconds = double(doc.Frames()) / doc.Format().sampleRate;
  // At least the time between the calls, at most the time around them; MP3
  // adds encoder padding of a few blocks.
  const double slack = c.mp3 ? wall * 0.01 + 0.1 : wall * 0.01;
  EXPECT_GE(seconds, wall - slack);
  EXPECT_LE(seconds, around + slack) << "between the calls " << wall << " s";
  const double rate = doc.Format().sampleRate;
  const size_t skip = size_t(rate / 2);
  const double p440 = test::TonePower(doc.CopySamples(), ch, 0, rate, 440, skip);
  const double p1000 = test::TonePower(doc.CopySamples(), ch, 0, rate, 1000, skip);
  const double floor = test::TonePower(doc.CopySamples(), ch, 0, rate, 2500, skip) + 1e-9;
  const bool wantMic = c.source != RecordSource::ComputerSound, wantLoop = c.source != RecordSource::Microphone;
  EXPECT_EQ(p440 > 100 * floor, wantMic) << p440 << " / " << floor;
  EXPECT_EQ(p1000 > 100 * floor, wantLoop) << p1000 << " / " << floor;
  EXPECT_NE(rig.Session().LastStopLine().find("丢帧=0 暂停=0.000 秒"), std::string::npos)
      << rig.Session().LastStopLine();
}

INSTANTIATE_TEST_SUITE_P(Sources, RecordingMatrix,
                         ::testing::Values(SessionCase{"MicrophoneWav16Stereo", RecordSource::Microphone, false, 16, 2},
                                           SessionCase{"LoopbackWav24Stereo", RecordSource::ComputerSound, false, 24, 2},
                                           SessionCase{"BothWav32Mono", RecordSource::Both, false, 32, 1},
                                           SessionCase{"BothMp3Stereo", RecordSource::Both, true, 16, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PulseTest, PauseLeavesTheFileShorterByThePauseAndShowsItInTheStopLine) {
  SessionRig rig;
  RecordingSetup setup = rig.Setup(RecordSource::Microphone);
  setup.bits = 16;
  SessionNotice notice;
  ASSERT_TRUE(rig.Session().StartRecording(setup, notice)) << notice.status;
  const auto started = Clock::now();
  RecordingResult result;
  rig.Run(1500, result);
  // The pause is measured, not assumed: a loaded machine stretches the 3 s.
  const auto pausedAt = Clock::now();
  rig.Session().TogglePause(notice);
  EXPECT_EQ(notice.status, "已暂停：现在的声音不会录进去。按「继续」接着录，还是同一个文件。");
  rig.Run(3000, result);
  rig.Session().TogglePause(notice);
  const double pause = std::chrono::duration<double>(Clock::now() - pausedAt).count();
  EXPECT_EQ(notice.status, "继续录音 → " + rig.Session().OutputPath().string());
  rig.Run(1500, result);
  const double wall = std::chrono::duration<double>(Clock::now() - started).count();
  rig.Session().StopRecording(result);
  ASSERT_TRUE(rig.Load(result));
  const double seconds = double(rig.Doc().Frames()) / rig.Doc().Format().sampleRate;
  EXPECT_NEAR(seconds, wall - pause, 0.1);
  const std::string line = rig.Session().LastStopLine();
  const size_t at = line.find("暂停=");
  ASSERT_NE(at, std::string::npos) << line;
  EXPECT_NEAR(std::atof(line.c_str() + at + std::string("暂停=").size()), pause, 0.05) << line;
}

struct SpliceCase {
  const char* name;
  int idleMs;          // the microphone is left alone this long before the start
  const char* hold;    // VESK_CAPTURE_HOLD during the take
};

class MicrophoneSpliceTest : public PulseTest, public ::testing::WithParamInterface<SpliceCase> {};

// A source left alone holds a backlog (here the microphone's full pipe, whose
// tail is not continuous with the present), and a capture thread held up
// delivers late. Neither may splice the file: every step between samples
// stays within a clean tone's, and the length still follows the wall clock.
TEST_P(MicrophoneSpliceTest, RecordsAContinuousToneWithoutSplices) {
  Sleep(GetParam().idleMs);
  SessionRig rig;
  RecordingSetup setup = rig.Setup(RecordSource::Microphone);
  setup.bits = 32;
  setup.channels = 1;
  SessionNotice notice;
  setenv("VESK_CAPTURE_HOLD", GetParam().hold, 1);
  const auto beforeStart = Clock::now();
  const bool started = rig.Session().StartRecording(setup, notice);
  const auto afterStart = Clock::now();
  unsetenv("VESK_CAPTURE_HOLD");
  ASSERT_TRUE(started) << notice.status;
  RecordingResult result;
  rig.Run(3000, result);
  const auto beforeStop = Clock::now();
  rig.Session().StopRecording(result);
  const auto afterStop = Clock::now();
  ASSERT_TRUE(rig.Load(result)) << result.notice.status;
  const std::vector<float>& s = rig.Doc().CopySamples();
  ASSERT_GT(s.size(), 48000u * 2) << result.notice.status;
  const double seconds = double(s.size()) / 48000.0;
  // Up to the stop the file may lack what lies within timestamp jitter (30 ms).
  EXPECT_GE(seconds, std::chrono::duration<double>(beforeStop - afterStart).count() - 0.04);
  EXPECT_LE(seconds, std::chrono::duration<double>(afterStop - beforeStart).count() + 0.02);
  // The file may begin with silence before the first packet and end with
  // silence up to the stop; the tone's onset and end are one step of at most
  // its amplitude.
  size_t first = 0, last = s.size();
  while (first < s.size() && s[first] == 0.0f) ++first;
  while (last > first && s[last - 1] == 0.0f) --last;
  ASSERT_LT(first, last);
  const double cleanStep = 0.5 * 2 * M_PI * 440.0 / 48000.0;
  int splices = 0;
  size_t firstSplice = 0;
  for (size_t i = first + 1; i < last; ++i)
    if (std::fabs(double(s[i]) - s[i - 1]) > cleanStep * 1.02 + 1e-4 && splices++ == 0) firstSplice = i;
  EXPECT_EQ(splices, 0) << "first at frame " << firstSplice << " of " << s.size();
  // No silent hole longer than 20 ms once the first 100 ms have passed (the
  // tone itself is near zero for one sample per crossing at most).
  size_t hole = 0, longest = 0, longestAt = 0;
  for (size_t i = 4800; i < last; ++i) {
    hole = std::fabs(s[i]) < 1e-3f ? hole + 1 : 0;
    if (hole > longest) longest = hole, longestAt = i + 1 - hole;
  }
  EXPECT_LE(longest, 960u) << "at frame " << longestAt << " of " << s.size();
  EXPECT_NEAR(test::ZeroCrossingPitch(s, 1, 0, 48000, first), 440.0, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Cases, MicrophoneSpliceTest,
                         ::testing::Values(SpliceCase{"IdleForTenSeconds", 10'000, ""},
                                           SpliceCase{"CaptureThreadHeld150Ms", 0, "1:150"},
                                           SpliceCase{"CaptureThreadHeld500Ms", 0, "1:500"}),
                         [](const auto& info) { return std::string(info.param.name); });

class MergedTakeTest : public PulseTest, public ::testing::WithParamInterface<uint32_t> {};

// The microphone is a remap of the speakers' monitor: both paths carry the
// same sound on one clock, and the server holds the microphone's frames back
// by a fragment, so they arrive 10 ms after the monitor's. At 48 kHz the
// later path leads the merge, at 44.1 kHz it is the resampled secondary.
// Every burst of the merged take must land once: its two copies overlap
// within 2 ms, so the burst is at most 2 ms wider than one copy.
TEST_P(MergedTakeTest, TheSameSoundFromBothPathsLandsAtOnePlace) {
  const uint32_t micRate = GetParam();
  ASSERT_GE(daemon_->Load("module-remap-source source_name=SameSound master=Speakers.monitor channels=1 rate=" +
                          std::to_string(micRate) + " source_properties=device.description=SameSound"),
            0);
  // 10 ms at 0.4 every 250 ms (a flat pulse: two copies add up, they cannot cancel).
  std::vector<float> pcm(48000 * 8 * 2, 0.0f);
  for (size_t f = 0; f < pcm.size() / 2; ++f)
    if (f % 12000 < 480) pcm[2 * f] = pcm[2 * f + 1] = 0.4f;
  const auto wav = daemon_->Dir() / "bursts.wav";
  test::WriteBytes(wav, test::MakeWav(test::FmtSpec{}, test::Pcm16(pcm), uint32_t(pcm.size() * 2)));
  ChildProcess player;
  ASSERT_TRUE(player.Start("/usr/bin/paplay", {"--device=Speakers", wav.string()}, {}));
  Sleep(300);
  SessionRig rig;
  RecordingSetup setup = rig.Setup(RecordSource::Both, "Speakers", "SameSound");
  setup.bits = 32;
  setup.channels = 1;
  SessionNotice notice;
  const auto beforeStart = Clock::now();
  ASSERT_TRUE(rig.Session().StartRecording(setup, notice)) << notice.status;
  const auto afterStart = Clock::now();
  RecordingResult result;
  rig.Run(4000, result);
  const auto beforeStop = Clock::now();
  rig.Session().StopRecording(result);
  const auto afterStop = Clock::now();
  player.Kill();
  player.Wait(3000);
  ASSERT_TRUE(rig.Load(result)) << result.notice.status;
  const std::vector<float>& s = rig.Doc().CopySamples();
  const double rate = rig.Doc().Format().sampleRate;
  // Bursts after the first second (the paths are lined up by then).
  int bursts = 0;
  double widest = 0;
  for (size_t i = size_t(rate); i < s.size(); ++i) {
    if (std::fabs(s[i]) < 0.2f) continue;
    size_t end = i, k = i;
    while (k < s.size() && k < i + size_t(rate / 10)) {
      if (std::fabs(s[k]) >= 0.2f) end = k;
      ++k;
    }
    if (k >= s.size()) break;
    const double width = double(end + 1 - i) / rate * 1000.0;
    std::printf("burst at %.3f s: %.2f ms wide\n", double(i) / rate, width);
    widest = std::max(widest, width);
    ++bursts;
    i = k;
  }
  EXPECT_GE(bursts, 10);
  EXPECT_LE(widest, 12.0);
  // The take follows the wall clock: at most the capture latency short of
  // the time between the calls, never longer than the time around them.
  const double seconds = double(s.size()) / rate;
  EXPECT_GE(seconds, std::chrono::duration<double>(beforeStop - afterStart).count() - 0.1);
  EXPECT_LE(seconds, std::chrono::duration<double>(afterStop - beforeStart).count() + 0.02);
}

INSTANTIATE_TEST_SUITE_P(MicrophoneRates, MergedTakeTest, ::testing::Values(48000u, 44100u),
                         [](const auto& info) { return info.param == 48000 ? "MicrophoneLeads" : "MicrophoneResampled"; });

TEST_F(PulseTest, LoopbackOfASilentSinkFillsTheTimelineWithSilence) {
  SessionRig rig;
  RecordingSetup setup = rig.Setup(RecordSource::ComputerSound, "Headphones");
  SessionNotice notice;
  setup.bits = 16;
  // The timeline runs from inside the start to inside the stop, so its length
  // lies between the time between the two calls and the time around them
  // (opening the streams can take a while on a busy machine).
  const auto beforeStart = Clock::now();
  ASSERT_TRUE(rig.Session().StartRecording(setup, notice)) << notice.status;
  const auto started = Clock::now();
  RecordingResult result;
  rig.Run(2500, result);
  const auto beforeStop = Clock::now();
  rig.Session().StopRecording(result);
  const auto stopped = Clock::now();
  ASSERT_TRUE(rig.Load(result)) << result.notice.status;
  ASSERT_GT(rig.Doc().Frames(), 0u);
  const double inner = std::chrono::duration<double>(beforeStop - started).count();
  const double outer = std::chrono::duration<double>(stopped - beforeStart).count();
  const double seconds = double(rig.Doc().Frames()) / rig.Doc().Format().sampleRate;
  EXPECT_GE(seconds, inner * 0.99 - 0.02);
  // A source that delivers nothing is filled with silence up to 100 ms ahead
  // of the clock, so the take may run that much past the time around the calls.
  EXPECT_LE(seconds, outer * 1.01 + 0.02 + 0.1);
  EXPECT_LT(test::Rms(rig.Doc().CopySamples(), 2, 0), 1e-4);
}

TEST_F(PulseTest, LostMicrophoneStopsTheRecordingAndKeepsWhatWasRecorded) {
  SessionRig rig;
  RecordingSetup setup = rig.Setup(RecordSource::Microphone);
  setup.bits = 16;
  SessionNotice notice;
  ASSERT_TRUE(rig.Session().StartRecording(setup, notice)) << notice.status;
  const auto started = Clock::now();
  RecordingResult result;
  rig.Run(2000, result);
  ASSERT_TRUE(daemon_->Unload(daemon_->MicrophoneModule()));
  // pactl may take a while on a busy machine; the source went away before it returned.
  const double untilUnloaded = std::chrono::duration<double>(Clock::now() - started).count();
  ASSERT_TRUE(rig.Run(3000, result));
  EXPECT_FALSE(rig.Session().IsRecording());
  EXPECT_EQ(result.notice.boxTitle, "录音设备已断开");
  EXPECT_EQ(result.notice.boxText, std::string(CaptureStream::kLostText) +
                                       "\r\n\r\n已经录到的部分已保存，可以继续剪辑或导出。");
  EXPECT_TRUE(result.deviceLost);
  ASSERT_TRUE(rig.Load(result));
  EXPECT_NE(rig.Session().LastStopLine().find(" [设备丢失触发]"), std::string::npos);
  const double seconds = double(rig.Doc().Frames()) / 48000.0;
  EXPECT_GT(seconds, 1.7);
  EXPECT_LT(seconds, untilUnloaded + 0.3);
  EXPECT_TRUE(std::filesystem::exists(rig.Session().OutputPath()));
}

TEST_F(PulseTest, FailedWriteStopsWithTheProblemAndKeepsTheFile) {
  SessionRig rig;
  RecordingSetup setup = rig.Setup(RecordSource::Microphone);
  setup.bits = 16;
  SessionNotice notice;
  // A file size limit of 256 KiB makes the disk refuse after about a second.
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 256 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  ASSERT_TRUE(rig.Session().StartRecording(setup, notice)) << notice.status;
  RecordingResult result;
  const bool stopped = rig.Run(5000, result);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  ASSERT_TRUE(stopped);
  EXPECT_EQ(result.notice.boxTitle, "写盘中断");
  EXPECT_FALSE(result.notice.boxText.empty());
  EXPECT_EQ(result.notice.status, "录音结束，但有问题：" + result.notice.boxText);
  EXPECT_EQ(result.outcome, RecordingResult::Outcome::Failed);
  EXPECT_TRUE(std::filesystem::exists(rig.Session().OutputPath()));
}

}  // namespace
}  // namespace vesk
