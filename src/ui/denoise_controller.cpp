#include "ui/denoise_controller.h"

#include <algorithm>

#include "core/app_log.h"
#include "denoise/plugin_probe.h"
#include "doc/audio_doc.h"
#include "doc/stretch_render.h"
#include "platform/folders.h"
#include "platform/memory.h"
#include "platform/text.h"
#include "ui/control_ids.h"

namespace vesk::ui {

namespace {


constexpr const char* kRenderStarted = "正在后台渲染降噪…（渲染完再按空格，听到的就是降噪后的）";
constexpr const char* kNoMemory =
    "内存不够给降噪缓存腾地方了 —— 请关掉一些程序后再试；导出不受影响（导出走自己的临时副本）。";
constexpr const char* kWaitForRender = "后台降噪还在渲染，等它结束就开始导出…";

std::string Quoted(int level) { return std::string("降噪等级已设为「") + DenoiseLevelText(level) + "」"; }

std::string Clock(uint64_t frame, uint32_t rate) {
  const double t = double(frame) / double(rate ? rate : 1);
  const int minutes = int(t / 60);
  return Format("%d:%04.1f", minutes, t - 60.0 * minutes);
}

// The minimum length of a marked noise sample.
constexpr double kMinNoiseSeconds = 0.25;

}  // namespace

// The settings' level table: the stored numbers are the engine's offsets,
// 0 = +6 dB, 1 = 0, 2 = −6 dB.
const char* DenoiseLevelText(int level) { return DenoiseLevelName(std::clamp(level, 0, kDenoiseLevelCount - 1)); }

DenoiseController::DenoiseController(DenoiseContext context) : ctx_(std::move(context)) {}

DenoiseController::~DenoiseController() {
  life_.Expire();
  // A long render stops at its next stretch instead of holding the close.
  stopRender_ = true;
  if (render_.joinable()) render_.join();
  // The device must stop reading a cached copy before the copy goes.
  if (PlayingDenoised()) ctx_.app->StopPlayback();
  handed_.reset();
  cache_.ClearAll();
  rendering_ = 0;
}

bool DenoiseController::Render(DenoiseEngine& engine, std::vector<float>& samples, uint32_t rate, uint32_t channels,
                               std::string& error, unsigned level) const {
  return ctx_.render ? ctx_.render(engine, samples, rate, channels, error, level)
                     : RunDenoise(engine, samples, rate, channels, error, level);
}

void DenoiseController::Discover() {
  if (ctx_.discover)
    ctx_.discover(engine_);
  else
    DiscoverDenoisePlugin(engine_);
  // The user's engine choice, where discovery left one to make.
  if (engine_.builtin || !engine_.modulePath.empty()) ChooseBuiltinEngine(engine_, settings().denoiseBuiltin);
  engine_.isolateChoice = settings().denoiseIsolated;
  // May write the helper to disk: once per discovery, never per tick.
  usable_ = ctx_.usable ? ctx_.usable(engine_) : DenoiseAvailable(engine_);
}

bool DenoiseController::DocEmpty() const { return ctx_.doc == nullptr || ctx_.doc->Frames() == 0; }
bool DenoiseController::AreaPlaying() const { return ctx_.app->Playing(); }
bool DenoiseController::PlayingDenoised() const { return AreaPlaying() && handed_ != nullptr; }
void DenoiseController::Status(const std::string& text) { ctx_.port->Status(text); }

double DenoiseController::RenderSeconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - renderStart_).count();
}

DenoiseDocKey DenoiseController::DocKey() const {
  DenoiseDocKey key;
  const AudioDoc& doc = *ctx_.doc;
  key.revision = doc.Revision();
  key.frames = doc.Frames();
  key.rate = doc.Format().sampleRate;
  key.channels = doc.Format().channels;
  key.bits = doc.Format().bits;
  key.pluginKey = DenoisePluginKey(engine_);
  // The built-in engine's result depends on the noise sample as well.
  if (engine_.builtin)
    key.pluginKey += Format("|%llu-%llu", (unsigned long long)doc.NoiseSampleStart(),
                            (unsigned long long)doc.NoiseSampleEnd());
  return key;
}


std::string DenoiseController::ButtonLabel() const {
  if (!settings().denoise) return "降噪 关";
  return usable_ ? "降噪 开" : "降噪 缺";
}

std::string DenoiseController::NoiseSampleText() const {
  const AudioDoc& doc = *ctx_.doc;
  const uint32_t rate = doc.Format().sampleRate;
  if (doc.NoiseSampleEnd() > doc.NoiseSampleStart())
    return "选定的 " + Clock(doc.NoiseSampleStart(), rate) + "–" + Clock(doc.NoiseSampleEnd(), rate);
  if (lastProfile_.valid && lastProfile_.quietest)
    return "自动取最安静的 2 秒（" + Clock(lastProfile_.start, rate) + "–" + Clock(lastProfile_.end, rate) + "）";
  return "自动取最安静的 2 秒";
}

std::string DenoiseController::Tooltip() const {
  if (usable_ && engine_.builtin)
    return std::string("降噪（试听/整段）：") + kBuiltinEngineName + "\n当前等级：" + DenoiseLevelText(Level()) +
           "\n噪声样本：" + NoiseSampleText() +
           "\n（点按钮右下箭头换档、换引擎或把选区设为噪声样本）\n开着时空格试听和另存 WAV/MP3/视频都过一遍降噪；关掉按原样输出。";
  if (usable_)
    return "降噪（试听/整段）：" + engine_.displayName + "\n当前等级：" + DenoiseLevelText(Level()) +
           "\n（点按钮右下箭头换档）\n开着时空格试听和另存 WAV/MP3/视频都过一遍降噪；关掉按原样输出。";
  if (engine_.modulePath.empty())
    return "降噪：未检测到 RX Voice De-noise\n插件装到系统的 VST3 目录后，把开关关再开即可识别。";
  return "降噪：" + engine_.displayName + "\n但 32 位辅助程序没能就位（内嵌的那份释放失败），暂时降不了。";
}

void DenoiseController::UpdateCapacity() {
  const AudioDoc& doc = *ctx_.doc;
  if (doc.Revision() == capacityRevision_) return;
  capacityRevision_ = doc.Revision();
  const uint64_t bytes = uint64_t(doc.Format().channels) * doc.Frames() * sizeof(float);
  uint64_t available = 0;
  bool known = false;
  if (bytes > SpillBytes()) {
    // Copies this long are read from their temporary files: they take disk.
    std::error_code ec;
    const std::filesystem::space_info room = std::filesystem::space(PrivateTempDir(), ec);
    known = !ec;
    available = room.available;
  } else {
    known = FreeMemory(available);
  }
  cache_.SetCapacity(DenoiseCacheCapacity(bytes, known, available));
}

uint64_t DenoiseController::SpillBytes() const { return SpillLimitBytes(settings().spillThresholdMiB); }

bool DenoiseController::RenderLong(DenoiseEngine& engine, const SampleSource& in, uint32_t rate, unsigned level,
                                   SampleSequence& out, std::string& error) const {
  const uint32_t channels = uint32_t(in.Channels());
  return RenderInStretches(
      in, rate, SpillBytes(),
      [&](std::vector<float>& samples, std::string& why) { return Render(engine, samples, rate, channels, why, level); },
      out, error, [this](uint64_t, uint64_t) { return !stopRender_.load(); });
}

bool DenoiseController::FreeMemory(uint64_t& bytes) const {
  return ctx_.app->FreeMemory(bytes);
}

PlaybackBuffer DenoiseController::PlaybackBufferForAudition() {
  // The edit area keeps the copy it plays alive itself (keepAlive), also
  // while a swap to another buffer is under way.
  PlaybackBuffer buffer;
  handed_.reset();
  if (!settings().denoise || !usable_ || DocEmpty()) return buffer;
  const DenoiseDocKey key = DocKey();
  SharedSamples samples;
  if (cache_.Lookup(key, Level(), &samples) >= 0) {
    handed_ = samples;
    buffer.samples = samples;
    buffer.processed = true;
    buffer.level = Level();
    buffer.status = "正在播放降噪后的声音（" + engine_.displayName +
                    "），听到的就是导出效果；对比原声把开关关一下再开（位置不丢）。";
  } else if (Rendering()) {
    buffer.status = "降噪还在后台渲染，这次先播原声；渲染完再按空格就是降噪后的。";
  } else if (cache_.HasFailed(key, Level())) {
    buffer.status = "降噪开着但渲染失败了，这次播的是原声（见之前的状态栏提示）。";
  }
  return buffer;
}

bool DenoiseController::SwitchPlaybackSource(bool denoised) {
  if (!AreaPlaying()) return false;
  if (denoised) {
    SharedSamples samples;
    if (!settings().denoise || !usable_ || cache_.Lookup(DocKey(), Level(), &samples) < 0) return false;
    if (handed_ == samples) return true;
  } else if (handed_ == nullptr) {
    return true;
  }
  // Goes on at the same frame and within the same loop; the edit area asks
  // PlaybackBufferForAudition for the buffer.
  ctx_.app->PlaybackSourceChanged();
  return AreaPlaying() && (handed_ != nullptr) == denoised;
}

bool DenoiseController::StartBackgroundRender() {
  noMemory_ = false;
  if (!settings().denoise || !usable_ || DocEmpty() || render_.joinable()) return false;
  DenoiseDocKey key = DocKey();
  const int level = Level();
  if (cache_.Lookup(key, level) >= 0) return false;
  UpdateCapacity();
  const int slot = cache_.ChooseTarget(key, level);
  // Where memory is overcommitted a buffer that does not fit does not throw,
  // the process is killed later; asking first keeps that from happening. A
  // long document is rendered a stretch at a time into a temporary file.
  uint64_t available = 0;
  const uint64_t bytes = ctx_.doc->Frames() * std::max<uint64_t>(ctx_.doc->Format().channels, 1) * sizeof(float);
  if (FreeMemory(available) && std::min(bytes, SpillBytes()) > available) {
    noMemory_ = true;
    noMemoryKey_ = key;
    noMemoryLevel_ = level;
    Status(kNoMemory);
    return false;
  }
  const bool wasPlayingSlot = PlayingDenoised() && handed_ == cache_.Slot(slot).samples;
  cache_.Clear(slot);
  // No ready copy of this level is left, so playback goes back to the original.
  if (wasPlayingSlot && !SwitchPlaybackSource(false)) ctx_.app->StopPlayback();

  rendering_ = 1;
  renderStart_ = std::chrono::steady_clock::now();
  renderText_.clear();
  Status(kRenderStarted);
  // RunDenoise changes the engine record it is given, so the thread gets its own.
  render_ = std::thread([this, source = ctx_.doc->Snapshot(), engine = engine_, key = std::move(key), level, slot,
                         usable = usable_, noiseFrom = ctx_.doc->NoiseSampleStart(),
                         noiseTo = ctx_.doc->NoiseSampleEnd(), port = ctx_.port, life = life_.Watched()]() mutable {
    std::string error;
    auto rendered = std::make_shared<SampleSequence>();
    bool ok = PrepareNoiseProfile(engine, *source, key.rate, key.channels, noiseFrom, noiseTo, error) &&
              RenderLong(engine, *source, key.rate, unsigned(level), *rendered, error);
    source.reset();
    renderProfile_ = engine.noiseProfile;
    renderNote_ = engine.builtinNote;
    if (ok && rendered->Frames() == key.frames)
      cache_.StoreReady(slot, key, level, std::move(rendered));
    else
      cache_.StoreFailed(slot, key, level, ok ? std::string("降噪结果长度不符") : error, usable);
    rendering_ = 0;
    port->PostToUi(life, [this, slot] { OnRenderFinished(slot); });
  });
  return true;
}

void DenoiseController::OnRenderFinished(int slot) {
  if (render_.joinable()) render_.join();
  const DenoiseSlot s = cache_.Slot(slot);
  if (s.state == DenoiseSlotState::Failed) {
    Status("后台降噪渲染失败：" + (s.error.empty() ? std::string("原因未知") : s.error) +
           "（导出时也会遇到同样的问题；关掉再打开降噪开关可重试）");
    return;
  }
  if (s.state != DenoiseSlotState::Ready) return;  // dropped meanwhile (capacity)
  if (DocEmpty() || cache_.Lookup(DocKey(), Level()) < 0) {
    Status("降噪渲染完成，但当前设置或内容已变，正在按最新设置重新渲染…");
    return;
  }
  if (renderProfile_.valid) lastProfile_ = renderProfile_;
  if (AreaPlaying() && !PlayingDenoised() && SwitchPlaybackSource(true)) {
    Status("降噪渲染完成 —— 正在播放的已切到降噪后的（位置不变）。");
    return;
  }
  if (engine_.builtin) {
      Status(Format("降噪已就绪（渲染 %.1f 秒，噪声样本：%s）—— 按空格听到的就是降噪后的效果。", RenderSeconds(),
                  NoiseSampleText().c_str()) +
           (renderNote_.empty() ? "" : "（" + renderNote_ + "）"));
    return;
  }
  Status(Format("降噪已就绪（渲染 %.1f 秒）—— 按空格听到的就是降噪后的效果。", RenderSeconds()));
}

bool DenoiseController::RenderWanted() {
  if (!settings().denoise || render_.joinable() || !usable_ || DocEmpty()) return false;
  const DenoiseDocKey key = DocKey();
  if (noMemory_ && noMemoryKey_ == key && noMemoryLevel_ == Level()) return false;
  return cache_.Lookup(key, Level()) < 0 && !cache_.HasFailed(key, Level());
}

void DenoiseController::Tick() {
  if (DocEmpty()) {
    DenoiseDocKey nothing;
    nothing.revision = ~uint64_t(0);  // matches no copy
    if (!render_.joinable()) cache_.Invalidate(nothing);
  } else if (!render_.joinable()) {
    UpdateCapacity();
    cache_.Invalidate(DocKey());
  }
  if (handed_ != nullptr) {
    if (!AreaPlaying()) {
      handed_.reset();
    } else {
      // The copy being played was dropped (edit, capacity): back to the original.
      SharedSamples current;
      if (!settings().denoise || cache_.Lookup(DocKey(), Level(), &current) < 0 || current != handed_)
        ctx_.app->PlaybackSourceChanged();
    }
  }
  if (RenderWanted()) StartBackgroundRender();
  if (Rendering()) {
    const std::string text = Format("正在后台渲染降噪…（已 %.1f 秒，完成后按空格听降噪后的）", RenderSeconds());
    if (text != renderText_) {
      renderText_ = text;
      Status(text);
    }
  }
}

void DenoiseController::Toggle() {
  Discover();
  settings().denoise = !settings().denoise;
  ctx_.app->SaveSettings();
  const bool missing = !engine_.builtin && engine_.modulePath.empty();
  if (!settings().denoise) {
    if (PlayingDenoised() && SwitchPlaybackSource(false))
      Status("降噪已关闭：已切回原声（位置不变）。导出按原样输出；降噪缓存已保留，重新打开立刻生效。");
    else
      Status("降噪已关闭：导出按原样输出，空格播的也是原声。降噪缓存已保留 —— 内容没变的话，重新打开立刻生效。");
    return;
  }
  if (DocEmpty()) {
    if (usable_)
      Status("降噪已开启：录完或导入后自动生效，导出和空格试听都会过一遍降噪（引擎：" + engine_.displayName + "）");
    else if (missing)
      Status("降噪已开启，但没检测到 RX Voice De-noise 插件，暂时降不了 —— 插件装好后把开关关再开即可识别；导出时也可选「无降噪导出」");
    else
      Status("降噪已开启，但 32 位辅助程序没能就位，暂时降不了 —— 导出时可选「无降噪导出」");
    return;
  }
  const bool started = StartBackgroundRender();
  if (missing) {
    Status("降噪已开启，但没检测到 RX Voice De-noise —— 导出时可选「无降噪导出」或取消。插件装到系统的 VST3 目录即可（装好后把开关关再开即可重新识别）。");
  } else if (!usable_) {
    Status("降噪已开启，选中的是 " + engine_.displayName +
           "，但 32 位辅助程序没能就位（内嵌的那份释放失败） —— 导出时可选「无降噪导出」或取消。");
  } else if (cache_.Lookup(DocKey(), Level()) >= 0) {
    if (AreaPlaying() && !PlayingDenoised() && SwitchPlaybackSource(true))
      Status("降噪已开启：复用现有缓存，播放已切到降噪后的（位置不变）。");
    else
      Status("降噪已开启：内容没变，直接复用之前渲好的缓存 —— 空格立刻听降噪后的，不用等。");
  } else if (started || Rendering()) {
    Status("降噪已开启：另存 WAV/MP3 时会先过一遍「" + engine_.displayName + "」，空格试听听到的也是降噪后的。开关关再开可对比原声。");
  }
}

void DenoiseController::SetLevel(DenoiseLevelKind kind, int level) {
  if (level < 0 || level >= kDenoiseLevelCount) return;
  int& current = kind == DenoiseLevelKind::Selection ? settings().selDenoiseLevel : settings().denoiseLevel;
  if (current == level) return;
  current = level;
  ctx_.app->SaveSettings();
  const std::string name = Quoted(level);
  if (kind == DenoiseLevelKind::Selection) {
    Status(std::string("选区降噪的降噪等级已设为「") + DenoiseLevelText(level) +
           "」，下次点「选区降噪」时按这个档跑；试听用的档位不受影响。");
    return;
  }
  if (!settings().denoise || !usable_) {
    Status(name + "。开关打开后按这个档位渲染（选区降噪与导出有各自独立的档位，在对应按钮的箭头菜单里调）。");
    return;
  }
  if (DocEmpty()) {
    Status(name + "。");
    return;
  }
  const bool ready = cache_.Lookup(DocKey(), level) >= 0;
  if (AreaPlaying()) {
    if (ready && SwitchPlaybackSource(true)) {
      Status(name + "：该档之前渲过，已同帧切过去听（位置不变）。");
      return;
    }
    if (PlayingDenoised()) SwitchPlaybackSource(false);
    if (!StartBackgroundRender() && noMemory_) return;  // its text stays
    Status(name + "：正在后台渲染新档，期间先听原声，渲染完自动切过去（位置不变）。");
    return;
  }
  if (render_.joinable()) {
    Status(name + "—— 等上一轮渲染结束后自动按新档重跑。");
  } else if (!ready) {
    if (!StartBackgroundRender() && noMemory_) return;  // its text stays
    Status(name + "：正在按新档位重新渲染，完成后空格听到的就是新效果，正在播的话会自动切过去。");
  } else {
    Status(name + "：该档之前渲过，缓存直接复用 —— 空格立刻听到的就是新档效果。");
  }
}

bool DenoiseController::HaveSelection(const char* hint) {
  if (DocEmpty()) {
    Status("剪辑区里还没有内容。");
    return false;
  }
  if (ctx_.doc->SelectionEnd() <= ctx_.doc->SelectionStart()) {
    Status(hint);
    return false;
  }
  return true;
}

void DenoiseController::DenoiseSelection() {
  if (!HaveSelection("请先在波形上拖出选区，再点「选区降噪」。")) return;
  AudioDoc& doc = *ctx_.doc;
  const uint64_t a = doc.SelectionStart(), b = doc.SelectionEnd();
  if (!engine_.discovered) Discover();
  if (!engine_.builtin && engine_.modulePath.empty()) {
    Status("没检测到 RX Voice De-noise：插件要装在系统的 VST3 目录里（Program Files 或 Program Files (x86) 下的 Common Files\\VST3）。");
    return;
  }
  if (!usable_) {
    Status(engine_.displayName + " 是 32 位插件，但 32 位辅助程序没能就位（内嵌的那份释放失败），选区降噪用不了。");
    return;
  }
  if (render_.joinable()) {
    Status("后台整段降噪还在渲染 —— 等它跑完再点，或先关掉降噪开关。");
    return;
  }
  if (AreaPlaying()) ctx_.app->StopPlayback();
  const int level = settings().selDenoiseLevel;
  const uint32_t rate = doc.Format().sampleRate;
  const size_t ch = std::max<size_t>(doc.Format().channels, 1);
  const uint64_t preRoll = 5ull * rate;
  const uint64_t from = a > preRoll ? a - preRoll : 0;
  const uint64_t used = a - from;  // the pre-roll shrinks near the start
  Status("正在对选区跑降噪（" + engine_.displayName + "·" + DenoiseLevelText(level) + "）…");

  std::string error;
  const auto started = std::chrono::steady_clock::now();
  ctx_.port->ProgressBegin("选区降噪", false);
  // The built-in engine takes its noise profile from the whole document,
  // not from the selection it cleans.
  SampleSequence rendered;
  bool ok = PrepareNoiseProfile(engine_, doc.Samples(), rate, uint32_t(ch), doc.NoiseSampleStart(),
                                doc.NoiseSampleEnd(), error) &&
            RenderLong(engine_, doc.Samples().Slice(from, b), rate, unsigned(level), rendered, error);
  ctx_.port->ProgressEnd();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (ok && rendered.Frames() != b - from) {
    ok = false;
    error = "降噪结果长度不符";
  }
  if (!ok) {
    Status("选区降噪失败：" + error);
    return;
  }
  // The pre-roll only warms the plug-in up.
  const uint64_t frames = b - a;
  SampleSequence result = rendered.Slice(used, b - from);
  // The ends cross-fade from the original frames, read from the document.
  const uint64_t fade = std::min(frames / 2, preRoll / 1000);  // 5 ms
  std::vector<float> head = result.Copy(0, fade), tail = result.Copy(frames - fade, frames);
  const std::vector<float> headWas = doc.CopyRange(a, a + fade), tailWas = doc.CopyRange(b - fade, b);
  for (uint64_t k = 0; k < fade; ++k) {
    const float t = float(k) / float(fade);
    for (size_t c = 0; c < ch; ++c) {
      const size_t h = k * ch + c, e = (fade - 1 - k) * ch + c;
      head[h] = (1 - t) * headWas[h] + t * head[h];
      tail[e] = (1 - t) * tailWas[e] + t * tail[e];
    }
  }
  result = result.Replaced(0, fade, std::move(head)).Replaced(frames - fade, frames, std::move(tail));
  if (!doc.ReplaceRange(a, b, result, error)) {
    Status("选区降噪失败：" + error);
    return;
  }
  ctx_.app->DocumentChanged(DocumentChange::Replaced);
  Status(Format("选区已降噪（档位：%s，耗时 %.2f 秒，含 %.1f 秒预卷预热）。可撤销。", DenoiseLevelText(level), seconds,
                double(used) / double(rate ? rate : 1)));
}

bool DenoiseController::PrepareNoiseProfile(DenoiseEngine& engine, const SampleSource& samples, uint32_t rate,
                                            uint32_t channels, uint64_t from, uint64_t to, std::string& error) const {
  engine.noiseProfile = NoiseProfile{};
  if (!engine.builtin) return true;  // plug-ins need no profile
  return MeasureNoiseProfile(samples, rate, channels, from, to, engine.noiseProfile, error);
}

void DenoiseController::SetNoiseSampleFromSelection() {
  if (!HaveSelection("请先在波形上拖出一段只有噪声（没有人声）的选区，再点「把选区设为噪声样本」。")) return;
  AudioDoc& doc = *ctx_.doc;
  const uint64_t a = doc.SelectionStart(), b = doc.SelectionEnd();
  const uint32_t rate = doc.Format().sampleRate;
  if (double(b - a) < kMinNoiseSeconds * rate) {
    Status("噪声样本至少要 0.25 秒，请把选区拉长一点。");
    return;
  }
  doc.SetNoiseSample(a, b);
  std::string text = Format("已把 %s–%s（%.1f 秒）设为噪声样本", Clock(a, rate).c_str(), Clock(b, rate).c_str(),
                            double(b - a) / rate);
  if (!engine_.builtin)
    text += "；它只给内置降噪用，当前引擎是「" + engine_.displayName + "」。";
  else if (settings().denoise)
    text += "，内置降噪正按它重新渲染。";
  else
    text += "，内置降噪会按它估计噪声。";
  Status(text);
}

void DenoiseController::SetBuiltinEngine(bool builtin) {
  if (!engine_.discovered) Discover();
  if (!builtin && engine_.modulePath.empty()) {
    Status("没检测到降噪插件，继续用内置降噪。");
    return;
  }
  if (builtin && !BuiltinDenoiseSupported()) {
    Status("这个版本没有带内置降噪。");
    return;
  }
  if (settings().denoiseBuiltin != builtin) {
    settings().denoiseBuiltin = builtin;
    ctx_.app->SaveSettings();
  }
  if (engine_.builtin == builtin) {
    Status("降噪引擎仍是「" + engine_.displayName + "」。");
    return;
  }
  ChooseBuiltinEngine(engine_, builtin);
  usable_ = ctx_.usable ? ctx_.usable(engine_) : DenoiseAvailable(engine_);
  if (PlayingDenoised()) SwitchPlaybackSource(false);
  Status("降噪引擎已换成「" + engine_.displayName + "」" +
         (settings().denoise ? std::string("，正在按它重新渲染。") : std::string("。")));
}

int DenoiseController::IsolatedMenuState() const {
  if (engine_.modulePath.empty() || engine_.architecture == 2) return -1;
  return PluginIsolationOn(settings().denoiseIsolated, PluginProbeEverFailed(engine_)) ? 1 : 0;
}

void DenoiseController::ToggleIsolated() {
  if (!engine_.discovered) Discover();
  const int state = IsolatedMenuState();
  if (state < 0) {
    Status("没有需要放进独立进程的降噪插件。");
    return;
  }
  settings().denoiseIsolated = state == 1 ? 0 : 1;
  engine_.isolateChoice = settings().denoiseIsolated;
  ctx_.app->SaveSettings();
  // The samples are the same either way: the cached copies stay valid.
  Status(state == 1 ? "降噪插件改回在录音机里直接运行（更快）。"
                    : "降噪插件改为在独立进程里运行：插件出错只会让这次降噪失败，录音机不受影响。");
}

void DenoiseController::Describe(WindowFacts& facts) const {
  facts.denoiseLabel = ButtonLabel();
  facts.denoiseTooltip = Tooltip();
}

ExportDenoise DenoiseController::ForExport(ExportKind kind, const std::filesystem::path& output) {
  ExportDenoise result;
  if (!settings().denoise) return result;
  const bool video = kind == ExportKind::Video;
  if (Rendering()) {
    Status(kWaitForRender);
    while (Rendering()) {
      if (video)
        ctx_.port->ProgressStep(3, "后台降噪还在渲染，等它结束…");
      else
        ctx_.port->ProgressStep(1, kWaitForRender);
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  }
  if (!engine_.discovered) Discover();
  if (!usable_) {
    const bool noHelper = !engine_.modulePath.empty();
    const std::string title = noHelper ? "降噪辅助程序没就位" : "没检测到降噪插件";
    std::string text;
    if (!video && !noHelper)
      text = "降噪开关是打开的，但程序没检测到 RX 的 Voice De-noise 插件，这次导出做不了降噪。\n\n· 按「是(Y)」：无降噪导出 —— 按素材原样出文件（不降噪）；\n· 按「否(N)」：取消导出，装好插件再导。\n\n插件要装在系统的 VST3 目录里：64 位版装 Program Files\\Common Files\\VST3，32 位版装 Program Files (x86)\\Common Files\\VST3。装好后把开关关再开即可识别。";
    else if (!video)
      text = "降噪开关是打开的，选中的是 32 位插件「" + engine_.displayName +
             "」，但 32 位辅助程序没能就位，这次导出做不了降噪。\n\n· 按「是(Y)」：无降噪导出 —— 按素材原样出文件（不降噪）；\n· 按「否(N)」：取消导出，修好辅助程序再导。\n\n辅助程序是内嵌在主程序里的，正常不会缺 —— 这次多半是释放失败：\n· 检查系统盘和 %LOCALAPPDATA% 的剩余空间与可写（杀软拦了也会这样）；\n· 或手动把一个 VeskDenoise32.exe 放到主程序同目录；\n· 或改装 64 位版的 RX Voice De-noise。";
    else if (!noHelper)
      text = "降噪开关是打开的，但程序没检测到 RX 的 Voice De-noise 插件，视频音轨做不了降噪。\n\n· 按「是(Y)」：无降噪导出 —— 音轨按剪辑结果原样输出（不降噪）；\n· 按「否(N)」：取消导出，装好插件再导。\n\n插件要装在系统的 VST3 目录里。";
    else
      text = "降噪开关是打开的，选中的是 32 位插件「" + engine_.displayName +
             "」，但 32 位辅助程序没能就位（主程序同目录没有，内嵌的那份也释放失败），视频音轨做不了降噪。\n\n· 按「是(Y)」：无降噪导出 —— 音轨按剪辑结果原样输出（不降噪）；\n· 按「否(N)」：取消导出，修好辅助程序再导。\n\n检查一下磁盘空间、以及 %LOCALAPPDATA% 能不能写，然后再导。";
    const char* reason = noHelper ? "辅助没就位" : "没检测到插件";
    const std::string path = PathToUtf8(output);
    if (ctx_.port->ShowBox(BoxKind::Warning, title, text, BoxButtons::YesNo, BoxAnswer::No) == BoxAnswer::Yes) {
      if (video) {
        AppLog("[denoise] 视频导出：插件不可用（%s），用户选择「无降噪导出」，按原样输出：%s", reason, path.c_str());
        Status("降噪插件不可用 —— 视频音轨按原样（无降噪）导出…");
      } else {
        AppLog("[denoise] 插件不可用（%s），用户选择「无降噪导出」，按原样输出：%s", reason, path.c_str());
        Status("降噪插件不可用 —— 按原样（无降噪）导出…");
      }
      // The video line has its notes as " — " clauses after the bracket.
      result.resultNote = video ? " — 音轨未降噪（插件不可用，选了无降噪导出）" : "，未降噪（插件不可用，选了无降噪导出）";
      return result;
    }
    AppLog(video ? "[denoise] 视频导出取消：插件不可用（%s）。" : "[denoise] 导出取消：插件不可用（%s）。", reason);
    if (noHelper)
      Status(video ? "降噪开着，但 32 位辅助程序没能就位 —— 已取消视频导出。"
                   : "降噪开着，但 32 位辅助程序没能就位 —— 已取消导出。");
    else
      Status(video ? "降噪开着但没检测到 RX Voice De-noise —— 已取消视频导出。"
                   : "降噪开着但没检测到 RX Voice De-noise —— 已取消导出。");
    result.cancel = true;
    return result;
  }
  // The export renders its own copy, not the cache's, with its own engine
  // record; the built-in engine's noise profile comes from the document as
  // it is now (the export may render at another rate).
  auto engine = std::make_shared<DenoiseEngine>(engine_);
  auto error = std::make_shared<std::string>();
  const AudioDoc& doc = *ctx_.doc;
  if (!PrepareNoiseProfile(*engine, doc.Samples(), doc.Format().sampleRate, doc.Format().channels,
                           doc.NoiseSampleStart(), doc.NoiseSampleEnd(), *error))
    engine->noiseProfile = NoiseProfile{};  // measured again from the export's samples, or failing there
  const unsigned level = unsigned(Level());
  result.run = [this, engine, error, level](const SampleSource& in, uint32_t rate, SampleSequence& out) {
    error->clear();
    return RenderLong(*engine, in, rate, level, out, *error);
  };
  result.stage = "正在跑降噪（" + engine_.displayName + "）…";
  result.lastError = [error] { return *error; };
  result.resultNoteAfterRun = [engine] { return "，已降噪（" + StrengthSuffix(*engine) + "）"; };
  return result;
}

}  // namespace vesk::ui
