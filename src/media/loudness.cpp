#include "media/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include "media/true_peak.h"
#include "platform/text.h"

namespace vesk {

namespace {

struct StateDeleter {
  void operator()(ebur128_state* st) const { ebur128_destroy(&st); }
};

// Numbers with a real minus sign, as a typesetter would print them.
std::string Signed(double value) {
  std::string text = Format("%.1f", value);
  if (text == "-0.0") text = "0.0";
  if (!text.empty() && text[0] == '-') text = "\xE2\x88\x92" + text.substr(1);
  return text;
}

}  // namespace

double AmplitudeDb(double amplitude) { return amplitude > 0 ? 20.0 * std::log10(amplitude) : -200.0; }

// The library measures the loudness and its range; the true peak is the
// project's own scan (media/true_peak.h), which skips what cannot reach the
// peak and so costs a fraction of the library's.
struct LoudnessMeter::State {
  std::unique_ptr<ebur128_state, StateDeleter> st;
  std::optional<TruePeakScan> peak;
};

LoudnessMeter::LoudnessMeter(uint32_t rate, uint16_t channels, bool dualMono, bool truePeak)
    : state_(new State), channels_(channels) {
  if (channels == 0 || rate == 0) return;
  state_->st.reset(ebur128_init(channels, rate, truePeak ? EBUR128_MODE_I | EBUR128_MODE_LRA : EBUR128_MODE_I));
  if (truePeak) state_->peak.emplace(channels);
  if (state_->st && channels == 1 && dualMono) ebur128_set_channel(state_->st.get(), 0, EBUR128_DUAL_MONO);
}

LoudnessMeter::~LoudnessMeter() { delete state_; }

bool LoudnessMeter::Add(const float* samples, size_t frames, std::string& error) {
  if (channels_ == 0) {
    error = "测不了响度：音频格式无效。";
    return false;
  }
  if (!state_->st) {
    error = "测不了响度：内存不足。";
    return false;
  }
  if (frames > 0 && ebur128_add_frames_float(state_->st.get(), samples, frames) != EBUR128_SUCCESS) {
    error = "测不了响度：测量库出错。";
    return false;
  }
  if (state_->peak) state_->peak->Add(samples, frames);
  return true;
}

LoudnessReading LoudnessMeter::Result() {
  LoudnessReading out;
  ebur128_state* st = state_->st.get();
  if (st == nullptr) return out;
  if (state_->peak) {
    state_->peak->Finish();
    out.truePeakDbtp = AmplitudeDb(state_->peak->Peak());
  }
  double integrated = 0, range = 0;
  if (ebur128_loudness_global(st, &integrated) == EBUR128_SUCCESS && std::isfinite(integrated)) {
    out.valid = true;
    out.integratedLufs = integrated;
    if (state_->peak && ebur128_loudness_range(st, &range) == EBUR128_SUCCESS && std::isfinite(range))
      out.rangeLu = range;
  }
  return out;
}

bool MeasureLoudness(const float* samples, size_t frames, uint32_t rate, uint16_t channels, bool dualMono,
                     LoudnessReading& out, std::string& error, const std::function<bool()>& cancelled,
                     bool truePeak) {
  out = {};
  error.clear();
  if (channels == 0 || rate == 0) {
    error = "测不了响度：音频格式无效。";
    return false;
  }
  LoudnessMeter meter(rate, channels, dualMono, truePeak);
  // Blocks of one second keep a cancel prompt.
  const size_t block = rate;
  for (size_t done = 0; done < frames; done += block) {
    if (cancelled && cancelled()) return false;
    if (!meter.Add(samples + done * channels, std::min(block, frames - done), error)) return false;
  }
  if (frames == 0 && !meter.Add(samples, 0, error)) return false;
  out = meter.Result();
  return true;
}

std::string LoudnessText(const LoudnessReading& reading) {
  if (!reading.valid) return "响度：内容太短或太安静";
  return Signed(reading.integratedLufs) + " LUFS · 峰值 " + Signed(reading.truePeakDbtp) + " dBTP";
}

bool MeasureLoudness(const SampleSource& samples, uint32_t rate, bool dualMono, LoudnessReading& out,
                     std::string& error, bool truePeak) {
  out = {};
  LoudnessMeter meter(rate, uint16_t(samples.Channels()), dualMono, truePeak);
  bool added = true;
  ForEachSpan(samples, 0, samples.Frames(),
              [&](const float* p, uint64_t frames) { added = added && meter.Add(p, size_t(frames), error); });
  if (added) out = meter.Result();
  return added;
}

}  // namespace vesk
