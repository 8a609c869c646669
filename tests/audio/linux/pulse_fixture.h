#pragma once
// A private PulseAudio daemon for the audio tests: its own runtime folder and
// socket, no hardware modules, two null sinks ("Speakers", "Headphones") at
// 48 kHz float stereo and a microphone ("Microphone") that hears a 440 Hz
// tone. PULSE_SERVER points the test process (and every client it starts) at
// it; the daemon is killed when the fixture ends.
//
// Two properties of the stock test modules make them unlike sound cards, and
// the fixture works around both:
// - A null sink renders as far ahead as its largest requested latency (2 s
//   when nobody asks) and only notices a smaller request when that sleep
//   ends, so a stream that joins later waits up to 2 s for its first data. A
//   card runs at its period whatever joins. A recorder on each monitor that
//   asks for 10 ms keeps the sinks at a card's pace.
// - module-sine-source has a fixed 2 s latency and posts each 2 s block at its
//   beginning, i.e. audio from the future. The microphone is therefore a pipe
//   source fed by a thread that writes 10 ms of the tone every 10 ms, as a
//   capture device delivers its periods.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "support/test_support.h"

namespace vesk::test {

class PulseDaemon {
 public:
  PulseDaemon() {
    socket_ = (dir_.path() / "native").string();
    const std::string d = dir_.path().string();
    ok_ = daemon_.Start("/usr/bin/env",
                        {"HOME=" + d, "XDG_RUNTIME_DIR=" + d, "PULSE_RUNTIME_PATH=" + d, "PULSE_STATE_PATH=" + d,
                         "XDG_CONFIG_HOME=" + d, "DBUS_SESSION_BUS_ADDRESS=disabled:", "pulseaudio", "-n",
                         "--daemonize=no", "--exit-idle-time=-1", "--system=false", "--use-pid-file=false",
                         "--disallow-exit=false", "--disable-shm=yes", "-F", "/dev/null", "--log-target=stderr",
                         "--load=module-native-protocol-unix socket=" + socket_ + " auth-anonymous=1"},
                        dir_.path() / "daemon.log");
    previous_ = getenv("PULSE_SERVER") != nullptr ? getenv("PULSE_SERVER") : "";
    setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
    if (!ok_) return;
    ok_ = false;
    for (int i = 0; i < 200 && !ok_; ++i) {
      ok_ = Shell("pactl info >/dev/null 2>&1") == 0;
      if (!ok_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!ok_) return;
    speakers_ = Load("module-null-sink sink_name=Speakers rate=48000 format=float32le channels=2 "
                     "sink_properties=device.description=Speakers");
    headphones_ = Load("module-null-sink sink_name=Headphones rate=48000 format=float32le channels=2 "
                       "sink_properties=device.description=Headphones");
    const std::string fifo = (dir_.path() / "microphone.fifo").string();
    microphone_ = Load("module-pipe-source source_name=Microphone file=" + fifo +
                       " format=float32le rate=48000 channels=1 source_properties=device.description=Microphone");
    ok_ = speakers_ >= 0 && headphones_ >= 0 && microphone_ >= 0;
    if (ok_) ok_ = Shell("pactl set-default-sink Speakers && pactl set-default-source Microphone") == 0;
    if (!ok_) return;
    for (const char* sink : {"Speakers", "Headphones"}) {
      keepAlive_.emplace_back(std::make_unique<ChildProcess>());
      ok_ = ok_ && keepAlive_.back()->Start(
                       "/usr/bin/parec", {"--latency-msec=10", "--device=" + std::string(sink) + ".monitor", "/dev/null"}, {});
    }
    writer_ = std::thread([this, fifo] { WriteTone(fifo); });
    // Once the recorders listen, a suspend and resume ends the long sleep the
    // sinks began before anyone did (resuming restarts their clock).
    bool listening = false;
    for (int i = 0; i < 100 && ok_ && !listening; ++i) {
      listening = Shell("test $(pactl list short source-outputs | wc -l) -ge 2") == 0;
      if (!listening) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ok_ = ok_ && listening &&
          Shell("pactl suspend-sink Speakers 1 && pactl suspend-sink Speakers 0 && "
                "pactl suspend-sink Headphones 1 && pactl suspend-sink Headphones 0") == 0;
  }
  ~PulseDaemon() {
    stop_.store(true);
    if (writer_.joinable()) writer_.join();
    for (auto& k : keepAlive_) {
      k->Kill();
      k->Wait(3000);
    }
    daemon_.Kill();
    daemon_.Wait(5000);
    if (previous_.empty())
      unsetenv("PULSE_SERVER");
    else
      setenv("PULSE_SERVER", previous_.c_str(), 1);
  }

  bool Ok() const { return ok_; }
  std::string Log() const { return ReadText(dir_.path() / "daemon.log"); }
  // pactl load-module with these arguments; the module index or -1.
  int Load(const std::string& moduleAndArgs) {
    const std::string out = (dir_.path() / "pactl.out").string();
    if (Shell("pactl load-module " + moduleAndArgs + " > '" + out + "' 2>&1") != 0) return -1;
    return std::atoi(ReadText(out).c_str());
  }
  bool Unload(int index) { return Shell("pactl unload-module " + std::to_string(index) + " >/dev/null 2>&1") == 0; }
  int& SpeakersModule() { return speakers_; }
  int& HeadphonesModule() { return headphones_; }
  int& MicrophoneModule() { return microphone_; }
  const std::filesystem::path& Dir() const { return dir_.path(); }

 private:
  // 440 Hz at half scale, 480 frames every 10 ms on an absolute schedule (a
  // late wake-up writes the periods it owes at once, as a device does).
  void WriteTone(const std::string& fifo) {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);  // a removed source gives EPIPE, not a signal
    const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    std::vector<float> period(480);
    uint64_t frame = 0;
    auto next = std::chrono::steady_clock::now();
    while (!stop_.load()) {
      next += std::chrono::milliseconds(10);
      std::this_thread::sleep_until(next);
      for (float& v : period) v = 0.5f * float(std::sin(2 * M_PI * 440.0 * double(frame++ % 48000) / 48000.0));
      // A full pipe (nobody reads) drops the period.
      if (write(fd, period.data(), period.size() * sizeof(float)) < 0) {}
    }
    close(fd);
  }

  ScratchDir dir_;
  ChildProcess daemon_;
  std::string socket_;
  std::string previous_;
  bool ok_ = false;
  int speakers_ = -1, headphones_ = -1, microphone_ = -1;
  std::vector<std::unique_ptr<ChildProcess>> keepAlive_;
  std::thread writer_;
  std::atomic<bool> stop_{false};
};

// Plays a tone file into a sink with paplay until the object ends.
class TonePlayer {
 public:
  TonePlayer(const std::filesystem::path& folder, const std::string& sink, int frequency, double seconds) {
    const std::filesystem::path file = folder / ("tone" + std::to_string(frequency) + ".wav");
    made_ = Shell("sox -q -n -r 48000 -c 2 -b 16 '" + file.string() + "' synth " + std::to_string(seconds) +
                  " sine " + std::to_string(frequency) + " vol 0.5") == 0;
    if (made_) made_ = player_.Start("/usr/bin/paplay", {"--device=" + sink, file.string()}, {});
  }
  ~TonePlayer() {
    player_.Kill();
    player_.Wait(3000);
  }
  bool Ok() const { return made_; }
  bool Wait(int64_t ms) { return player_.Wait(ms); }

 private:
  ChildProcess player_;
  bool made_ = false;
};

// Fixture base: every test gets a fresh daemon; the tests fail (never skip)
// when pulseaudio is installed but does not come up, and under
// VESK_REQUIRE_REAL_PARTS=1 also when it is not installed.
class PulseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists("/usr/bin/pulseaudio") || !std::filesystem::exists("/usr/bin/pactl")) VESK_MISSING_PART("pulseaudio is not installed");
    daemon_ = std::make_unique<PulseDaemon>();
    ASSERT_TRUE(daemon_->Ok()) << daemon_->Log();
  }
  void TearDown() override { daemon_.reset(); }
  std::unique_ptr<PulseDaemon> daemon_;
};

}  // namespace vesk::test
