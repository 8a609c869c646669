// CPU cost of a two-source recording: both capture streams, the mixer, the
// RecorderThread and the WAV sink, driven by the 33 ms timer as the window
// does, for VESK_BENCH_SECONDS of wall time (default 60). A private
// PulseAudio daemon supplies the sources: a pipe source fed with 440 Hz in
// 10 ms periods as the microphone and the monitor of a null sink that paplay
// feeds with 1 kHz as the computer's sound. Counters: process CPU time as a
// fraction of the wall time (the daemon, paplay and the process feeding the
// microphone are other processes), frames the capture rings refused, and the
// file's length minus the wall time. The daemon uses shared memory, as a
// desktop's does (copying through the socket costs the client about 0.5 %).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_backend.h"
#include "audio/capture_stream.h"
#include "platform/process.h"
#include "record/recording_session.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int Sh(const std::string& command) { return std::system(command.c_str()); }

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class Daemon {
 public:
  explicit Daemon(const fs::path& dir) : dir_(dir) {
    const std::string d = dir.string();
    const std::string socket = d + "/native";
    ok_ = daemon_.Start("/usr/bin/env",
                        {"HOME=" + d, "XDG_RUNTIME_DIR=" + d, "PULSE_RUNTIME_PATH=" + d, "PULSE_STATE_PATH=" + d,
                         "XDG_CONFIG_HOME=" + d, "DBUS_SESSION_BUS_ADDRESS=disabled:", "pulseaudio", "-n",
                         "--daemonize=no", "--exit-idle-time=-1", "-F", "/dev/null",
                         "--load=module-native-protocol-unix socket=" + socket + " auth-anonymous=1"},
                        dir / "daemon.log");
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    for (int i = 0; ok_ && i < 200 && Sh("pactl info >/dev/null 2>&1") != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string fifo = d + "/microphone.fifo";
    ok_ = ok_ &&
          Sh("pactl load-module module-null-sink sink_name=Speakers rate=48000 format=float32le channels=2 "
             ">/dev/null && pactl load-module module-pipe-source source_name=Microphone file=" +
             fifo + " format=float32le rate=48000 channels=1 >/dev/null") == 0;
    // A 10 ms listener keeps the null sink at a sound card's pace (see the
    // audio test fixture), and a suspend/resume ends its first long sleep.
    ok_ = ok_ && keepAlive_.Start("/usr/bin/parec", {"--latency-msec=10", "--device=Speakers.monitor", "/dev/null"}, {});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ok_ = ok_ && Sh("pactl suspend-sink Speakers 1 && pactl suspend-sink Speakers 0") == 0;
    ok_ = ok_ && Sh("sox -q -n -r 48000 -c 2 -b 16 '" + d + "/tone.wav' synth 7200 sine 1000 vol 0.5") == 0;
    ok_ = ok_ && player_.Start("/usr/bin/paplay", {"--device=Speakers", d + "/tone.wav"}, {});
    // One second of the tone, made before the fork so the child allocates nothing.
    tone_.resize(48000);
    for (size_t i = 0; i < tone_.size(); ++i) tone_[i] = 0.5f * float(std::sin(2 * M_PI * 440.0 * double(i) / 48000.0));
    if (ok_) {
      writer_ = fork();
      if (writer_ == 0) {
        WriteTone(fifo);
        _exit(0);
      }
      ok_ = writer_ > 0;
    }
  }
  ~Daemon() {
    if (writer_ > 0) {
      kill(writer_, SIGKILL);
      waitpid(writer_, nullptr, 0);
    }
    for (vesk::ChildProcess* p : {&player_, &keepAlive_, &daemon_}) {
      p->Kill();
      p->Wait(5000);
    }
  }
  bool Ok() const { return ok_; }

 private:
  // 480 frames every 10 ms on an absolute schedule, as a capture device
  // delivers its periods; runs in the forked child until killed.
  void WriteTone(const std::string& fifo) {
    signal(SIGPIPE, SIG_IGN);
    const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    size_t at = 0;
    auto next = Clock::now();
    for (;;) {
      next += std::chrono::milliseconds(10);
      std::this_thread::sleep_until(next);
      if (write(fd, tone_.data() + at, 480 * sizeof(float)) < 0) {}
      at = (at + 480) % tone_.size();
    }
  }

  fs::path dir_;
  vesk::ChildProcess daemon_, keepAlive_, player_;
  std::vector<float> tone_;
  pid_t writer_ = -1;
  bool ok_ = false;
};

void TwoSourceRecording(benchmark::State& state) {
  const char* secondsText = std::getenv("VESK_BENCH_SECONDS");
  const int seconds = secondsText != nullptr && std::atoi(secondsText) > 0 ? std::atoi(secondsText) : 60;
  const fs::path dir = fs::temp_directory_path() / ("vesk_bench_recording_" + std::to_string(getpid()));
  fs::create_directories(dir);
  {
    Daemon daemon(dir);
    if (!daemon.Ok()) {
      state.SkipWithError("the PulseAudio daemon did not come up");
    } else {
      for (auto _ : state) {
        auto mic = vesk::CreateCaptureStream();
        auto loop = vesk::CreateCaptureStream();
        vesk::RecordingSession session(*mic, *loop);
        const auto backend = vesk::CreateAudioDeviceBackend();
        const std::vector<vesk::DeviceEntry> entries = backend->Enumerate();
        vesk::RecordingSetup setup;
        setup.source = vesk::RecordSource::Both;
        for (vesk::DeviceFlow flow : {vesk::DeviceFlow::Capture, vesk::DeviceFlow::Render}) {
          if (const vesk::DeviceEntry* e = vesk::CurrentDefault(entries, flow)) {
            vesk::RecordingEndpoint& endpoint = flow == vesk::DeviceFlow::Capture ? setup.microphone : setup.loopback;
            endpoint = {true, e->state == vesk::kDeviceActive, e->id, e->name, e->name};
          }
        }
        setup.outputDir = dir;
        vesk::SessionNotice notice;
        vesk::RecordingResult result;
        const double cpuBefore = CpuSeconds();
        const auto started = Clock::now();
        if (!session.StartRecording(setup, notice)) {
          state.SkipWithError(notice.status.c_str());
          break;
        }
        const auto until = started + std::chrono::seconds(seconds);
        while (Clock::now() < until && !session.Tick(result)) std::this_thread::sleep_for(std::chrono::milliseconds(33));
        const double wall = std::chrono::duration<double>(Clock::now() - started).count();
        session.StopRecording(result);
        const double cpu = CpuSeconds() - cpuBefore;
        const vesk::AudioFormat format = session.OutputFormat();
        const double fileSeconds =
            double(session.BytesWritten()) / (format.bits / 8 * format.channels) / format.sampleRate;
        state.SetIterationTime(wall);
        state.counters["cpu_fraction"] = cpu / wall;
        state.counters["dropped_frames"] = double(mic->OverflowFrames() + loop->OverflowFrames());
        state.counters["length_minus_wall_s"] = fileSeconds - wall;
        std::error_code ignored;
        fs::remove(session.OutputPath(), ignored);
      }
    }
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

BENCHMARK(TwoSourceRecording)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
