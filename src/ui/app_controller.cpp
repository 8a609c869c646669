#include "ui/app_controller.h"

#include <algorithm>
#include <system_error>

#include "audio/audio_backend.h"
#include "audio/capture_stream.h"
#include "audio/device_catalogue.h"
#include "audio/playback_stream.h"
#include "core/app_log.h"
#include "core/diagnostics.h"
#include "core/settings_store.h"
#include "core/version.h"
#include "denoise/denoise_engine.h"
#include "doc/audio_doc.h"
#include "media/wav_recovery.h"
#include "platform/folders.h"
#include "platform/memory.h"
#include "platform/text.h"
#include "record/recording_session.h"
#include "ui/diagnostics_flow.h"
#include "ui/recording_flow.h"
#include "ui/app_parts.h"
#include "ui/control_ids.h"
#include "ui/denoise_controller.h"
#include "ui/edit_area.h"
#include "ui/export_menus.h"
#include "ui/level_flow.h"
#include "ui/preview_controller.h"
#include "ui/window_port.h"
#include "ui/window_state.h"
#include "video/ffmpeg_runner.h"

namespace vesk::ui {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDropExtensions[] = {".wav", ".mp3", ".m4a", ".aac", ".wma", ".flac",
                                           ".ogg", ".opus", ".mp4", ".mov", ".mkv", ".webm"};

std::string Utf8(const fs::path& p) { return PathToUtf8(p); }

}  // namespace

struct AppController::Impl final : AppServices, RecordingHost {
  Impl(AppController& owner, AppParts p, ViewPort& view, Desktop& desktop, AppOptions o)
      : self(owner), parts(std::move(p)), options(std::move(o)), window(view),
        port(view, desktop, [this] { Refresh(); }),
        clock(options.clock != nullptr ? *options.clock : SystemTime()), catalogue(*parts.devices),
        recording({parts.devices.get(), parts.microphone.get(), parts.loopback.get()}, catalogue, owner.settings_, doc,
                  port, *this, clock),
        diagnostics({options.logFile, options.logFolder, options.desktopDir, options.previousRunUnclean}, port) {}

  ~Impl() {
    parts.devices->StopNotifications();
    parts.playback->Stop();
  }

  WindowPort& View() { return port; }
  SettingsState& Settings() { return self.settings_; }
  EditArea& Edit() { return *self.edit_; }

  // ----- settings -------------------------------------------------------
  void SaveNow(const std::optional<MainWindowPlacement>& placement = std::nullopt) {
    SettingsState& s = Settings();
    const DeviceChoice& in = catalogue.Choice(DeviceFlow::Capture);
    const DeviceChoice& out = catalogue.Choice(DeviceFlow::Render);
    s.inDevice = in.pinnedId;
    s.inDeviceName = in.pinnedId.empty() ? std::string() : in.rememberedName;
    s.outDevice = out.pinnedId;
    s.outDeviceName = out.pinnedId.empty() ? std::string() : out.rememberedName;
    vesk::SaveSettings(*store, s, preview ? preview->OpenRect() : std::nullopt, placement);
    ++saves;
  }

  // ----- start-up -------------------------------------------------------
  void Start() {
    if (options.settingsStore != nullptr) {
      store = options.settingsStore;
      if (!store->Loaded()) store->Load();
    } else {
      ownStore = IniStore(options.settingsFile);
      ownStore.Load();
    }
    LoadSettings(*store, options.settingsEnvironment, Settings());
    const SettingsState& s = Settings();
    catalogue.Choice(DeviceFlow::Capture) = {s.inDevice, s.inDeviceName};
    catalogue.Choice(DeviceFlow::Render) = {s.outDevice, s.outDeviceName};
    recording.SetLastRecording(PathFromUtf8(s.lastFile));
    catalogue.Build();

    int repaired = 0;
    if (!options.headless) repaired = RepairUnsealedWavs(s.outputDir);
    if (!options.headless && options.scanPlugins) denoise->Discover();
    if (!options.headless) Edit().RemoveStaleSaveFolders();

    preview->MediaChanged(Edit().PictureFile());

    if (!options.headless) parts.devices->StartNotifications([this] { NotifyDevicesChanged(); });

    std::string status;
    if (repaired > 0)
      status = Format("启动时自动修复了 %d 个上次未正常收尾的录音文件（头部已补全，可正常播放）。", repaired);
    else if (!FlowHasActiveEntry(catalogue.Entries(), DeviceFlow::Capture) &&
             !FlowHasActiveEntry(catalogue.Entries(), DeviceFlow::Render))
      status = "没有找到任何可用的声音设备。请检查「设置 → 系统 → 声音」。";
    else
      status = "就绪。选好声音来源，点「开始录音」。";
    View().Status(status);
  }

  // ----- the window state ------------------------------------------------
  WindowFacts Facts() const {
    WindowFacts f;
    const SettingsState& s = self.settings_;
    recording.Describe(f);
    f.recSource = s.recSource;
    f.channels = s.channels;
    f.formatWav = s.formatWav;
    f.bitrateKbps = s.bitrateKbps;
    f.bitDepth = s.bitDepth;
    f.outputDir = Utf8(s.outputDir);
    const DeviceList& in = catalogue.List(DeviceFlow::Capture);
    const DeviceList& out = catalogue.List(DeviceFlow::Render);
    f.captureItems = in.texts;
    f.captureSelected = in.selected;
    f.renderItems = out.texts;
    f.renderSelected = out.selected;
    self.edit_->Describe(f);
    denoise->Describe(f);
    levels->Describe(f);
    preview->Describe(f);
    f.status = port.StatusText();
    f.statusDetails = port.HasDetails();
    f.wavePaints = port.WavePaints();
    f.meterPaints = port.MeterPaints();
    return f;
  }

  // Brings the computed window state to the screen (after every command,
  // tick and posted task, and before every dialog).
  void Refresh() {
    if (refreshing) return;
    refreshing = true;
    WindowState next = ComputeWindowState(Facts());
    const WindowChanges changes = DiffWindowState(shown ? &*shown : nullptr, next);
    shown = std::move(next);
    if (!changes.Empty()) window.Apply(changes);
    refreshing = false;
  }



  void OnComboChanged(int id, int index) {
    if (index < 0) return;
    SettingsState& s = Settings();
    switch (id) {
      case kIdCaptureDevice:
      case kIdRenderDevice: {
        const DeviceFlow flow = id == kIdCaptureDevice ? DeviceFlow::Capture : DeviceFlow::Render;
        const DeviceList& list = catalogue.List(flow);
        if (size_t(index) >= list.values.size()) return;
        const bool restart = flow == DeviceFlow::Render && Edit().Playing();
        const std::string status = catalogue.Select(flow, list.values[size_t(index)], restart);
        SaveNow();
        if (restart) Edit().RestartPlaybackOnNewDevice();
        View().Status(status);
        return;
      }
      case kIdRecordSource:
        if (index > 2) return;
        s.recSource = RecordSource(index);
        break;
      case kIdChannels:
        s.channels = index == 1 ? 1 : 2;
        break;
      case kIdFormat:
        s.formatWav = index == 1;
        s.bitDepth = s.formatWav ? 24 : 16;
        break;
      case kIdBitrate:
        if (size_t(index) >= std::size(kBitrateItems)) return;
        s.bitrateKbps = kBitrateItems[index];
        break;
      case kIdSampleRate:
        if (size_t(index) >= std::size(kRateItems)) return;
        s.sampleRate = kRateItems[index];
        s.sampleRatePinned = true;
        break;
      case kIdBitDepth:
        if (size_t(index) >= std::size(kDepthItems) || !s.formatWav) return;
        s.bitDepth = kDepthItems[index];
        break;
      default:
        return;
    }
    SaveNow();
  }



  // ----- the tick -------------------------------------------------------
  void Tick() {
    // Nothing re-enters the work that runs a progress window.
    if (port.InProgress()) return;
    port.RunPosted();
    recording.Tick();
    if (gate.ShouldRefresh(clock.TickMs(), recording.Recording())) {
      // Servers also report a sink's own state changes (a stream starting or
      // stopping on it): only a real change is shown and said.
      bool changed = false;
      const std::string message = catalogue.Refresh(&changed);
      if (changed || !message.empty()) View().Status(RefreshStatus(message));
    }
    Edit().Tick();
    preview->Tick(Edit().PictureSeconds());
    denoise->Tick();
    levels->Tick();
  }

  void NotifyDevicesChanged() { gate.Notify(clock.TickMs()); }


  // ----- menus ------------------------------------------------------------
  bool FfmpegFound() const { return LocateFfmpeg(PathFromUtf8(self.settings_.ffmpegPath)).found; }

  void PickFfmpeg() {
    const FfmpegLocation found = LocateFfmpeg(PathFromUtf8(Settings().ffmpegPath));
    FileDialogRequest request;
    request.title = "选择 ffmpeg 程序";
    if (found.found) request.folder = found.path.parent_path();
    request.filters = {{"ffmpeg 可执行文件", {}, {FfmpegProgramFileName()}},
                       {"可执行文件", {"exe"}, {}},
                       {"所有文件", {}, {}}};
    fs::path chosen;
    if (!View().PickFile(request, chosen)) return;
    // Only the program itself will do: a look-alike name, a folder or a
    // missing file would make every later export fail, so it is not stored.
    std::error_code ec;
    const bool named = EqualsNoCase(Utf8(chosen.filename()), FfmpegProgramFileName());
    const FfmpegLocation picked = named && fs::is_regular_file(chosen, ec) ? LocateFfmpeg(chosen) : FfmpegLocation{};
    if (!picked.found || picked.path != chosen) {
      View().Status("这个文件用不了（要选 ffmpeg.exe 本身）。");
      return;
    }
    Settings().ffmpegPath = Utf8(chosen);
    SaveNow();
    View().Status("ffmpeg 已指定：" + Utf8(picked.path));
  }


  // ----- log menu ---------------------------------------------------------

  DiagnosticsState Snapshot() {
    const SettingsState& s = Settings();
    DiagnosticsState d;
    d.productTitle = kProductTitle;
    d.version = kVersion;
    d.dpi = View().Dpi();
    d.programDir = options.settingsEnvironment.programDir;
    d.settingsPath = options.settingsFile;
    d.outputDir = s.outputDir;
    d.recSource = s.recSource;
    const DeviceChoice& in = catalogue.Choice(DeviceFlow::Capture);
    const DeviceChoice& out = catalogue.Choice(DeviceFlow::Render);
    d.inDeviceName = in.pinnedId.empty() ? std::string() : in.rememberedName;
    d.inDeviceId = in.pinnedId;
    d.outDeviceName = out.pinnedId.empty() ? std::string() : out.rememberedName;
    d.outDeviceId = out.pinnedId;
    d.recordRate = recording.Recording() ? recording.Session().OutputFormat().sampleRate
                                         : unsigned(recording.ShownRate());
    d.recordBits = s.formatWav ? unsigned(s.bitDepth) : 16;
    d.recordChannels = unsigned(s.channels);
    d.docEmpty = doc.Frames() == 0;
    d.docFrames = doc.Frames();
    d.docRate = doc.Format().sampleRate;
    d.docSourceBits = doc.SourceBits();
    d.docChannels = doc.Format().channels;
    d.docHasCuts = doc.HasCuts();
    d.denoiseOn = s.denoise;
    d.denoiseLevel = s.denoiseLevel;
    d.selDenoiseLevel = s.selDenoiseLevel;
    const DenoiseEngine& engine = denoise->Engine();
    d.engineName = engine.displayName;
    d.pluginStatus = engine.modulePath.empty() ? DenoisePluginStatus::NotFound
                     : denoise->Usable()       ? DenoisePluginStatus::Usable
                                               : DenoisePluginStatus::FoundUnusable;
    d.pluginPath = Utf8(engine.modulePath);
    d.recording = recording.Recording();
    for (const CaptureStream* stream : {parts.microphone.get(), parts.loopback.get()})
      if (stream->Running()) d.droppedFrames += stream->OverflowFrames();
    return d;
  }


  // ----- commands -----------------------------------------------------------
  void OnCommand(int id) {
    bool selection = false;
    int level = 0;
    if (DenoiseLevelItem(id, selection, level)) {
      denoise->SetLevel(selection ? DenoiseLevelKind::Selection : DenoiseLevelKind::Audition, level);
      return;
    }
    const ExportOptionKind kind = ApplyExportOption(id, lastMenuButton, Settings());
    if (kind != ExportOptionKind::None) {
      SaveNow();
      View().Status(ExportOptionStatus(kind, Settings()));
      return;
    }
    switch (id) {
      case kIdRecord:
        recording.Toggle();
        return;
      case kIdPause:
        recording.TogglePause();
        return;
      case kIdChangeDir:
        recording.ChangeFolder();
        return;
      case kIdOpenLocation:
        recording.OpenLocation();
        return;
      case kIdSoundSettings: {
        std::string error;
        if (!View().Shell().OpenSoundSettings(error))
          View().Status(error.empty() ? std::string("打不开系统的声音设置。") : error);
        return;
      }
      case kIdWebSite:
        if (!View().Shell().OpenUrl(kWebSiteUrl))
          View().Status(std::string("打不开浏览器，请手动访问：") + kWebSiteUrl);
        return;
      case kIdDonate:
        View().Shell().ShowDonationWindow();
        return;
      case kIdDenoise:
        denoise->Toggle();
        return;
      case kIdDenoiseSelection:
        denoise->DenoiseSelection();
        return;
      case kMenuDenoiseEngineBuiltin:
      case kMenuDenoiseEnginePlugin:
        denoise->SetBuiltinEngine(id == kMenuDenoiseEngineBuiltin);
        return;
      case kMenuDenoiseIsolated:
        denoise->ToggleIsolated();
        return;
      case kMenuNoiseSample:
        denoise->SetNoiseSampleFromSelection();
        return;
      case kIdPreview:
        preview->Toggle(Edit().PictureSeconds());
        return;
      case kMenuPickFfmpeg:
        PickFfmpeg();
        return;
      case kMenuOpenLogFolder:
        diagnostics.OpenLogFolder();
        return;
      case kMenuExportDiagnostics:
        diagnostics.Export(BuildEnvironmentSnapshot(Snapshot()));
        return;
      default:
        if (!levels->HandleCommand(id)) Edit().HandleCommand(id);
        return;
    }
  }

  // ----- drops and closing --------------------------------------------------
  void OnDropFiles(const std::vector<fs::path>& files) {
    if (files.empty()) return;
    const fs::path& first = files.front();
    if (files.size() > 1) View().Status("一次只载入第一个文件（拖了多个）。");
    const std::string ext = AsciiLower(Utf8(first.extension()));
    if (std::find(std::begin(kDropExtensions), std::end(kDropExtensions), ext) == std::end(kDropExtensions)) {
      View().Status("拖进来的不是认识的音频/视频格式（wav/mp3/m4a/aac/wma/flac/ogg/opus/mp4/mov/mkv/webm）。");
      return;
    }
    OpenReplacing(first, "正在录音，先按「■ 停止录音」再拖入文件。");
  }

  void OpenHandedOver(const fs::path& file) {
    AppLog("[open] 再次启动交来文件：%s", Utf8(file).c_str());
    OpenReplacing(file, "正在录音，先按「■ 停止录音」再打开文件。");
  }

  // Opens `file` into the edit area; audio already there is replaced only
  // when the user agrees.
  void OpenReplacing(const fs::path& file, const char* whileRecording) {
    if (recording.Recording()) {
      View().Status(whileRecording);
      return;
    }
    if (doc.Frames() > 0) {
      const bool unexported = doc.IsModified();
      std::string text = "剪辑区里已经有音频，载入「" + Utf8(file.filename()) + "」会把当前内容替换掉。";
      if (unexported) text += "\n\n现在这些改动还没导出，替换之后就找不回来了（这一步进不了撤销）。";
      text += "\n\n确定要载入吗？";
      // Unexported work is lost by a careless Enter only when Yes is the default.
      const BoxAnswer answer = View().ShowBox(BoxKind::Question, "会替换剪辑区里的内容", text, BoxButtons::YesNo,
                                              unexported ? BoxAnswer::No : BoxAnswer::Yes);
      if (answer != BoxAnswer::Yes) {
        View().Status("已取消载入，剪辑区里的内容没动。");
        return;
      }
    }
    Edit().OpenForEdit(file);
  }

  bool QueryClose() {
    const std::string title = AppController::WindowTitle();
    if (recording.Recording()) {
      if (View().ShowBox(BoxKind::Question, title, "正在录音，停止并退出？", BoxButtons::YesNo, BoxAnswer::No) !=
          BoxAnswer::Yes)
        return false;
      recording.Stop();
    }
    const bool hasAudio = doc.Frames() > 0;
    const bool unexported = hasAudio && doc.IsModified();
    const bool pendingDenoise = Settings().denoise && hasAudio;
    if (!unexported && !pendingDenoise) return true;
    const std::string source = Utf8(doc.SourcePath());
    std::string text;
    if (!unexported) {
      text = "降噪开关是开着的，降噪后的结果还没有导出。";
      if (!source.empty()) text += "\n降噪要到导出时才应用，源文件「" + source + "」不受影响。";
    } else {
      if (!source.empty() && doc.SourcePath() == recording.LastRecording()) {
        text = "你的录音已保存到：\n" + source + "\n\n剪辑区的编辑结果还没导出，退出后会丢失（录音文件不受影响）。";
      } else {
        text = "剪辑区有未导出的编辑结果，退出后会丢失。";
        if (!source.empty()) text += "\n源文件「" + source + "」不受影响。";
      }
      if (pendingDenoise) text += "\n\n降噪开关也是开着的，降噪结果同样没导出。";
    }
    text += "\n\n确定要退出吗？";
    return View().ShowBox(BoxKind::Question, title, text, BoxButtons::YesNo, BoxAnswer::No) == BoxAnswer::Yes;
  }

  void Shutdown(const std::optional<MainWindowPlacement>& placement) {
    parts.devices->StopNotifications();
    // A session that ends while recording (log-off) keeps the file; there is
    // no edit area to load it into any more.
    if (recording.Recording()) recording.Stop(false);
    Edit().StopPlayback();
    parts.playback->Stop();
    SaveNow(placement);  // with PreviewRect while the preview is open
    preview->Shutdown();
  }

  // ----- what the parts ask of the controller (AppServices) -------------
  void SaveSettings() override { SaveNow(); }
  bool Recording() const override { return recording.Recording(); }
  bool RecordingPaused() const override { return recording.Paused(); }
  bool FreeMemory(uint64_t& bytes) const override {
    return options.freeMemory ? options.freeMemory(bytes) : AvailablePhysicalMemory(bytes);
  }
  void DocumentChanged(DocumentChange change) override {
    if (change == DocumentChange::Replaced) Edit().OnDocumentChanged(ViewReset::KeepZoom);
    if (preview) preview->MediaChanged(Edit().PictureFile());
  }
  bool Playing() const override { return self.edit_->Playing(); }
  void StopPlayback() override { Edit().StopPlayback(); }

  // ----- what the recording flow asks (RecordingHost) -------------------
  void RecordingStarted(PlayHeadServo& servo, uint32_t rate, int channels) override {
    Edit().OnRecordingStarted();
    Edit().SetLiveSource(&servo, rate, channels);
  }
  void RecordingEnded(bool loaded) override {
    Edit().SetLiveSource(nullptr, 0, 0);
    if (loaded) Edit().OnRecordingLoaded();
  }
  PlaybackBuffer PlaybackSource() override { return denoise->PlaybackBufferForAudition(); }
  void PlaybackSourceChanged() override { Edit().PlaybackBufferChanged(); }
  ExportDenoise ExportDenoiseStep(ExportKind kind, const fs::path& output) override {
    return denoise->ForExport(kind, output);
  }
  std::optional<WindowRect> SavedPreviewRect(const ScreenMetrics& screen) const override {
    return LoadPreviewRect(*store, screen);
  }

  AppController& self;
  AppParts parts;
  AppOptions options;
  ViewPort& window;
  WindowPort port;
  const TimeSource& clock;
  IniStore ownStore;
  IniStore* store = &ownStore;
  AudioDoc doc;
  DeviceCatalogue catalogue;
  DeviceRefreshGate gate;
  RecordingFlow recording;
  DiagnosticsFlow diagnostics;
  std::unique_ptr<DenoiseController> denoise;
  std::unique_ptr<PreviewController> preview;
  std::unique_ptr<LevelFlow> levels;
  int saves = 0;
  int lastMenuButton = 0;  // whose split menu was opened last (the shared rate item)
  // What the view shows (none before the first refresh).
  std::optional<WindowState> shown;
  bool refreshing = false;
};

AppParts CreateSystemAppParts() {
  AppParts parts;
  parts.devices = CreateAudioDeviceBackend();
  parts.microphone = CreateCaptureStream();
  parts.loopback = CreateCaptureStream();
  parts.playback = CreatePlaybackStream();
  return parts;
}

AppController::AppController(AppParts parts, ViewPort& view, Desktop& desktop, AppOptions options)
    : impl_(std::make_unique<Impl>(*this, std::move(parts), view, desktop, std::move(options))) {
  Impl& app = *impl_;
  DenoiseContext denoiseContext;
  denoiseContext.port = &app.port;
  denoiseContext.doc = &app.doc;
  denoiseContext.settings = &settings_;
  denoiseContext.app = &app;
  denoiseContext.discover = app.options.denoiseDiscover;
  denoiseContext.usable = app.options.denoiseUsable;
  denoiseContext.render = app.options.denoiseRender;
  app.denoise = std::make_unique<DenoiseController>(std::move(denoiseContext));
  edit_ = std::make_unique<EditArea>(
      EditContext{&app.port, &app.doc, app.parts.playback.get(), &app.catalogue, &settings_, &app});
  app.preview = std::make_unique<PreviewController>(PreviewContext{&app.port, &app});
  app.levels = std::make_unique<LevelFlow>(LevelContext{&app.port, &app.doc, &settings_, &app});
}

AppController::~AppController() {
  // The denoise controller first (it joins its render and stops audition of
  // its copies), then the edit area, which may still hold the playback stream.
  impl_->denoise.reset();
  impl_->preview.reset();  // its decoding thread ends before the edit area it reads goes
  edit_.reset();
  impl_.reset();
}

void AppController::Start() {
  impl_->Start();
  impl_->Refresh();
}
void AppController::OnCommand(int id) {
  impl_->OnCommand(id);
  impl_->Refresh();
}
void AppController::OnComboChanged(int id, int index) {
  impl_->OnComboChanged(id, index);
  impl_->Refresh();
}
bool AppController::OnKey(const KeyEvent& key) {
  const int command = edit_->KeyCommand(key);
  if (command != 0) impl_->OnCommand(command);
  const bool used = command != 0 || edit_->OnKey(key);
  impl_->Refresh();
  return used;
}
bool AppController::OnMouse(const MouseEvent& event, int viewWidth, int viewHeight) {
  const bool menu = edit_->OnMouse(event, viewWidth, viewHeight);
  impl_->Refresh();
  return menu;
}
void AppController::OnWheel(const WheelEvent& event, int viewWidth, int viewHeight) {
  edit_->OnWheel(event, viewWidth, viewHeight);
  impl_->Refresh();
}
bool AppController::OnWake() { return impl_->port.RunPosted(); }

std::vector<MenuItem> AppController::SplitMenu(int buttonId) {
  impl_->lastMenuButton = buttonId;
  const bool ffmpegFound = buttonId == kIdSaveVideo ? impl_->FfmpegFound() : true;
  std::vector<MenuItem> menu = SplitButtonMenu(buttonId, settings_, ffmpegFound);
  if (buttonId == kIdLoudness) return impl_->levels->Menu();
  if (buttonId == kIdDenoise) {
    const DenoiseEngine& engine = impl_->denoise->Engine();
    AppendDenoiseEngineItems(menu, BuiltinDenoiseSupported(), engine.builtin, PluginDisplayName(engine),
                             impl_->denoise->IsolatedMenuState());
  }
  return menu;
}

std::vector<MenuItem> AppController::ContextMenu() { return impl_->diagnostics.ContextMenu(); }

void AppController::OnTick() {
  impl_->Tick();
  impl_->Refresh();
}
bool AppController::OnStatusClicked() { return impl_->port.OpenDetails(); }
void AppController::NotifyDevicesChanged() { impl_->NotifyDevicesChanged(); }
void AppController::OnDropFiles(const std::vector<std::filesystem::path>& files) {
  impl_->OnDropFiles(files);
  impl_->Refresh();
}
void AppController::OpenFile(const std::filesystem::path& file) {
  impl_->port.PostToUi([this, file] { edit_->OpenForEdit(file); });
}
void AppController::OpenHandedOver(const std::filesystem::path& file) {
  impl_->OpenHandedOver(file);
  impl_->Refresh();
}
bool AppController::QueryClose() {
  const bool close = impl_->QueryClose();
  impl_->Refresh();
  return close;
}
void AppController::Shutdown(const std::optional<MainWindowPlacement>& placement) { impl_->Shutdown(placement); }
std::optional<MainWindowPlacement> AppController::SavedPlacement(const ScreenMetrics& screen) const {
  const std::optional<WindowRect> rect = LoadMainRect(*impl_->store, screen);
  if (!rect) return std::nullopt;
  return MainWindowPlacement{*rect, settings_.mainMaxed};
}
MeterReading AppController::Meter() const { return impl_->recording.Meter(); }
AudioDoc& AppController::Document() { return impl_->doc; }
WindowPort& AppController::Port() { return impl_->port; }
PreviewController& AppController::Preview() { return *impl_->preview; }
bool AppController::IsRecording() const { return impl_->recording.Recording(); }
RecordingSession& AppController::Session() { return impl_->recording.Session(); }
const std::filesystem::path& AppController::LastRecording() const { return impl_->recording.LastRecording(); }
int AppController::SettingsSaveCount() const { return impl_->saves; }
std::string AppController::WindowTitle() { return std::string(kProductTitle) + " " + kVersion; }

}  // namespace vesk::ui
