// The denoise switch end to end: the real test plug-in renders in the
// background, an edit area plays through a manual device, completions are
// posted to a queue the test drains like the window's message loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "denoise/denoise_cache.h"
#include "denoise/denoise_fixture.h"
#include "denoise/plugin_probe.h"
#include "ui/control_ids.h"
#include "ui/denoise_controller.h"
#include "ui/export_menus.h"
#include "ui/edit_rig.h"

namespace vesk::test {
namespace {

using ui::DenoiseLevelKind;

SharedSamples Copy(size_t values) {
  return std::make_shared<const SampleSequence>(SampleSequence(std::vector<float>(values), 1));
}

std::vector<float> All(const SampleSequence& s) { return s.Copy(0, s.Frames()); }

// The export's step over the whole document, at `rate`.
std::vector<float> RunExport(const ui::ExportDenoise& d, const AudioDoc& doc, uint32_t rate, bool& ok) {
  SampleSequence out;
  ok = d.run(doc.Samples(), rate, out);
  return All(out);
}

struct DenoiseRig {
  AudioDoc doc;
  PartsWindow window;
  ScriptedView& view = window.view;
  PartsHost host;
  ManualPlayback playback;
  SettingsState settings;
  std::filesystem::path module = FixtureModule("voice_denoise");
  std::filesystem::path probeBook;  // empty: the data folder's
  bool missing = false;
  bool builtin = false;  // with `missing`: the built-in engine is there
  bool noHelper = false;  // a 32-bit plug-in whose helper could not be provided
  std::atomic<bool> hold{false};  // keeps renders from finishing
  std::unique_ptr<ui::EditArea> area;
  std::unique_ptr<ui::DenoiseController> denoise;  // goes before the edit area

  DenoiseRig() {
    host.memory = ~uint64_t(0) / 4;
    ui::DenoiseContext d;
    d.port = &window.port;
    d.doc = &doc;
    d.settings = &settings;
    d.app = &host;
    d.discover = [this](DenoiseEngine& e) {
      e = DenoiseEngine{};
      e.discovered = true;
      if (missing) {
        if (builtin) ChooseBuiltinEngine(e, true);
        return;
      }
      e.modulePath = module;
      e.fileName = "VeskTest Voice De-noise.vst3";
      e.architecture = noHelper ? 2 : NativeArch();
      e.displayName = noHelper ? "VeskTest Voice De-noise（32 位）" : "VeskTest Voice De-noise";
      e.probeBook = probeBook;
    };
    d.usable = [this](DenoiseEngine& e) { return !noHelper && DenoiseAvailable(e); };
    d.render = [this](DenoiseEngine& e, std::vector<float>& s, uint32_t rate, uint32_t ch, std::string& error,
                      unsigned level) {
      while (hold) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return RunDenoise(e, s, rate, ch, error, level);
    };
    denoise = std::make_unique<ui::DenoiseController>(d);
    area = std::make_unique<ui::EditArea>(ui::EditContext{&window.port, &doc, &playback, nullptr, &settings, &host});
    host.area = area.get();
    host.denoise = denoise.get();
    window.describe = [this](ui::WindowFacts& f) {
      area->Describe(f);
      denoise->Describe(f);
    };
    denoise->Discover();
  }
  ~DenoiseRig() { hold = false; }
  void Load(double seconds, uint32_t rate = 16000) {
    std::string error;
    // Quiet noise: below the test plug-in's gate, so a render lowers it.
    std::vector<float> noise = Noise(size_t(seconds * rate) * 2, 0.005f);
    ASSERT_TRUE(doc.Adopt(AudioFormat{rate, 2, 16}, std::move(noise), "/c/take.wav", error, 16));
    area->OnRecordingLoaded();
  }
  // Ticks like the window until a render completion was handled.
  void Settle() {
    for (int i = 0; i < 3000; ++i) {
      denoise->Tick();
      window.Refresh();
      if (window.port.RunPosted()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    FAIL() << "the background render never finished";
  }
  const std::string& Status() const { return window.port.StatusText(); }
  std::string Label(int id) {
    window.Refresh();
    return window.shown->Control(id).label.value_or("");
  }
  bool PlayingCacheCopy() { return playback.Source() != doc.Snapshot().get(); }
  int Renders() const {
    int n = 0;
    for (const std::string& s : view.statusHistory) n += s.rfind("正在后台渲染降噪…（渲染完再按空格", 0) == 0;
    return n;
  }
};

TEST(DenoiseCache, CapacitySlotChoiceAndInvalidation) {
  struct {
    uint64_t bytes;
    bool known;
    uint64_t available;
    int capacity;
  } const capacities[] = {{0, true, 0, 3},     {100, false, 0, 3},  {100, true, 10, 1},
                          {100, true, 333, 1}, {100, true, 334, 2}, {100, true, 1u << 30, 3}};
  for (const auto& c : capacities) EXPECT_EQ(DenoiseCacheCapacity(c.bytes, c.known, c.available), c.capacity);

  DenoiseEngine engine;
  engine.displayName = "P";
  engine.architecture = 2;
  EXPECT_EQ(DenoisePluginKey(engine), "P|x86");
  DenoiseDocKey doc{7, 4, 48000, 1, 16, "P|x64"};
  DenoiseCache cache;
  cache.StoreReady(0, doc, 0, Copy(4));
  cache.StoreReady(1, doc, 1, Copy(4));
  cache.StoreFailed(2, doc, 2, "boom", true);
  EXPECT_EQ(cache.ChooseTarget(doc, 1), 1);  // the slot of that level first
  EXPECT_TRUE(cache.HasFailed(doc, 2));
  EXPECT_GE(cache.Lookup(doc, 0), 0);  // slot 0 is now the most recently used
  cache.Clear(2);
  EXPECT_EQ(cache.ChooseTarget(doc, 2), 2);  // then an empty one
  cache.StoreReady(2, doc, 2, Copy(4));
  EXPECT_EQ(cache.ChooseTarget(doc, 3), 1);  // then the least recently used
  SharedSamples held;
  ASSERT_EQ(cache.Lookup(doc, 2, &held), 2);
  DenoiseDocKey edited = doc;
  edited.revision = 8;
  cache.Invalidate(edited);  // every slot of the old revision goes
  EXPECT_EQ(cache.Slot(2).state, DenoiseSlotState::Empty);
  EXPECT_EQ(held->Frames(), 4u);  // a reader keeps its copy
  cache.StoreReady(2, edited, 0, Copy(4));
  cache.SetCapacity(2);
  EXPECT_EQ(cache.Lookup(edited, 0), -1);
}

TEST(DenoiseController, SwitchRendersInBackgroundAndAuditionFollowsAtTheSameFrame) {
  DenoiseRig rig;
  rig.Load(3.0);
  rig.doc.SetSelection(8000, 40000);
  rig.hold = true;
  rig.denoise->Toggle();
  EXPECT_EQ(rig.denoise->ButtonLabel(), "降噪 开");
  EXPECT_EQ(rig.Label(ui::kIdDenoise), "降噪 开");
  EXPECT_NE(rig.Status().find("另存 WAV/MP3 时会先过一遍「VeskTest Voice De-noise」"), std::string::npos);

  // Audition while the render runs plays the original within the selection loop.
  ASSERT_TRUE(rig.area->HandleCommand(ui::kIdPlay));
  EXPECT_FALSE(rig.PlayingCacheCopy());
  EXPECT_NE(rig.Status().find("降噪还在后台渲染，这次先播原声"), std::string::npos);
  rig.playback.Advance(4000);
  rig.denoise->Tick();
  EXPECT_EQ(rig.Status().rfind("正在后台渲染降噪…（已 ", 0), 0u);
  rig.hold = false;
  rig.Settle();
  EXPECT_EQ(rig.Status(), "降噪渲染完成 —— 正在播放的已切到降噪后的（位置不变）。");
  ASSERT_TRUE(rig.PlayingCacheCopy());
  EXPECT_EQ(rig.playback.Position(), 12000u);
  EXPECT_EQ(rig.playback.LoopStart(), 8000u);
  EXPECT_EQ(rig.playback.LoopEnd(), 40000u);
  const std::vector<float> denoised = All(*rig.denoise->Cache().Slot(0).samples);
  EXPECT_LT(RmsOfRange(denoised, 0, denoised.size()), RmsOfRange(rig.doc.CopySamples(), 0, rig.doc.CopySamples().size()));

  // Off and on again: back to the original and to the kept copy, same frame,
  // no new render, and the device is never reopened: the next callback
  // already plays the other buffer.
  const int starts = rig.playback.starts;
  rig.playback.Advance(1000);
  rig.denoise->Toggle();
  rig.playback.Advance(100);
  const std::vector<float>& out = rig.playback.rendered;
  EXPECT_TRUE(std::equal(out.end() - 200, out.end(), rig.doc.CopySamples().begin() + 2 * 13000));
  rig.playback.Seek(13000);
  EXPECT_EQ(rig.Status(), "降噪已关闭：已切回原声（位置不变）。导出按原样输出；降噪缓存已保留，重新打开立刻生效。");
  EXPECT_FALSE(rig.PlayingCacheCopy());
  EXPECT_EQ(rig.playback.Position(), 13000u);
  rig.denoise->Toggle();
  EXPECT_EQ(rig.Status(), "降噪已开启：复用现有缓存，播放已切到降噪后的（位置不变）。");
  EXPECT_TRUE(rig.PlayingCacheCopy());
  EXPECT_EQ(rig.playback.starts, starts);
  EXPECT_FALSE(rig.denoise->Rendering());
  EXPECT_EQ(rig.Renders(), 1);
  rig.area->StopPlayback();
  rig.denoise->Toggle();
  rig.denoise->Toggle();
  EXPECT_EQ(rig.Status(), "降噪已开启：内容没变，直接复用之前渲好的缓存 —— 空格立刻听降噪后的，不用等。");

  // An edit re-renders by itself; the old copy is never played again.
  rig.area->HandleCommand(ui::kIdPlay);
  EXPECT_NE(rig.Status().find("正在播放降噪后的声音（VeskTest Voice De-noise）"), std::string::npos);
  rig.area->StopPlayback();
  ASSERT_TRUE(rig.area->HandleCommand(ui::kIdSilence));
  rig.Settle();
  EXPECT_EQ(rig.Renders(), 2);
  EXPECT_NE(rig.Status().find("降噪已就绪（渲染 "), std::string::npos);

  // Going away while the device reads a cached copy stops the device first.
  rig.area->HandleCommand(ui::kIdPlay);
  ASSERT_TRUE(rig.PlayingCacheCopy());
  rig.denoise.reset();
  EXPECT_FALSE(rig.playback.Running());
}

TEST(DenoiseController, LevelsAtCapacityOneAndDuringARender) {
  DenoiseRig rig;
  rig.host.memory = 150000;  // room for one 1 s copy only: every level switch evicts the previous copy
  rig.Load(1.0);
  rig.denoise->Toggle();
  rig.Settle();
  EXPECT_EQ(rig.denoise->Cache().Capacity(), 1);
  rig.hold = true;
  rig.denoise->SetLevel(DenoiseLevelKind::Audition, 0);
  EXPECT_EQ(rig.Status(),
            "降噪等级已设为「激进」：正在按新档位重新渲染，完成后空格听到的就是新效果，正在播的话会自动切过去。");
  // Changed again while that render runs: its result is outdated.
  rig.denoise->SetLevel(DenoiseLevelKind::Audition, 2);
  EXPECT_EQ(rig.Status(), "降噪等级已设为「轻柔」—— 等上一轮渲染结束后自动按新档重跑。");
  rig.hold = false;
  rig.Settle();
  EXPECT_EQ(rig.Status(), "降噪渲染完成，但当前设置或内容已变，正在按最新设置重新渲染…");
  rig.Settle();
  EXPECT_EQ(rig.denoise->Cache().Slot(0).level, 2);
  rig.denoise->SetLevel(DenoiseLevelKind::Audition, 1);  // evicted: renders again
  rig.Settle();
  EXPECT_EQ(rig.Renders(), 4);
  EXPECT_EQ(rig.denoise->Cache().Slot(0).level, 1);

  struct {
    DenoiseLevelKind kind;
    int level;
    bool on;
    const char* text;
  } const texts[] = {
      {DenoiseLevelKind::Selection, 0, true,
       "选区降噪的降噪等级已设为「激进」，下次点「选区降噪」时按这个档跑；试听用的档位不受影响。"},
      {DenoiseLevelKind::Audition, 1, false, nullptr},  // unchanged: ignored
      {DenoiseLevelKind::Audition, 3, false, nullptr},  // out of range: ignored
      {DenoiseLevelKind::Audition, 2, false,
       "降噪等级已设为「轻柔」。开关打开后按这个档位渲染（选区降噪与导出有各自独立的档位，在对应按钮的箭头菜单里调）。"},
  };
  for (const auto& t : texts) {
    if (rig.settings.denoise != t.on) rig.denoise->Toggle();
    rig.window.port.Status("-");
    rig.denoise->SetLevel(t.kind, t.level);
    EXPECT_EQ(rig.Status(), t.text ? t.text : "-");
  }
  EXPECT_EQ(rig.settings.selDenoiseLevel, 0);
  EXPECT_EQ(rig.settings.denoiseLevel, 2);
}

TEST(DenoiseController, FailingPluginIsRenderedOnceAndAuditionPlaysTheOriginal) {
  DenoiseRig rig;
  ScratchDir dir;
  rig.module = dir / (std::string("VeskTest Voice De-noise") + BundleModuleSuffix());
  WriteBytes(rig.module, std::vector<uint8_t>(256, 'x'));  // not a loadable module
  rig.Load(0.5);
  rig.denoise->Toggle();
  rig.Settle();
  EXPECT_EQ(rig.Status().rfind("后台降噪渲染失败：", 0), 0u) << rig.Status();
  for (int i = 0; i < 20; ++i) rig.denoise->Tick();
  EXPECT_FALSE(rig.denoise->Rendering());
  EXPECT_EQ(rig.Renders(), 1);
  rig.area->HandleCommand(ui::kIdPlay);
  EXPECT_FALSE(rig.PlayingCacheCopy());
  EXPECT_EQ(rig.Status(), "降噪开着但渲染失败了，这次播的是原声（见之前的状态栏提示）。");
}

TEST(DenoiseController, SelectionDenoiseWarmsUpCrossFadesAndUndoes) {
  // The last selection is longer than a spill limit of 1 MiB: rendered a
  // stretch at a time.
  struct {
    uint64_t start, frames;
    const char* preRoll;
    int spillMiB;
  } const cases[] = {{32000, 16000, "含 2.0 秒预卷预热", 0},
                     {128000, 16000, "含 5.0 秒预卷预热", 0},
                     {1000, 2, "含 0.1 秒预卷预热", 0},
                     {16000, 144000, "含 1.0 秒预卷预热", 1}};
  for (const auto& c : cases) {
    DenoiseRig rig;
    rig.settings.spillThresholdMiB = c.spillMiB;
    rig.Load(10.0);
    const std::vector<float> before = rig.doc.CopySamples();
    rig.doc.SetSelection(c.start, c.start + c.frames);
    rig.denoise->DenoiseSelection();
    EXPECT_NE(rig.Status().find(c.preRoll), std::string::npos) << rig.Status();
    EXPECT_EQ(rig.Status().rfind("选区已降噪（档位：均衡，耗时 ", 0), 0u);
    const std::vector<float>& after = rig.doc.CopySamples();
    const size_t a = c.start * 2, b = (c.start + c.frames) * 2;
    // Outside untouched; the first and last frames are the original (fade t = 0).
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + a, after.begin()));
    EXPECT_TRUE(std::equal(before.begin() + b, before.end(), after.begin() + b));
    EXPECT_EQ(after[a], before[a]);
    EXPECT_EQ(after[b - 1], before[b - 1]);
    if (c.frames > 2) {
      EXPECT_LT(RmsOfRange(after, a + 400, b - 400), 0.7 * RmsOfRange(before, a + 400, b - 400));
    }
    ASSERT_TRUE(rig.area->HandleCommand(ui::kIdUndo));
    EXPECT_EQ(rig.doc.CopySamples(), before);
  }
  DenoiseRig rig;
  rig.denoise->DenoiseSelection();
  EXPECT_EQ(rig.Status(), "剪辑区里还没有内容。");
  rig.Load(1.0);
  rig.denoise->DenoiseSelection();
  EXPECT_EQ(rig.Status(), "请先在波形上拖出选区，再点「选区降噪」。");
}

// A document past the spill limit (1 MiB here) is rendered a stretch at a
// time into a temporary file; audition plays that copy and the export's own
// render goes the same way.
TEST(DenoiseController, ALongDocumentIsRenderedIntoAFileThatAuditionPlays) {
  DenoiseRig rig;
  rig.settings.spillThresholdMiB = 1;
  rig.Load(20.0);
  rig.denoise->Toggle();
  rig.Settle();
  const SharedSamples copy = rig.denoise->Cache().Slot(0).samples;
  ASSERT_NE(copy, nullptr) << rig.Status();
  ASSERT_EQ(copy->Frames(), rig.doc.Frames());
  bool inFile = false;
  copy->ForEachStorage([&](const SampleStorage* storage) { inFile = inFile || storage->File() != nullptr; });
  EXPECT_TRUE(inFile);
  const std::vector<float> before = rig.doc.CopySamples(), denoised = All(*copy);
  EXPECT_LT(RmsOfRange(denoised, 0, denoised.size()), 0.7 * RmsOfRange(before, 0, before.size()));
  ASSERT_TRUE(rig.area->HandleCommand(ui::kIdPlay));
  EXPECT_TRUE(rig.PlayingCacheCopy());
  rig.playback.Advance(48000);
  EXPECT_EQ(rig.playback.Position(), 48000u);
  bool ok = false;
  EXPECT_EQ(RunExport(rig.denoise->ForExport(ui::ExportKind::Audio, "/out/x.wav"), rig.doc, 16000, ok), denoised);
  EXPECT_TRUE(ok);
}

// No plug-in installed: the built-in engine renders in the background, plays
// at the same frame, cleans a selection, follows a marked noise sample and
// renders the export's own copy; all of the same length as the document.
TEST(DenoiseController, BuiltInEngineWorksEveryPathWithoutAPlugin) {
  if (!BuiltinDenoiseSupported()) GTEST_SKIP() << "built without FFmpeg's filter library (the sanitizer build)";
  DenoiseRig rig;
  rig.missing = true;
  rig.builtin = true;
  rig.denoise->Discover();
  rig.Load(3.0);
  rig.denoise->Toggle();
  EXPECT_EQ(rig.denoise->ButtonLabel(), "降噪 开");
  EXPECT_EQ(rig.denoise->Tooltip().rfind("降噪（试听/整段）：内置降噪\n", 0), 0u);
  rig.Settle();
  EXPECT_EQ(rig.Status().rfind("降噪已就绪（渲染 ", 0), 0u) << rig.Status();
  EXPECT_NE(rig.Status().find("噪声样本：自动取最安静的 2 秒（0:0"), std::string::npos) << rig.Status();
  const std::vector<float> first = All(*rig.denoise->Cache().Slot(0).samples);
  ASSERT_EQ(first.size(), rig.doc.CopySamples().size());
  EXPECT_LT(RmsOfRange(first, 0, first.size()), 0.5 * RmsOfRange(rig.doc.CopySamples(), 0, first.size()));
  ASSERT_TRUE(rig.area->HandleCommand(ui::kIdPlay));
  EXPECT_TRUE(rig.PlayingCacheCopy());
  rig.area->StopPlayback();

  // A marked noise sample: too short is refused, a usable one re-renders.
  rig.doc.SetSelection(0, 3000);
  rig.denoise->SetNoiseSampleFromSelection();
  EXPECT_EQ(rig.Status(), "噪声样本至少要 0.25 秒，请把选区拉长一点。");
  rig.doc.SetSelection(0, 8000);
  rig.denoise->SetNoiseSampleFromSelection();
  EXPECT_EQ(rig.Status(), "已把 0:00.0–0:00.5（0.5 秒）设为噪声样本，内置降噪正按它重新渲染。");
  rig.Settle();
  EXPECT_NE(rig.Status().find("噪声样本：选定的 0:00.0–0:00.5"), std::string::npos) << rig.Status();
  EXPECT_EQ(rig.Renders(), 2);

  // Selection denoise changes only the selection, undoably.
  rig.denoise->Toggle();  // off: the selection command needs no background render
  const std::vector<float> before = rig.doc.CopySamples();
  rig.doc.SetSelection(16000, 32000);
  rig.denoise->DenoiseSelection();
  EXPECT_EQ(rig.Status().rfind("选区已降噪（档位：均衡", 0), 0u) << rig.Status();
  ASSERT_EQ(rig.doc.CopySamples().size(), before.size());
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 32000, rig.doc.CopySamples().begin()));
  EXPECT_LT(RmsOfRange(rig.doc.CopySamples(), 40000, 56000), 0.5 * RmsOfRange(before, 40000, 56000));
  ASSERT_TRUE(rig.area->HandleCommand(ui::kIdUndo));
  EXPECT_TRUE(rig.doc.CopySamples() == before);

  // The export renders its own copy at the export's rate.
  rig.denoise->Toggle();
  rig.Settle();
  const ui::ExportDenoise d = rig.denoise->ForExport(ui::ExportKind::Audio, "/out/x.wav");
  ASSERT_TRUE(d.run);
  EXPECT_TRUE(rig.view.boxes.empty());
  bool ok = false;
  const std::vector<float> copy = RunExport(d, rig.doc, 16000, ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(copy.size(), before.size());
  EXPECT_EQ(d.stage, "正在跑降噪（内置降噪）…");
  EXPECT_EQ(d.resultNoteAfterRun(), "，已降噪（内置降噪·均衡）");
}

// The engine items of the denoise menu and switching between the engines.
TEST(DenoiseController, EngineChoiceBetweenPluginAndBuiltIn) {
  if (!BuiltinDenoiseSupported()) GTEST_SKIP() << "built without FFmpeg's filter library (the sanitizer build)";
  std::vector<ui::MenuItem> menu;
  ui::AppendDenoiseEngineItems(menu, true, false, "VeskTest Voice De-noise");
  ASSERT_EQ(menu.size(), 5u);
  EXPECT_EQ(menu[1].text, "引擎：内置降噪");
  EXPECT_FALSE(menu[1].checked);
  EXPECT_EQ(menu[2].text, "引擎：VeskTest Voice De-noise");
  EXPECT_TRUE(menu[2].checked);
  EXPECT_EQ(menu[4].id, ui::kMenuNoiseSample);
  menu.clear();
  ui::AppendDenoiseEngineItems(menu, false, false, "");  // a build without either
  EXPECT_TRUE(menu.empty());

  DenoiseRig rig;
  rig.Load(1.0);
  EXPECT_EQ(rig.denoise->Engine().displayName, "VeskTest Voice De-noise");
  rig.denoise->SetBuiltinEngine(true);
  EXPECT_TRUE(rig.settings.denoiseBuiltin);
  EXPECT_EQ(rig.Status(), "降噪引擎已换成「内置降噪」。");
  rig.denoise->Discover();  // the choice outlives a new discovery
  EXPECT_TRUE(rig.denoise->Engine().builtin);
  rig.denoise->SetBuiltinEngine(false);
  EXPECT_EQ(rig.denoise->Engine().displayName, "VeskTest Voice De-noise");
  rig.missing = true;
  rig.builtin = true;
  rig.denoise->Discover();
  rig.denoise->SetBuiltinEngine(false);
  EXPECT_EQ(rig.Status(), "没检测到降噪插件，继续用内置降噪。");
  EXPECT_TRUE(rig.denoise->Engine().builtin);
}

// "在独立进程里运行插件（更稳）": on by default once the module failed a
// trial run, then the user's saved choice; never offered for a 32-bit one.
TEST(DenoiseController, IsolationItemFollowsTheModulesTrialsAndTheSavedChoice) {
  DenoiseRig rig;
  ScratchDir dir;
  rig.probeBook = dir / "plugin-probes.txt";
  rig.denoise->Discover();
  EXPECT_EQ(rig.denoise->IsolatedMenuState(), 0);
  ModuleStamp stamp;
  ASSERT_TRUE(ReadModuleStamp(rig.module, stamp));
  WriteText(rig.probeBook, FormatProbeRecords({{rig.module, stamp, ProbeOutcome::Passed, "", true}}));
  ASSERT_EQ(rig.denoise->IsolatedMenuState(), 1);
  std::vector<ui::MenuItem> menu;
  ui::AppendDenoiseEngineItems(menu, false, false, "VeskTest Voice De-noise", rig.denoise->IsolatedMenuState());
  ASSERT_EQ(menu.size(), 3u);
  EXPECT_EQ(menu[2].id, ui::kMenuDenoiseIsolated);
  EXPECT_EQ(menu[2].text, "在独立进程里运行插件（更稳）");
  EXPECT_TRUE(menu[2].checked);

  struct {
    int settingAfter;
    int stateAfter;
  } const flips[] = {{0, 0}, {1, 1}, {0, 0}};
  for (const auto& f : flips) {
    rig.denoise->ToggleIsolated();
    EXPECT_EQ(rig.settings.denoiseIsolated, f.settingAfter);
    EXPECT_EQ(rig.denoise->Engine().isolateChoice, f.settingAfter);
    EXPECT_EQ(rig.denoise->IsolatedMenuState(), f.stateAfter);
  }
  rig.denoise->Discover();  // the choice outlives a new discovery
  EXPECT_EQ(rig.denoise->Engine().isolateChoice, 0);
  rig.noHelper = true;
  rig.denoise->Discover();
  EXPECT_EQ(rig.denoise->IsolatedMenuState(), -1);
}

TEST(DenoiseController, SwitchAndSelectionTextsWithoutAPluginOrContent) {
  struct {
    bool missing;
    double seconds;
    const char* on;
    const char* selection;
  } const cases[] = {
      {false, 0, "降噪已开启：录完或导入后自动生效，导出和空格试听都会过一遍降噪（引擎：VeskTest Voice De-noise）",
       "剪辑区里还没有内容。"},
      {true, 0, "降噪已开启，但没检测到 RX Voice De-noise 插件，暂时降不了 —— 插件装好后把开关关再开即可识别；导出时也可选「无降噪导出」",
       "剪辑区里还没有内容。"},
      {true, 0.2, "降噪已开启，但没检测到 RX Voice De-noise —— 导出时可选「无降噪导出」或取消。插件装到系统的 VST3 目录即可（装好后把开关关再开即可重新识别）。",
       "没检测到 RX Voice De-noise：插件要装在系统的 VST3 目录里（Program Files 或 Program Files (x86) 下的 Common Files\\VST3）。"},
      {false, 0.2, nullptr, "后台整段降噪还在渲染 —— 等它跑完再点，或先关掉降噪开关。"},
  };
  for (const auto& c : cases) {
    DenoiseRig rig;
    rig.missing = c.missing;
    if (c.seconds > 0) rig.Load(c.seconds);
    rig.hold = true;
    rig.denoise->Toggle();
    if (c.on) {
      EXPECT_EQ(rig.Status(), c.on);
    }
    EXPECT_FALSE(rig.denoise->Rendering() && c.missing);
    rig.doc.SetSelection(0, rig.doc.Frames());
    rig.denoise->DenoiseSelection();
    EXPECT_EQ(rig.Status(), c.selection);
    rig.hold = false;
    if (rig.denoise->Rendering()) rig.Settle();
    rig.denoise->Toggle();
    EXPECT_EQ(rig.Status(),
              "降噪已关闭：导出按原样输出，空格播的也是原声。降噪缓存已保留 —— 内容没变的话，重新打开立刻生效。");
    EXPECT_EQ(rig.denoise->ButtonLabel(), "降噪 关");
  }
}

TEST(DenoiseController, ExportAsksWhenThePluginIsMissingAndRendersItsOwnCopyOtherwise) {
  // The video questions (the WAV/MP3 ones are checked through the application controller).
  const std::string videoMissing =
      "降噪开关是打开的，但程序没检测到 RX 的 Voice De-noise 插件，视频音轨做不了降噪。\n\n· 按「是(Y)」：无降噪导出 —— 音轨按剪辑结果原样输出（不降噪）；\n· 按「否(N)」：取消导出，装好插件再导。\n\n插件要装在系统的 VST3 目录里。";
  const std::string videoNoHelper =
      "降噪开关是打开的，选中的是 32 位插件「VeskTest Voice De-noise（32 位）」，但 32 位辅助程序没能就位（主程序同目录没有，内嵌的那份也释放失败），视频音轨做不了降噪。\n\n· 按「是(Y)」：无降噪导出 —— 音轨按剪辑结果原样输出（不降噪）；\n· 按「否(N)」：取消导出，修好辅助程序再导。\n\n检查一下磁盘空间、以及 %LOCALAPPDATA% 能不能写，然后再导。";
  struct {
    ui::ExportKind kind;
    ui::BoxAnswer answer;
    bool cancel;
    const char* status;
    bool noHelper = false;
    std::string text = {};
  } const cases[] = {
      {ui::ExportKind::Audio, ui::BoxAnswer::Yes, false, "降噪插件不可用 —— 按原样（无降噪）导出…"},
      {ui::ExportKind::Audio, ui::BoxAnswer::No, true, "降噪开着但没检测到 RX Voice De-noise —— 已取消导出。"},
      {ui::ExportKind::Video, ui::BoxAnswer::Yes, false, "降噪插件不可用 —— 视频音轨按原样（无降噪）导出…", false,
       videoMissing},
      {ui::ExportKind::Video, ui::BoxAnswer::No, true, "降噪开着但没检测到 RX Voice De-noise —— 已取消视频导出。"},
      {ui::ExportKind::Video, ui::BoxAnswer::Yes, false, "降噪插件不可用 —— 视频音轨按原样（无降噪）导出…", true,
       videoNoHelper},
      {ui::ExportKind::Video, ui::BoxAnswer::No, true, "降噪开着，但 32 位辅助程序没能就位 —— 已取消视频导出。", true},
  };
  for (const auto& c : cases) {
    DenoiseRig rig;
    rig.missing = !c.noHelper;
    rig.noHelper = c.noHelper;
    rig.Load(0.2);
    rig.denoise->Toggle();
    EXPECT_EQ(rig.denoise->ButtonLabel(), "降噪 缺");
    EXPECT_EQ(rig.denoise->Tooltip().rfind(c.noHelper ? "降噪：VeskTest Voice De-noise（32 位）\n但 32 位辅助程序没能就位"
                                                      : "降噪：未检测到 RX Voice De-noise",
                                           0),
              0u);
    rig.view.boxAnswers = {c.answer};
    const ui::ExportDenoise d = rig.denoise->ForExport(c.kind, "/out/x.wav");
    ASSERT_EQ(rig.view.boxes.size(), 1u);
    EXPECT_EQ(rig.view.boxes[0].title, c.noHelper ? "降噪辅助程序没就位" : "没检测到降噪插件");
    if (!c.text.empty()) {
      EXPECT_EQ(rig.view.boxes[0].text, c.text);
    }
    EXPECT_EQ(d.cancel, c.cancel);
    EXPECT_FALSE(d.run);
    EXPECT_EQ(rig.Status(), c.status);
    const char* note = c.kind == ui::ExportKind::Video ? " — 音轨未降噪（插件不可用，选了无降噪导出）"
                                                       : "，未降噪（插件不可用，选了无降噪导出）";
    EXPECT_EQ(d.resultNote, c.cancel ? "" : note);
  }
  DenoiseRig rig;
  rig.Load(0.5);
  EXPECT_FALSE(rig.denoise->ForExport(ui::ExportKind::Audio, "/out/x.wav").run);  // switch off
  rig.denoise->Toggle();
  const ui::ExportDenoise d = rig.denoise->ForExport(ui::ExportKind::Audio, "/out/x.wav");
  EXPECT_FALSE(rig.denoise->Rendering());  // waited for the background render
  ASSERT_TRUE(d.run);
  bool ok = false;
  const std::vector<float> copy = RunExport(d, rig.doc, 16000, ok);
  ASSERT_TRUE(ok);
  EXPECT_LT(RmsOfRange(copy, 0, copy.size()), RmsOfRange(rig.doc.CopySamples(), 0, copy.size()));
  EXPECT_EQ(d.stage, "正在跑降噪（VeskTest Voice De-noise）…");
  EXPECT_EQ(d.resultNoteAfterRun().rfind("，已降噪（", 0), 0u);
  rig.Settle();
}

// What a level change says with the switch on: before any content, while a
// render runs under the playing original, and for a level rendered before.
TEST(DenoiseController, LevelChangesSayWhetherTheyRenderOrReuse) {
  DenoiseRig rig;
  rig.denoise->Toggle();
  rig.hold = true;
  const auto level = [&](int l) {
    rig.denoise->SetLevel(DenoiseLevelKind::Audition, l);
    return rig.Status();
  };
  EXPECT_EQ(level(0), "降噪等级已设为「激进」。");
  rig.Load(1.0);
  rig.denoise->Tick();
  rig.area->HandleCommand(ui::kIdPlay);
  EXPECT_EQ(level(1), "降噪等级已设为「均衡」：正在后台渲染新档，期间先听原声，渲染完自动切过去（位置不变）。");
  rig.hold = false;
  rig.Settle();
  rig.Settle();
  EXPECT_EQ(rig.Status(), "降噪渲染完成 —— 正在播放的已切到降噪后的（位置不变）。");
  EXPECT_EQ(level(0), "降噪等级已设为「激进」：该档之前渲过，已同帧切过去听（位置不变）。");
  rig.area->StopPlayback();
  EXPECT_EQ(level(1), "降噪等级已设为「均衡」：该档之前渲过，缓存直接复用 —— 空格立刻听到的就是新档效果。");
}

TEST(DenoiseController, NoRoomForTheCopyIsSaidOnceAndALevelChangeKeepsIt) {
  const std::string noMemory =
      "内存不够给降噪缓存腾地方了 —— 请关掉一些程序后再试；导出不受影响（导出走自己的临时副本）。";
  DenoiseRig rig;
  rig.host.memory = 1000;
  rig.Load(1.0);
  rig.denoise->Toggle();
  rig.denoise->Tick();
  EXPECT_EQ(rig.Status(), noMemory);
  const size_t shown = rig.view.statusHistory.size();
  for (int i = 0; i < 3; ++i) rig.denoise->Tick();
  EXPECT_EQ(rig.view.statusHistory.size(), shown);
  EXPECT_FALSE(rig.denoise->Rendering());
  rig.denoise->SetLevel(DenoiseLevelKind::Audition, 2);
  EXPECT_EQ(rig.Status(), noMemory);
}

TEST(DenoiseController, SwitchAndSelectionTextsWithoutThe32BitHelper) {
  struct {
    double seconds;
    const char* on;
    const char* selection;
  } const cases[] = {
      {0, "降噪已开启，但 32 位辅助程序没能就位，暂时降不了 —— 导出时可选「无降噪导出」", "剪辑区里还没有内容。"},
      {0.2,
       "降噪已开启，选中的是 VeskTest Voice De-noise（32 位），但 32 位辅助程序没能就位（内嵌的那份释放失败） —— 导出时可选「无降噪导出」或取消。",
       "VeskTest Voice De-noise（32 位） 是 32 位插件，但 32 位辅助程序没能就位（内嵌的那份释放失败），选区降噪用不了。"},
  };
  for (const auto& c : cases) {
    DenoiseRig rig;
    rig.noHelper = true;
    if (c.seconds > 0) rig.Load(c.seconds);
    rig.denoise->Toggle();
    EXPECT_EQ(rig.Status(), c.on);
    EXPECT_EQ(rig.denoise->ButtonLabel(), "降噪 缺");
    rig.doc.SetSelection(0, rig.doc.Frames());
    rig.denoise->DenoiseSelection();
    EXPECT_EQ(rig.Status(), c.selection);
  }
}

TEST(DenoiseController, SelectionDenoiseRunsAtItsOwnLevel) {
  DenoiseRig rig;
  rig.Load(2.0);
  rig.denoise->SetLevel(DenoiseLevelKind::Audition, 0);
  rig.denoise->SetLevel(DenoiseLevelKind::Selection, 2);
  rig.doc.SetSelection(8000, 24000);
  rig.denoise->DenoiseSelection();
  EXPECT_EQ(rig.Status().rfind("选区已降噪（档位：轻柔，耗时 ", 0), 0u) << rig.Status();
  const auto& shown = rig.view.statusHistory;
  EXPECT_EQ(std::count(shown.begin(), shown.end(), "正在对选区跑降噪（VeskTest Voice De-noise·轻柔）…"), 1);
}

}  // namespace
}  // namespace vesk::test
