#include "ui/level_flow.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>

#include "denoise/builtin_denoise.h"
#include "doc/audio_doc.h"
#include "doc/stretch_render.h"
#include "media/level_tools.h"
#include "media/loudness.h"
#include "platform/text.h"
#include "ui/control_ids.h"

namespace vesk::ui {
namespace {

constexpr int kPresetCount = int(std::size(kLoudnessPresets));
constexpr int kCustomPreset = kPresetCount;
constexpr int kPresetItems[] = {kMenuLoudnessWeb, kMenuLoudnessPodcast, kMenuLoudnessBroadcast};
static_assert(std::size(kPresetItems) == std::size(kLoudnessPresets));

// The reading takes at most this much of a tick, in slices of a quarter second.
constexpr auto kTickBudget = std::chrono::milliseconds(6);

// Numbers with a real minus sign and an explicit plus.
std::string Db(double value, const char* format = "%+.1f") {
  std::string text = Format(format, value);
  if (text == "-0.0" || text == "+0.0" || text == "−0.0") return "0.0";
  if (!text.empty() && text[0] == '-') text = "\xE2\x88\x92" + text.substr(1);
  return text;
}

std::string CustomText(const SettingsState& s) {
  return Db(s.loudnessCustomLufs, "%.1f") + " LUFS / " + Db(s.loudnessCustomCeiling, "%.1f") + " dBTP";
}

}  // namespace

LevelFlow::LevelFlow(LevelContext context) : ctx_(context) {}
LevelFlow::~LevelFlow() = default;

// ----- the reading ---------------------------------------------------------

LevelFlow::Span LevelFlow::Target() const {
  const AudioDoc& doc = *ctx_.doc;
  if (doc.SelectionEnd() > doc.SelectionStart()) return {doc.SelectionStart(), doc.SelectionEnd(), true};
  return {0, doc.Frames(), false};
}

LevelFlow::ReadingKey LevelFlow::KeyNow() const {
  const AudioDoc& doc = *ctx_.doc;
  const Span span = Target();
  return {doc.Revision(), doc.Frames(), span.from, span.to, doc.Format().sampleRate, doc.Format().channels};
}

void LevelFlow::Tick() {
  const AudioDoc& doc = *ctx_.doc;
  if (ctx_.app->Recording() || doc.Frames() == 0) {
    keyValid_ = false;
    meter_.reset();
    return;
  }
  const ReadingKey key = KeyNow();
  if (!keyValid_ || !(key == key_)) {
    key_ = key;
    keyValid_ = true;
    reading_.clear();
    measured_ = 0;
    // A mono clip is heard on two speakers: measured as the platforms do.
    meter_ = std::make_unique<LoudnessMeter>(key.rate, key.channels, key.channels == 1);
  }
  if (!meter_) return;
  const uint64_t total = key_.to - key_.from;
  const uint64_t slice = std::max<uint64_t>(key_.rate / 4, 1);
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  while (measured_ < total) {
    const uint64_t n = std::min(slice, total - measured_);
    bool added = true;
    const uint64_t at = key_.from + measured_;
    ForEachSpan(doc.Samples(), at, at + n,
                [&](const float* p, uint64_t frames) { added = added && meter_->Add(p, size_t(frames), error); });
    if (!added) {
      reading_ = "响度：" + error;
      meter_.reset();
      return;
    }
    measured_ += n;
    if (std::chrono::steady_clock::now() - start >= kTickBudget) break;
  }
  if (measured_ >= total) {
    reading_ = LoudnessText(meter_->Result());
    meter_.reset();
  }
}

std::string LevelFlow::ReadingText() const { return keyValid_ && KeyNow() == key_ ? reading_ : std::string(); }

void LevelFlow::Describe(WindowFacts& facts) const {
  const SettingsState& s = *ctx_.settings;
  const bool custom = s.loudnessPreset < 0 || s.loudnessPreset >= kPresetCount;
  facts.loudnessTooltip = "把选区（没有选区时整段）的响度调到「" +
                          (custom ? "自定义 " + CustomText(s) : std::string(kLoudnessPresets[s.loudnessPreset].name)) +
                          "」。箭头里有其他目标、音量、淡入淡出和去除交流哼声。";
  if (facts.editorInfo.empty() || ctx_.app->Recording()) return;
  const std::string reading = ReadingText();
  facts.editorInfo += "　" + (reading.empty() ? std::string("响度测量中…") : reading);
}

// ----- the menu ------------------------------------------------------------

std::vector<MenuItem> LevelFlow::Menu() const {
  const SettingsState& s = *ctx_.settings;
  std::vector<MenuItem> m;
  for (int i = 0; i < kPresetCount; ++i)
    m.push_back({kPresetItems[i], kLoudnessPresets[i].name, s.loudnessPreset == i, true, false});
  m.push_back({kMenuLoudnessCustom, "自定义目标（" + CustomText(s) + "）…", s.loudnessPreset == kCustomPreset, true,
               false});
  m.push_back({0, {}, false, true, true});
  m.push_back({kMenuGain, "音量…", false, true, false});
  m.push_back({kMenuFadeIn, "淡入", false, true, false});
  m.push_back({kMenuFadeOut, "淡出", false, true, false});
  m.push_back({kMenuHumRemoval, "去除交流哼声", false, true, false});
  return m;
}

bool LevelFlow::HandleCommand(int id) {
  SettingsState& s = *ctx_.settings;
  for (int i = 0; i < kPresetCount; ++i)
    if (id == kPresetItems[i]) {
      s.loudnessPreset = i;
      ctx_.app->SaveSettings();
      Normalize();
      return true;
    }
  switch (id) {
    case kIdLoudness: Normalize(); return true;
    case kMenuLoudnessCustom: AskCustomTarget(); return true;
    case kMenuGain: AskGain(); return true;
    case kMenuFadeIn: Fade(true); return true;
    case kMenuFadeOut: Fade(false); return true;
    case kMenuHumRemoval: RemoveHum(); return true;
    default: return false;
  }
}

// ----- the edits -----------------------------------------------------------

bool LevelFlow::Ready(const char* what) const {
  if (ctx_.app->Recording()) {
    ctx_.port->Status(std::string("正在录音，停止后才能") + what + "。");
    return false;
  }
  if (ctx_.doc->Frames() == 0) {
    ctx_.port->Status("剪辑区里还没有音频：先录一段或打开一个文件。");
    return false;
  }
  if (ctx_.app->Playing()) ctx_.app->StopPlayback();
  return true;
}

bool LevelFlow::Render(const Span& span, const BufferRender& effect, SampleSequence& out, std::string& error) const {
  return RenderInStretches(ctx_.doc->Samples().Slice(span.from, span.to), ctx_.doc->Format().sampleRate,
                           SpillLimitBytes(ctx_.settings->spillThresholdMiB), effect, out, error);
}

void LevelFlow::Commit(const Span& span, const SampleSequence& processed, const std::string& done) {
  std::string error;
  if (!ctx_.doc->ReplaceRange(span.from, span.to, processed, error)) {
    ctx_.port->Status("没能写回：" + error);
    return;
  }
  ctx_.app->DocumentChanged(DocumentChange::Replaced);
  ctx_.port->Status(error.empty() ? done + "可撤销。" : done + error);
}

void LevelFlow::Normalize() {
  if (!Ready("调整响度")) return;
  const SettingsState& s = *ctx_.settings;
  const bool custom = s.loudnessPreset < 0 || s.loudnessPreset >= kPresetCount;
  const double target = custom ? s.loudnessCustomLufs : kLoudnessPresets[s.loudnessPreset].lufs;
  const double ceiling = custom ? s.loudnessCustomCeiling : kLoudnessPresets[s.loudnessPreset].ceilingDbtp;
  const Span span = Target();
  const AudioFormat& format = ctx_.doc->Format();
  const uint16_t ch = std::max<uint16_t>(format.channels, 1);
  // A mono clip is heard on two speakers: measured as the platforms do.
  const bool dualMono = ch == 1;
  const SampleSequence source = ctx_.doc->Samples().Slice(span.from, span.to);
  NormalizeResult result;
  std::string error;
  SampleSequence work;
  // Each pass renders the whole span (in a temporary file when it is long)
  // and measures what it made.
  const GainPass pass = [&](const GainStep& step, LoudnessReading& after, bool& limited, std::string& why) {
    limited = false;
    const BufferRender apply = [&](std::vector<float>& b, std::string&) {
      limited = ApplyGainStep(step, b.data(), b.size() / ch, ch, format.sampleRate) || limited;
      return true;
    };
    return Render(span, apply, work, why) &&
           (!step.measure || MeasureLoudness(work, format.sampleRate, dualMono, after, why, step.truePeak));
  };
  ctx_.port->ProgressBegin("响度标准化", false);
  LoudnessReading before;
  const bool ok = MeasureLoudness(source, format.sampleRate, dualMono, before, error) &&
                  NormalizeWith(before, target, ceiling, pass, result, error);
  ctx_.port->ProgressEnd();
  if (!ok) {
    ctx_.port->Status("响度标准化失败：" + error);
    return;
  }
  std::string done = std::string(span.selection ? "选区" : "整段") + "响度已调到 " + LoudnessText(result.after) +
                     "（增益 " + Db(result.gainDb) + " dB";
  done += result.limited ? "，限幅器压住了过高的峰）。" : "）。";
  Commit(span, work, done);
}

void LevelFlow::AskCustomTarget() {
  SettingsState& s = *ctx_.settings;
  NumberDialogModel model;
  model.title = "自定义响度目标";
  model.fields = {{"目标响度", "LUFS", s.loudnessCustomLufs, -40, -5, 0.5, 1},
                  {"真峰值上限", "dBTP", s.loudnessCustomCeiling, -10, 0, 0.1, 1}};
  model.note = [](const std::vector<double>&) {
    return std::string("常用：网络视频 −14，播客 −16，广播 −23 LUFS");
  };
  std::vector<double> values;
  if (!ctx_.port->AskNumbers(model, values) || values.size() != 2) return;
  s.loudnessCustomLufs = std::clamp(values[0], -40.0, -5.0);
  s.loudnessCustomCeiling = std::clamp(values[1], -10.0, 0.0);
  s.loudnessPreset = kCustomPreset;
  ctx_.app->SaveSettings();
  Normalize();
}

void LevelFlow::AskGain() {
  if (!Ready("调整音量")) return;
  const Span span = Target();
  float peak = 0;
  ForEachSpan(ctx_.doc->Samples(), span.from, span.to, [&](const float* p, uint64_t frames) {
    peak = std::max(peak, SamplePeak(p, size_t(frames) * ctx_.doc->Samples().Channels()));
  });
  const double peakDb = AmplitudeDb(peak);
  NumberDialogModel model;
  model.title = span.selection ? "选区音量" : "整段音量";
  model.fields = {{"音量调整", "dB", lastGainDb_, -40, 40, 0.5, 1}};
  model.note = [peakDb](const std::vector<double>& v) {
    if (peakDb <= -200) return std::string("这一段是静音");
    const double after = peakDb + (v.empty() ? 0 : v[0]);
    std::string text = "调整后峰值 " + Db(after) + " dBFS";
    if (after > 0.0) text += "，会削波";
    return text;
  };
  std::vector<double> values;
  if (!ctx_.port->AskNumbers(model, values) || values.empty()) return;
  const double gain = std::clamp(values[0], -40.0, 40.0);
  lastGainDb_ = gain;
  if (std::fabs(gain) < 0.05) {
    ctx_.port->Status("音量没变（0 dB）。");
    return;
  }
  const double after = peakDb + gain;
  if (after > 0.0 && peakDb > -200) {
    const std::string text = "调整 " + Db(gain) + " dB 后峰值到 " + Db(after) +
                             " dBFS，超过 0 dBFS 的部分导出时会削波失真。\n\n仍要调整吗？";
    if (ctx_.port->ShowBox(BoxKind::Question, "会削波", text, BoxButtons::YesNo, BoxAnswer::No) != BoxAnswer::Yes) {
      ctx_.port->Status("已取消音量调整，音频没动。");
      return;
    }
  }
  SampleSequence work;
  std::string error;
  const BufferRender apply = [gain](std::vector<float>& b, std::string&) {
    ApplyGainDb(b.data(), b.size(), gain);
    return true;
  };
  if (!Render(span, apply, work, error)) {
    ctx_.port->Status("音量调整失败：" + error);
    return;
  }
  Commit(span, work,
         std::string(span.selection ? "选区" : "整段") + "音量已调整 " + Db(gain) + " dB（峰值 " + Db(after) +
             " dBFS）。");
}

void LevelFlow::Fade(bool in) {
  const char* name = in ? "淡入" : "淡出";
  if (!Ready(name)) return;
  const Span span = Target();
  if (!span.selection) {
    ctx_.port->Status(std::string("请先在波形上拖出要") + name + "的那一段。");
    return;
  }
  const uint16_t ch = std::max<uint16_t>(ctx_.doc->Format().channels, 1);
  std::vector<float> work = ctx_.doc->CopyRange(span.from, span.to);
  if (in)
    FadeInEqualPower(work.data(), work.size() / ch, ch);
  else
    FadeOutEqualPower(work.data(), work.size() / ch, ch);
  const double seconds = double(span.to - span.from) / double(std::max<uint32_t>(ctx_.doc->Format().sampleRate, 1));
  Commit(span, SampleSequence(std::move(work), ch), Format("已%s %.2f 秒。", name, seconds));
}

void LevelFlow::RemoveHum() {
  if (!Ready("去除哼声")) return;
  const AudioDoc& doc = *ctx_.doc;
  const uint32_t rate = doc.Format().sampleRate;
  const uint16_t ch = std::max<uint16_t>(doc.Format().channels, 1);
  // The hum is found where nothing else sounds: the noise sample when one
  // is set, else the quietest two seconds of the clip.
  uint64_t from = doc.NoiseSampleStart(), to = doc.NoiseSampleEnd();
  if (to <= from) {
    const uint64_t length = std::min<uint64_t>(2ull * rate, doc.Frames());
    from = QuietestStretch(doc.Samples(), ch, rate, length);
    to = from + length;
  }
  const std::vector<float> quiet = doc.CopyRange(from, to);
  const double mains = DetectMainsHum(quiet.data(), size_t(to - from), ch, rate);
  if (mains <= 0) {
    ctx_.port->Status("没有检测到交流哼声（50/60 Hz），音频没动。");
    return;
  }
  const Span span = Target();
  SampleSequence work;
  std::string error;
  ctx_.port->ProgressBegin("去除交流哼声", false);
  const bool ok = Render(
      span,
      [&](std::vector<float>& b, std::string&) {
        RemoveMainsHum(b.data(), b.size() / ch, ch, rate, mains);
        return true;
      },
      work, error);
  ctx_.port->ProgressEnd();
  if (!ok) {
    ctx_.port->Status("去除哼声失败：" + error);
    return;
  }
  const int harmonics = int(1000.0 / mains);
  Commit(span, work,
         Format("已去除 %.2f Hz 交流哼声（基频和 %d 个谐波，到 1 kHz）。", mains, std::max(harmonics - 1, 0)));
}

}  // namespace vesk::ui
