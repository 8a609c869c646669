// The denoise cache and the audition hand-over under arbitrary sequences of
// user actions, with real threads: a render thread stores results while a
// playback thread keeps reading the buffer it was handed, as a device
// callback does. The address sanitizer turns any buffer freed under a
// reader into a crash.
//
// Input bytes are a list of actions (one byte each, some take the next byte
// as an argument). The first part drives DenoiseCache alone; the second the
// denoise controller over a real edit area, document and playback stream.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/playback_stream.h"
#include "denoise/denoise_cache.h"
#include "doc/audio_doc.h"
#include "ui/control_ids.h"
#include "ui/denoise_controller.h"
#include "ui/edit_area.h"
#include "ui/edit_rig.h"

namespace {

using namespace vesk;
using namespace std::chrono_literals;

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Sums whatever it was handed until told to let go, like a device callback
// that holds only a raw pointer.
class Reader {
 public:
  Reader() : thread_([this] { Run(); }) {}
  ~Reader() {
    Hand(nullptr, 0);
    stop_ = true;
    thread_.join();
  }
  // Returns only once the previous buffer is no longer read.
  void Hand(const float* samples, size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    samples_ = samples;
    count_ = count;
    ++generation_;
    const uint64_t wanted = generation_;
    while (seen_ != wanted && !stop_) {
      lock.unlock();
      std::this_thread::yield();
      lock.lock();
    }
  }

 private:
  void Run() {
    volatile float sink = 0;
    while (!stop_) {
      const float* p;
      size_t n;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_ = generation_;
        p = samples_;
        n = count_;
      }
      for (size_t i = 0; i < n; i += 7) sink = sink + p[i];
      std::this_thread::yield();
    }
  }

  std::mutex mutex_;
  const float* samples_ = nullptr;
  size_t count_ = 0;
  uint64_t generation_ = 0, seen_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void DriveCache(Bytes& in) {
  DenoiseCache cache;
  Reader reader;
  SharedSamples handed;  // what the reader reads; the owner keeps it alive
  DenoiseDocKey doc{1, 64, 48000, 2, 16, "A|x64"};
  std::thread render;
  auto join = [&] {
    if (render.joinable()) render.join();
  };
  for (int steps = 0; in.More() && steps < 64; ++steps) {
    const uint8_t op = in.Next();
    const int level = in.Next() % 3;
    switch (op % 10) {
      case 0: {  // audition starts on a ready copy
        SharedSamples s;
        uint64_t frames = 0;
        if (cache.Lookup(doc, level, &s) >= 0) {
          reader.Hand(s->Span(0, frames), frames * s->Channels());
          handed = s;
        }
        break;
      }
      case 1:  // audition stops
        reader.Hand(nullptr, 0);
        handed.reset();
        break;
      case 2:  // a render stores its result from its own thread
        join();
        render = std::thread([&cache, doc, level, slot = cache.ChooseTarget(doc, level)] {
          cache.StoreReady(slot, doc, level,
                           std::make_shared<const SampleSequence>(SampleSequence(
                               std::vector<float>(doc.frames * doc.channels, 0.25f * float(level)), doc.channels)));
        });
        break;
      case 3:
        join();
        cache.StoreFailed(cache.ChooseTarget(doc, level), doc, level, "x", level != 0);
        break;
      case 4:  // an edit, or another plug-in
        if (level == 0) doc.frames = 32 + in.Next() % 64;
        if (level == 1) doc.pluginKey = doc.pluginKey == "A|x64" ? "A|x86" : "A|x64";
        ++doc.revision;
        join();
        cache.Invalidate(doc);
        break;
      case 5:
        cache.SetCapacity(1 + level);
        break;
      case 6:
        cache.Clear(in.Next() % 4 - 1);
        break;
      case 7:
        join();
        cache.ClearAll();
        break;
      case 8:
        cache.HasFailed(doc, level);
        cache.Slot(in.Next() % 4);
        break;
      default:
        DenoiseCacheCapacity(in.Next(), level != 0, uint64_t(in.Next()) * 100);
        break;
    }
  }
  join();
  reader.Hand(nullptr, 0);
}

// A device that calls Render from its own thread as fast as it can.
class SpinningPlayback final : public PlaybackStream {
 public:
  ~SpinningPlayback() override { Stop(); }
  void Stop() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    running_ = false;
    ForgetBuffer();
  }

 protected:
  bool StartDevice(std::string&) override {
    PrepareRender(format_.sampleRate, DeviceSampleFormat{2, 32, true});
    stop_ = false;
    thread_ = std::thread([this] {
      std::vector<float> block(2 * 64);
      while (!stop_) {
        if (!Render(block.data(), 64)) {
          running_ = false;
          return;
        }
        std::this_thread::yield();
      }
    });
    return true;
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void DriveController(Bytes& in) {
  constexpr uint32_t kRate = 1000;  // a 5 s pre-roll stays small
  AudioDoc doc;
  test::PartsWindow window;
  test::PartsHost host;
  SpinningPlayback playback;
  SettingsState settings;
  uint64_t& memory = host.memory;
  memory = ~uint64_t(0) >> 2;
  std::atomic<bool> hold{false}, fail{false};
  // Holding applies to background renders only: selection denoise renders
  // on this thread and would wait for ever.
  const std::thread::id uiThread = std::this_thread::get_id();
  std::string plugin = "Fuzz Voice De-noise";

  window.view.focus = ui::FocusKind::Wave;
  ui::DenoiseContext d;
  d.port = &window.port;
  d.doc = &doc;
  d.settings = &settings;
  d.app = &host;
  d.discover = [&](DenoiseEngine& e) {
    e = DenoiseEngine{};
    e.discovered = true;
    e.modulePath = "/fuzz/plugin.so";
    e.fileName = plugin + ".vst3";
    e.displayName = plugin;
    e.architecture = 1;
  };
  d.render = [&](DenoiseEngine&, std::vector<float>& s, uint32_t, uint32_t, std::string& error, unsigned level) {
    while (hold && std::this_thread::get_id() != uiThread) std::this_thread::sleep_for(100us);
    if (fail) {
      error = "fuzz";
      return false;
    }
    for (float& v : s) v *= 0.5f + 0.1f * float(level);
    return true;
  };
  auto denoise = std::make_unique<ui::DenoiseController>(d);
  ui::EditArea area(ui::EditContext{&window.port, &doc, &playback, nullptr, &settings, &host});
  host.area = &area;
  host.denoise = denoise.get();
  denoise->Discover();

  auto load = [&](size_t frames) {
    std::vector<float> samples(frames * 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = float(int(i * 2654435761u % 2001) - 1000) / 1000.0f;
    std::string error;
    if (doc.Adopt(AudioFormat{kRate, 2, 16}, std::move(samples), "/fuzz/take.wav", error, 16)) area.OnRecordingLoaded();
  };
  auto finishRender = [&] {
    hold = false;
    for (int i = 0; i < 2000 && denoise->Rendering(); ++i) std::this_thread::sleep_for(100us);
    window.port.RunPosted();
  };
  load(256);

  for (int steps = 0; in.More() && steps < 48; ++steps) {
    const uint8_t op = in.Next();
    const uint8_t arg = in.Next();
    switch (op % 16) {
      case 0:
        denoise->Toggle();
        break;
      case 1:
        denoise->SetLevel(ui::DenoiseLevelKind::Audition, arg % 4);
        break;
      case 2:
        denoise->SetLevel(ui::DenoiseLevelKind::Selection, arg % 3);
        break;
      case 3:
        denoise->Tick();
        area.Tick();
        break;
      case 4:
        window.port.RunPosted();
        break;
      case 5:
        area.HandleCommand(ui::kIdPlay);
        break;
      case 6:
        area.StopPlayback();
        break;
      case 7: {  // select, then maybe edit
        const uint64_t frames = doc.Frames();
        const uint64_t a = frames ? arg % frames : 0, b = frames ? a + in.Next() % (frames - a + 1) : 0;
        doc.SetSelection(a, b);
        if (arg & 0x80) area.HandleCommand(arg & 0x40 ? ui::kIdDelete : ui::kIdSilence);
        break;
      }
      case 8: {  // capacity 1..3 for the current document, plenty, or not even one copy
        const uint64_t copy = std::max<uint64_t>(doc.Frames(), 1) * 2 * sizeof(float);
        const int pick = arg % 5;
        memory = pick == 3 ? ~uint64_t(0) >> 2 : pick == 4 ? copy / 2 : uint64_t(double(copy) * (1 + pick) / 0.6) + 1;
        break;
      }
      case 9:
        denoise->DenoiseSelection();
        break;
      case 10:
        finishRender();
        break;
      case 11:
        area.HandleCommand(arg & 1 ? ui::kIdRedo : ui::kIdUndo);
        break;
      case 12:
        fail = (arg & 1) != 0;
        break;
      case 13:  // another plug-in is found on the next discovery
        plugin = arg & 1 ? "Fuzz Voice De-noise" : "Other Voice De-noise";
        break;
      case 14:
        hold = (arg & 1) != 0;
        break;
      default: {  // an export: waits for a running render, renders its own copy
        hold = false;
        ui::ExportDenoise e = denoise->ForExport(ui::ExportKind::Audio, "/fuzz/out.wav");
        if (e.run) {
          SampleSequence copy;
          e.run(doc.Samples(), kRate, copy);
        }
        if (arg & 1) {  // a new recording replaces the document; recording stops playback first
          area.StopPlayback();
          load(64 + arg);
        }
        break;
      }
    }
  }
  finishRender();
  host.denoise = nullptr;
  denoise.reset();  // stops audition of a cached copy before the copies go
  playback.Stop();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Bytes in(data + 1, size - 1);
  if (data[0] & 1)
    DriveController(in);
  else
    DriveCache(in);
  return 0;
}
