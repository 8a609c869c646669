// The window application without a window: the controller over the
// in-memory sound system and a scripted view.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>

#include "support/signal.h"
#include "support/wav_builder.h"
#include "core/diagnostics.h"
#include "core/log_fixture.h"
#include "denoise/denoise_engine.h"
#include "denoise/denoise_fixture.h"
#include "denoise/helper_client.h"
#include "doc/audio_doc.h"
#include "media/audio_loader.h"
#include "media/mp3_encoder.h"
#include "record/recording_session.h"
#include "ui/controller_rig.h"
#include "ui/edit_area.h"
#include "ui/edit_rig.h"
#include "ui/export_menus.h"
#include "ui/status_line.h"
#include "video/ffmpeg_runner.h"

namespace vesk {
namespace {

using test::ControllerRig;
using ui::BoxAnswer;
namespace fs = std::filesystem;

// A 44-byte-header WAV whose sizes were never filled in (a crashed recording).
void WriteUnsealedWav(const fs::path& path) {
  std::vector<uint8_t> b;
  test::AppendTag(b, "RIFF");
  test::Append32(b, 0);
  test::AppendTag(b, "WAVE");
  test::AppendTag(b, "fmt ");
  test::Append32(b, 16);
  test::Append16(b, 1);
  test::Append16(b, 2);
  test::Append32(b, 48000);
  test::Append32(b, 48000 * 4);
  test::Append16(b, 4);
  test::Append16(b, 16);
  test::AppendTag(b, "data");
  test::Append32(b, 0);
  b.resize(b.size() + 4800, 0);
  test::WriteBytes(path, b);
}

// One second of a stereo tone taken over as if opened from `path`.
void FillDocument(AudioDoc& doc, const fs::path& path) {
  std::string error;
  ASSERT_TRUE(doc.Adopt(AudioFormat{48000, 2, 16}, test::Sine(48000, 2, 300, 48000), path, error, 16)) << error;
}

void EditDocument(AudioDoc& doc) {
  std::string error;
  doc.SetSelection(1000, 2000);
  ASSERT_TRUE(doc.DeleteSelection(error)) << error;
  ASSERT_TRUE(doc.IsModified());
}

std::map<std::string, std::string> IniPairs(const fs::path& file) {
  IniStore store(file);
  store.Load();
  std::map<std::string, std::string> m;
  for (const auto& [k, v] : store.Pairs()) m.emplace(k, v);
  return m;
}

// ----- start-up ---------------------------------------------------------------

TEST(ControllerStart, StatusFollowsItsPrecedenceAndTheListsAreFilled) {
  struct Case {
    const char* name;
    bool unsealed;
    std::vector<DeviceEntry> endpoints;
    std::string status;
    std::string firstCaptureItem;
    bool recordEnabled;
  };
  const Case cases[] = {
      {"repaired", true, test::StandardEndpoints(),
       "启动时自动修复了 1 个上次未正常收尾的录音文件（头部已补全，可正常播放）。", "系统默认-USB 麦克风", true},
      {"no devices", false, {}, "没有找到任何可用的声音设备。请检查「设置 → 系统 → 声音」。", "系统默认-无输入", false},
      {"ready", false, test::StandardEndpoints(), "就绪。选好声音来源，点「开始录音」。", "系统默认-USB 麦克风", true},
  };
  for (const Case& c : cases) {
    ControllerRig rig({"Format=1"}, c.endpoints);
    if (c.unsealed) {
      fs::create_directories(rig.OutputDir());
      const fs::path left = rig.OutputDir() / "[VESK]20240101 10-00-00.wav";
      WriteUnsealedWav(left);
      test::AgeFile(left);  // recovery leaves files written moments ago alone
    }
    rig->Start();
    EXPECT_EQ(rig.view.Status(), c.status) << c.name;
    EXPECT_EQ(rig.view.combos[ui::kIdCaptureDevice].items.at(0), c.firstCaptureItem) << c.name;
    EXPECT_EQ(rig.view.IsEnabled(ui::kIdRecord), c.recordEnabled) << c.name;
    EXPECT_FALSE(rig.view.IsEnabled(ui::kIdPause)) << c.name;
    EXPECT_EQ(rig.view.texts[ui::TextView::Clock], "00:00:00.0") << c.name;
    EXPECT_EQ(PathFromUtf8(rig.view.controlTexts[ui::kIdOutputDir]), rig->Settings().outputDir) << c.name;
    EXPECT_EQ(rig.view.combos[ui::kIdFormat].selected, 1) << c.name;
    EXPECT_TRUE(rig.view.IsEnabled(ui::kIdBitDepth)) << c.name;
    EXPECT_FALSE(rig.view.IsEnabled(ui::kIdBitrate)) << c.name;
  }
}

// ----- menus ------------------------------------------------------------------

TEST(ControllerMenus, EveryOptionItemChangesItsSettingOnceAndSaysSo) {
  struct Case {
    int id;
    int menu;  // whose menu was opened first (0: none)
    const char* key;
    const char* value;
    std::string status;
  };
  const Case cases[] = {
      {ui::kMenuWavBitsSource, ui::kIdSaveWav, "ExportBitDepth", "0", "导出位深已更新。当前：WAV 位深 跟源文件"},
      {ui::kMenuWavBits32, ui::kIdSaveWav, "ExportBitDepth", "32", "导出位深已更新。当前：WAV 位深 32bit 浮点"},
      {ui::kMenuWavRate44100, ui::kIdSaveWav, "ExportWavRate", "44100",
       "导出采样率已更新。当前：WAV 采样率 44100Hz · MP3 采样率 48000Hz"},
      {ui::kMenuRateSource, ui::kIdSaveWav, "ExportWavRate", "0",
       "导出采样率已更新。当前：WAV 采样率 跟源文件 · MP3 采样率 48000Hz"},
      {ui::kMenuRateSource, ui::kIdSaveMp3, "ExportMp3Rate", "0",
       "导出采样率已更新。当前：WAV 采样率 48000Hz · MP3 采样率 跟源文件"},
      {ui::kMenuMp3Rate44100, ui::kIdSaveMp3, "ExportMp3Rate", "44100",
       "导出采样率已更新。当前：WAV 采样率 48000Hz · MP3 采样率 44100Hz"},
      {ui::kMenuMp3Kbps128, ui::kIdSaveMp3, "Bitrate", "128", "导出码率已更新。当前：MP3 码率 128kbps"},
      {ui::kMenuVideoAac, ui::kIdSaveVideo, "VideoCodecFlac", "0",
       "视频导出参数已更新。当前：音轨 AAC 192kbps · 采样率 48000Hz"},
      {ui::kMenuVideoRate96000, ui::kIdSaveVideo, "VideoSampleRate", "96000",
       "视频导出参数已更新。当前：音轨 FLAC 无损 24bit · 采样率 96000Hz"},
      {ui::kMenuDenoiseLevelGentle, ui::kIdDenoise, "DenoiseLevel", "2",
       "降噪等级已设为「轻柔」。开关打开后按这个档位渲染（选区降噪与导出有各自独立的档位，在对应按钮的箭头菜单里调）。"},
      {ui::kMenuSelDenoiseStrong, ui::kIdDenoiseSelection, "SelDenoiseLevel", "0",
       "选区降噪的降噪等级已设为「激进」，下次点「选区降噪」时按这个档跑；试听用的档位不受影响。"},
      // Without a plug-in the built-in engine is used (where the build has it).
      {ui::kIdDenoise, 0, "Denoise", "1",
       BuiltinDenoiseSupported()
           ? "降噪已开启：录完或导入后自动生效，导出和空格试听都会过一遍降噪（引擎：内置降噪）"
           : "降噪已开启，但没检测到 RX Voice De-noise 插件，暂时降不了 —— 插件装好后把开关关再开即可识别；导出时也可选「无降噪导出」"},
      {ui::kMenuDenoiseEngineBuiltin, ui::kIdDenoise, "DenoiseBuiltin", "1", "降噪引擎仍是「内置降噪」。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    if (c.id == ui::kMenuDenoiseEngineBuiltin && !BuiltinDenoiseSupported()) continue;
    ControllerRig rig({"Format=0"});
    rig->Start();
    rig->OnComboChanged(ui::kIdChannels, 0);  // a first save writes every key
    const auto before = IniPairs(rig.IniPath());
    const int saves = rig->SettingsSaveCount();
    if (c.menu != 0) rig->SplitMenu(c.menu);
    rig->OnCommand(c.id);
    EXPECT_EQ(rig->SettingsSaveCount(), saves + 1);
    EXPECT_EQ(rig.view.Status(), c.status);
    const auto after = IniPairs(rig.IniPath());
    for (const auto& [key, value] : after)
      EXPECT_EQ(value, key == c.key ? std::string(c.value) : before.at(key)) << key;
    if (c.menu != 0) {
      int checked = 0;
      for (const ui::MenuItem& item : rig->SplitMenu(c.menu)) checked += item.id == c.id && item.checked;
      EXPECT_EQ(checked, 1);
    }
  }
}

TEST(ControllerMenus, TheVideoMenuOffersAacRatesAndTheFfmpegPickOnlyWhenTheyApply) {
  SettingsState s;  // FLAC
  auto has = [](const std::vector<ui::MenuItem>& menu, int id) {
    return std::any_of(menu.begin(), menu.end(), [&](const ui::MenuItem& m) { return m.id == id; });
  };
  for (bool flac : {true, false})
    for (bool found : {true, false}) {
      s.videoCodecFlac = flac;
      const auto menu = ui::SplitButtonMenu(ui::kIdSaveVideo, s, found);
      EXPECT_EQ(has(menu, ui::kMenuVideoAac128) && has(menu, ui::kMenuVideoAac320), !flac);
      EXPECT_EQ(has(menu, ui::kMenuPickFfmpeg), !found);
      EXPECT_EQ(menu.back().text, "画面原样拷贝，不重新编码");
      EXPECT_FALSE(menu.back().enabled);
    }
}

TEST(ControllerMenus, FfmpegPickTakesOnlyTheProgramItself) {
  test::ScratchDir files;
  const fs::path program = files.path() / "bin" / FfmpegProgramFileName();
  const fs::path lookAlike = files.path() / "ffplay.txt";
  const fs::path folder = files.path() / "ffmpeg" / FfmpegProgramFileName();  // a folder of that name
  fs::create_directories(program.parent_path());
  fs::create_directories(folder);
  test::WriteBytes(program, {1, 2, 3});
  fs::permissions(program, fs::perms::owner_exec, fs::perm_options::add);
  test::WriteBytes(lookAlike, {1});
  struct Case {
    fs::path pick;  // empty: cancelled
    std::string status;
    std::string stored;
  };
  const Case cases[] = {
      {lookAlike, "这个文件用不了（要选 ffmpeg.exe 本身）。", ""},
      {folder, "这个文件用不了（要选 ffmpeg.exe 本身）。", ""},
      {files.path() / "missing" / FfmpegProgramFileName(), "这个文件用不了（要选 ffmpeg.exe 本身）。", ""},
      {program, "ffmpeg 已指定：" + PathToUtf8(program), PathToUtf8(program)},
      {{}, "就绪。选好声音来源，点「开始录音」。", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(PathToUtf8(c.pick));
    ControllerRig rig;
    rig->Start();
    const int saves = rig->SettingsSaveCount();
    if (!c.pick.empty()) rig.view.fileAnswers.push_back(c.pick);
    rig->OnCommand(ui::kMenuPickFfmpeg);
    ASSERT_EQ(rig.view.fileRequests.size(), 1u);
    EXPECT_EQ(rig.view.fileRequests[0].filters.at(0).fileNames, std::vector<std::string>{FfmpegProgramFileName()});
    EXPECT_EQ(rig.view.Status(), c.status);
    EXPECT_EQ(rig->Settings().ffmpegPath, c.stored);
    EXPECT_EQ(rig->SettingsSaveCount(), saves + (c.stored.empty() ? 0 : 1));
  }
}

// ----- recording-option lists -------------------------------------------------

TEST(ControllerLists, FormatRateAndDeviceChoicesFollowTheirRules) {
  ControllerRig rig({"Format=0"});
  rig->Start();
  rig->OnComboChanged(ui::kIdFormat, 1);  // WAV: 24 bit, no bit rate
  EXPECT_EQ(rig.view.combos[ui::kIdBitDepth].selected, 1);
  EXPECT_TRUE(rig.view.IsEnabled(ui::kIdBitDepth));
  EXPECT_FALSE(rig.view.IsEnabled(ui::kIdBitrate));
  EXPECT_EQ(rig.Ini("BitDepth"), "24");
  rig->OnComboChanged(ui::kIdFormat, 0);  // MP3: 16 bit, greyed
  EXPECT_EQ(rig.view.combos[ui::kIdBitDepth].selected, 0);
  EXPECT_FALSE(rig.view.IsEnabled(ui::kIdBitDepth));
  EXPECT_TRUE(rig.view.IsEnabled(ui::kIdBitrate));

  // Following the device shows its rate; a choice pins it.
  rig.backend->SetMixRate("mic1", 44100);
  rig->OnComboChanged(ui::kIdRecordSource, 0);
  EXPECT_EQ(rig.view.combos[ui::kIdSampleRate].selected, 0);
  rig->OnComboChanged(ui::kIdSampleRate, 1);
  EXPECT_EQ(rig.Ini("SampleRate"), "48000");
  EXPECT_EQ(rig.Ini("SampleRatePinned"), "1");

  rig->OnComboChanged(ui::kIdCaptureDevice, 1);  // the microphone itself
  EXPECT_EQ(rig.view.Status(), "录音设备已固定为「USB 麦克风」，系统默认变化不再跟随。");
  EXPECT_EQ(rig.Ini("InDevice"), "mic1");
  EXPECT_EQ(rig.Ini("InDeviceName"), "USB 麦克风");
  const int noInput = int(rig.view.combos[ui::kIdCaptureDevice].items.size()) - 1;
  rig->OnComboChanged(ui::kIdCaptureDevice, noInput);
  EXPECT_EQ(rig.view.Status(), "录音设备：无输入，只录电脑声音。");
  EXPECT_EQ(rig.view.combos[ui::kIdCaptureDevice].selected, noInput);
  rig->OnComboChanged(ui::kIdRenderDevice, 0);
  EXPECT_EQ(rig.view.Status(), "播放设备：跟随系统默认（当前是「扬声器」）");
}

// ----- recording --------------------------------------------------------------

TEST(ControllerRecording, RecordsPausesStopsAndLoadsTheFile) {
  ControllerRig rig;
  rig->Start();
  AudioDoc& doc = rig->Document();
  FillDocument(doc, rig.dir.path() / "old.wav");
  using Clock = std::chrono::steady_clock;
  auto seconds = [](Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
  };
  const auto beforeStart = Clock::now();
  rig->OnCommand(ui::kIdRecord);
  const auto afterStart = Clock::now();
  ASSERT_TRUE(rig->IsRecording()) << rig.view.Status();
  const fs::path path = rig->Session().OutputPath();
  EXPECT_EQ(rig.view.Status(), "正在录音 → " + PathToUtf8(path));
  EXPECT_EQ(doc.Frames(), 0u);  // a running recording replaces the edit area
  EXPECT_EQ(rig.view.controlTexts[ui::kIdRecord], "■  停止录音");
  EXPECT_TRUE(rig.view.IsEnabled(ui::kIdPause));
  for (int id : {ui::kIdCaptureDevice, ui::kIdFormat, ui::kIdChangeDir, ui::kIdOpenMedia, ui::kIdPlay})
    EXPECT_FALSE(rig.view.IsEnabled(id)) << id;
  EXPECT_EQ(rig.view.texts[ui::TextView::MeterInfo], "录音设备 48000 Hz · 立体声 · WAV · 16 bit");

  float peak = 0;
  rig.RunUntil(700, [&] {
    peak = std::max(peak, rig->Meter().peak[0]);
    return false;
  });
  EXPECT_EQ(rig->Meter().channels, 2);
  EXPECT_NEAR(peak, 0.5f, 0.05f);
  EXPECT_NE(rig.view.texts[ui::TextView::Clock], "00:00:00.0");
  EXPECT_EQ(rig.view.texts[ui::TextView::Size].rfind("已写 ", 0), 0u);

  const auto beforePause = Clock::now();
  rig->OnCommand(ui::kIdPause);
  const auto afterPause = Clock::now();
  EXPECT_EQ(rig.view.Status(), "已暂停：现在的声音不会录进去。按「继续」接着录，还是同一个文件。");
  EXPECT_EQ(rig.view.controlTexts[ui::kIdPause], "▶  继续");
  rig.Run(400);
  const auto beforeResume = Clock::now();
  rig->OnCommand(ui::kIdPause);
  const auto afterResume = Clock::now();
  EXPECT_EQ(rig.view.Status(), "继续录音 → " + PathToUtf8(path));
  EXPECT_EQ(rig.view.controlTexts[ui::kIdPause], "⏸  暂停");
  rig.Run(300);

  const auto beforeStop = Clock::now();
  rig->OnCommand(ui::kIdRecord);
  const auto afterStop = Clock::now();
  EXPECT_FALSE(rig->IsRecording());
  const std::string saved = "已保存并载入剪辑区：" + PathToUtf8(path) + "（";
  EXPECT_EQ(rig.view.Status().rfind(saved, 0), 0u) << rig.view.Status();
  // Start, pause, resume and the saved line, in this order.
  auto at = rig.view.statusHistory.begin();
  const auto end = rig.view.statusHistory.end();
  for (const char* prefix : {"正在录音 → ", "已暂停：", "继续录音 → ", "已保存并载入剪辑区："}) {
    at = std::find_if(at, end, [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
    ASSERT_NE(at, end) << prefix;
  }
  // What ran before and after the pause, the pause left out: at least the
  // time between the calls, at most the time around them.
  const double between = seconds(afterStart, beforePause) + seconds(afterResume, beforeStop);
  const double around = seconds(beforeStart, afterPause) + seconds(beforeResume, afterStop);
  const double recorded = double(doc.Frames()) / 48000.0;
  EXPECT_GT(recorded, between - 0.15);
  // Each of the two stretches may be filled up to 100 ms ahead of the clock.
  EXPECT_LT(recorded, around + 0.25) << "between the calls " << between << " s";
  EXPECT_GT(test::TonePower(doc.CopySamples(), 2, 0, 48000, 440, 4800),
            100 * test::TonePower(doc.CopySamples(), 2, 0, 48000, 2500, 4800));
  EXPECT_EQ(doc.SourcePath(), path);
  EXPECT_EQ(rig->LastRecording(), path);
  EXPECT_EQ(PathFromUtf8(rig.Ini("LastFile")), path);
  EXPECT_EQ(rig.view.controlTexts[ui::kIdRecord], "●  开始录音");
  EXPECT_FALSE(rig.view.IsEnabled(ui::kIdPause));
  EXPECT_TRUE(rig.view.IsEnabled(ui::kIdCaptureDevice));
  EXPECT_EQ(rig.view.texts[ui::TextView::Clock], "00:00:00.0");
  EXPECT_EQ(rig.view.texts[ui::TextView::MeterInfo], "");
  EXPECT_TRUE(rig.view.boxes.empty());
}

TEST(ControllerRecording, ALostMicrophoneStopsTheRecordingAndKeepsWhatWasWritten) {
  ControllerRig rig;
  rig->Start();
  using Clock = std::chrono::steady_clock;
  const auto beforeStart = Clock::now();
  rig->OnCommand(ui::kIdRecord);
  const auto afterStart = Clock::now();
  ASSERT_TRUE(rig->IsRecording());
  const fs::path path = rig->Session().OutputPath();
  rig.Run(600);
  const double between = std::chrono::duration<double>(Clock::now() - afterStart).count();
  rig.microphone->Disappear();
  const double around = std::chrono::duration<double>(Clock::now() - beforeStart).count();
  ASSERT_TRUE(rig.RunUntil(1000, [&] { return !rig->IsRecording(); }));
  ASSERT_EQ(rig.view.boxes.size(), 1u);
  EXPECT_EQ(rig.view.boxes[0].title, "录音设备已断开");
  EXPECT_EQ(rig.view.boxes[0].text,
            std::string(CaptureStream::kLostText) + "\r\n\r\n已经录到的部分已保存，可以继续剪辑或导出。");
  EXPECT_EQ(rig.view.Status().rfind("已保存并载入剪辑区：" + PathToUtf8(path), 0), 0u) << rig.view.Status();
  EXPECT_TRUE(fs::exists(path));
  // At least the time between the start and the loss, at most the time around them.
  EXPECT_GE(double(rig->Document().Frames()) / 48000.0, between - 0.15);
  EXPECT_LE(double(rig->Document().Frames()) / 48000.0, around + 0.15) << "between " << between << " s";
  EXPECT_NE(rig->Session().LastStopLine().find(" [设备丢失触发]"), std::string::npos);
}

// Audio the device lost is not passed over in silence: the saved status and
// the stop line count the hole with its length.
TEST(ControllerRecording, AudioTheDeviceLostIsCountedInTheStatusAndTheStopLine) {
  ControllerRig rig;
  rig->Start();
  rig->OnCommand(ui::kIdRecord);
  ASSERT_TRUE(rig->IsRecording()) << rig.view.Status();
  rig.Run(300);
  rig.microphone->SkipPackets(30);  // 300 ms
  rig.Run(700);
  rig->OnCommand(ui::kIdRecord);
  ASSERT_FALSE(rig->IsRecording());
  for (const std::string& text : {rig.view.Status(), rig->Session().LastStopLine()}) {
    const size_t at = text.find("录音中有 ");
    ASSERT_NE(at, std::string::npos) << text;
    // The numbers are read by hand: the Windows C library's scanf does not
    // match UTF-8 text in its format reliably.
    const std::string countText = "录音中有 ", secondsText = "处丢失（约 ";
    const size_t about = text.find(secondsText, at);
    ASSERT_NE(about, std::string::npos) << text;
    EXPECT_EQ(std::strtoul(text.c_str() + at + countText.size(), nullptr, 10), 1u) << text;
    EXPECT_NEAR(std::strtod(text.c_str() + about + secondsText.size(), nullptr), 0.30, 0.015) << text;
  }
}

TEST(ControllerRecording, RefusedStartsExplainAndLeaveTheEditAreaAlone) {
  struct Case {
    const char* name;
    std::vector<std::string> ini;
    std::string title;
    std::string textStart;
  };
  const Case cases[] = {
      {"no input", {"RecSource=2", "InDevice=@none", "InChosen=1"}, "录音设备是「无输入」",
       "「录音设备」下拉选的是「无输入」"},
      {"unplugged headphones", {"RecSource=1", "OutDevice=spk2", "OutChosen=1", "OutDeviceName=耳机"}, "设备用不了",
       "要用的播放设备「耳机」现在用不了。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ControllerRig rig(c.ini);
    rig->Start();
    FillDocument(rig->Document(), rig.dir.path() / "keep.wav");
    rig->OnCommand(ui::kIdRecord);
    EXPECT_FALSE(rig->IsRecording());
    ASSERT_EQ(rig.view.boxes.size(), 1u);
    EXPECT_EQ(rig.view.boxes[0].title, c.title);
    EXPECT_EQ(rig.view.boxes[0].text.rfind(c.textStart, 0), 0u) << rig.view.boxes[0].text;
    EXPECT_EQ(rig->Document().Frames(), 48000u);
    EXPECT_FALSE(fs::exists(rig.OutputDir()) && !fs::is_empty(rig.OutputDir()));
  }
}

// ----- devices ----------------------------------------------------------------

TEST(ControllerDevices, ChangesRefreshOnceAndWaitForTheRecordingToEnd) {
  ControllerRig rig({"Format=1", "RecSource=1"});
  rig->Start();
  auto endpoints = test::StandardEndpoints();
  endpoints[0].isDefault = false;
  endpoints.insert(endpoints.begin() + 1, DeviceEntry{"mic2", "新麦克风", false, true, kDeviceActive});

  rig->OnCommand(ui::kIdRecord);
  ASSERT_TRUE(rig->IsRecording());
  const int enumerations = rig.backend->EnumerateCount();
  for (int i = 0; i < 10; ++i) rig.backend->SetEndpoints(endpoints);  // one burst of notifications
  rig.Run(700);
  EXPECT_EQ(rig.backend->EnumerateCount(), enumerations);  // deferred while recording
  rig->OnCommand(ui::kIdRecord);
  ASSERT_FALSE(rig->IsRecording());
  ASSERT_TRUE(rig.RunUntil(1000, [&] { return rig.backend->EnumerateCount() > enumerations; }));
  rig.Run(700);
  EXPECT_EQ(rig.backend->EnumerateCount(), enumerations + 1);
  EXPECT_EQ(rig.view.Status(), "已跟随系统默认切到「新麦克风」（录音设备）。");
  EXPECT_EQ(rig.view.combos[ui::kIdCaptureDevice].items.at(0), "系统默认-新麦克风");

  // A notification that changed nothing (a stream starting on a sink) is
  // looked into but not announced.
  rig->OnCommand(ui::kIdSelectAll);  // any status
  const std::string before = rig.view.Status();
  rig.backend->SetEndpoints(endpoints);
  ASSERT_TRUE(rig.RunUntil(5000, [&] { return rig.backend->EnumerateCount() > enumerations + 1; }));
  rig.Run(100);
  EXPECT_EQ(rig.view.Status(), before);
}

// ----- drops, closing, shell ---------------------------------------------------

TEST(ControllerDrops, OnlyTheFirstKnownFileIsTakenAndReplacingAsksFirst) {
  struct Case {
    const char* name;
    std::vector<std::string> files;
    bool filled, edited, recording;
    std::string status;        // last status; "" when the file goes on to be opened
    std::string question;      // "" = no box
    BoxAnswer defaultButton;
  };
  const std::string keep = "\n\n确定要载入吗？";
  const Case cases[] = {
      {"three files", {"a.wav", "b.mp3", "c.flac"}, false, false, false, "", "", {}},
      {"text file", {"notes.txt"}, true, false, false,
       "拖进来的不是认识的音频/视频格式（wav/mp3/m4a/aac/wma/flac/ogg/opus/mp4/mov/mkv/webm）。", "", {}},
      {"while recording", {"a.WAV"}, false, false, true, "正在录音，先按「■ 停止录音」再拖入文件。", "", {}},
      {"replace clean", {"a.m4a", "b.wav"}, true, false, false, "已取消载入，剪辑区里的内容没动。",
       "剪辑区里已经有音频，载入「a.m4a」会把当前内容替换掉。" + keep, BoxAnswer::Yes},
      {"replace edited", {"a.mkv"}, true, true, false, "已取消载入，剪辑区里的内容没动。",
       "剪辑区里已经有音频，载入「a.mkv」会把当前内容替换掉。\n\n现在这些改动还没导出，替换之后就找不回来了（这一步进不了撤销）。" +
           keep,
       BoxAnswer::No},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ControllerRig rig;
    rig->Start();
    if (c.filled) FillDocument(rig->Document(), rig.dir.path() / "old.wav");
    if (c.edited) EditDocument(rig->Document());
    if (c.recording) rig->OnCommand(ui::kIdRecord);
    const uint64_t frames = rig->Document().Frames();
    std::vector<fs::path> files;
    for (const std::string& f : c.files) files.push_back(rig.dir.path() / f);
    rig.view.boxAnswers.push_back(BoxAnswer::No);
    rig->OnDropFiles(files);
    if (c.files.size() > 1) {
      const auto& h = rig.view.statusHistory;
      EXPECT_NE(std::find(h.begin(), h.end(), "一次只载入第一个文件（拖了多个）。"), h.end());
    }
    if (c.status.empty()) continue;  // handed to the edit area's open
    EXPECT_EQ(rig.view.Status(), c.status);
    if (c.question.empty()) {
      EXPECT_TRUE(rig.view.boxes.empty());
    } else {
      ASSERT_EQ(rig.view.boxes.size(), 1u);
      EXPECT_EQ(rig.view.boxes[0].title, "会替换剪辑区里的内容");
      EXPECT_EQ(rig.view.boxes[0].text, c.question);
      EXPECT_EQ(rig.view.boxes[0].buttons, ui::BoxButtons::YesNo);
      EXPECT_EQ(rig.view.boxes[0].defaultButton, c.defaultButton);
    }
    EXPECT_EQ(rig->Document().Frames(), frames);
    EXPECT_EQ(rig->IsRecording(), c.recording);
  }
}

TEST(ControllerDrops, AFileHandedOverByASecondStartIsAskedAboutLikeADrop) {
  struct Case {
    const char* name;
    bool filled, edited, recording;
    BoxAnswer answer;
    bool asked, opened;
  };
  const Case cases[] = {
      {"empty edit area", false, false, false, BoxAnswer::No, false, true},
      {"unexported work kept", true, true, false, BoxAnswer::No, true, false},
      {"unexported work replaced", true, true, false, BoxAnswer::Yes, true, true},
      {"while recording", false, false, true, BoxAnswer::Yes, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ControllerRig rig;
    rig->Start();
    const fs::path file = rig.dir.path() / "其他.wav";
    test::WriteBytes(file, test::MakeWav({1, 1, 8000, 16}, test::Pcm16(test::Sine(4000, 1, 440, 8000)), 8000));
    if (c.filled) FillDocument(rig->Document(), rig.dir.path() / "old.wav");
    if (c.edited) EditDocument(rig->Document());
    if (c.recording) rig->OnCommand(ui::kIdRecord);
    rig.view.boxAnswers.push_back(c.answer);
    rig->OpenHandedOver(file);
    EXPECT_EQ(rig.view.boxes.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(rig.view.boxes[0].defaultButton, BoxAnswer::No);
    }
    EXPECT_EQ(rig->Document().SourcePath() == file, c.opened);
    if (c.recording) {
      EXPECT_EQ(rig.view.Status(), "正在录音，先按「■ 停止录音」再打开文件。");
    }
  }
}

TEST(ControllerClose, AsksAboutRecordingsAndUnexportedWorkWithNoAsDefault) {
  const std::string source = "/data/访谈.wav";
  struct Case {
    const char* name;
    bool edited, denoise;
    std::string question;
  };
  const std::string tail = "\n\n确定要退出吗？";
  const Case cases[] = {
      {"nothing pending", false, false, ""},
      {"edits", true, false, "剪辑区有未导出的编辑结果，退出后会丢失。\n源文件「" + source + "」不受影响。" + tail},
      {"denoise", false, true,
       "降噪开关是开着的，降噪后的结果还没有导出。\n降噪要到导出时才应用，源文件「" + source + "」不受影响。" + tail},
      {"both", true, true,
       "剪辑区有未导出的编辑结果，退出后会丢失。\n源文件「" + source + "」不受影响。\n\n降噪开关也是开着的，降噪结果同样没导出。" +
           tail},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ControllerRig rig({c.denoise ? "Denoise=1" : "Denoise=0"});
    rig->Start();
    FillDocument(rig->Document(), PathFromUtf8(source));
    if (c.edited) EditDocument(rig->Document());
    EXPECT_EQ(rig->QueryClose(), c.question.empty());
    if (c.question.empty()) {
      EXPECT_TRUE(rig.view.boxes.empty());
      continue;
    }
    ASSERT_EQ(rig.view.boxes.size(), 1u);
    EXPECT_EQ(rig.view.boxes[0].text, c.question);
    EXPECT_EQ(rig.view.boxes[0].defaultButton, BoxAnswer::No);
    EXPECT_EQ(rig.view.boxes[0].title, ui::AppController::WindowTitle());
  }
}

TEST(ControllerClose, NoKeepsTheRecordingAndYesStopsItThenAsksAboutItsEdits) {
  ControllerRig rig;
  rig->Start();
  rig->OnCommand(ui::kIdRecord);
  ASSERT_TRUE(rig->IsRecording());
  rig.Run(300);
  rig.view.boxAnswers = {BoxAnswer::No};
  EXPECT_FALSE(rig->QueryClose());
  ASSERT_EQ(rig.view.boxes.size(), 1u);
  EXPECT_EQ(rig.view.boxes[0].text, "正在录音，停止并退出？");
  EXPECT_EQ(rig.view.boxes[0].defaultButton, BoxAnswer::No);
  EXPECT_TRUE(rig->IsRecording());
  rig.Run(300);

  rig.view.boxAnswers = {BoxAnswer::Yes};
  EXPECT_TRUE(rig->QueryClose());  // the fresh recording holds no edits
  EXPECT_FALSE(rig->IsRecording());
  const fs::path path = rig->LastRecording();
  ASSERT_EQ(rig->Document().SourcePath(), path);

  EditDocument(rig->Document());
  EXPECT_FALSE(rig->QueryClose());
  EXPECT_EQ(rig.view.boxes.back().text, "你的录音已保存到：\n" + PathToUtf8(path) +
                                            "\n\n剪辑区的编辑结果还没导出，退出后会丢失（录音文件不受影响）。\n\n确定要退出吗？");
}

TEST(ControllerShell, LocationSoundSettingsFolderAndPlacement) {
  ControllerRig rig;
  rig->Start();
  rig->OnCommand(ui::kIdOpenLocation);
  std::string folder = PathToUtf8(rig->Settings().outputDir);
  folder.pop_back();
  EXPECT_EQ(rig.view.Status(), "打开保存位置：" + folder + "（还没有录音文件）");
  EXPECT_EQ(rig.view.openedFolders.back(), PathFromUtf8(folder));

  const fs::path recording = rig.dir.path() / "old.wav";
  test::WriteBytes(recording, {1, 2});
  ControllerRig known({"LastFile=" + PathToUtf8(recording)});
  known->Start();
  known->OnCommand(ui::kIdOpenLocation);
  EXPECT_EQ(known.view.Status(), "已在资源管理器中定位到最近一次录音：" + PathToUtf8(recording));
  EXPECT_EQ(known.view.revealed.back(), recording);

  rig.view.shellWorks = false;
  rig->OnCommand(ui::kIdSoundSettings);
  EXPECT_EQ(rig.view.Status(), "没找到声音设置程序。");

  rig.view.folderAnswers.push_back(rig.dir.path() / "新目录");
  rig->OnCommand(ui::kIdChangeDir);
  EXPECT_EQ(rig.view.folderTitles, std::vector<std::string>{"选择录音保存目录"});
  EXPECT_EQ(rig.view.controlTexts[ui::kIdOutputDir], rig.Ini("OutputDir"));
  EXPECT_EQ(PathFromUtf8(rig.Ini("OutputDir")).parent_path(), rig.dir.path() / "新目录");

  rig->Shutdown(MainWindowPlacement{{10, 20, 900, 700}, true});
  EXPECT_EQ(rig.Ini("MainRect"), "10,20,900,700");
  EXPECT_EQ(rig.Ini("MainMaxed"), "1");
  EXPECT_EQ(rig.Ini("MainRectV"), "2");
}

class ControllerLogMenu : public test::LogFolderTest {};

TEST_F(ControllerLogMenu, ShowsTheAbnormalEndOnlyAfterAnUncleanRunAndExportsThePackage) {
  for (bool unclean : {false, true}) {
    ControllerRig rig({}, test::StandardEndpoints(), [&](ui::AppOptions& o) { o.previousRunUnclean = unclean; });
    const auto menu = rig->ContextMenu();
    ASSERT_EQ(menu.size(), unclean ? 3u : 2u);
    EXPECT_EQ(menu[0].id, ui::kMenuOpenLogFolder);
    EXPECT_EQ(menu[1].id, ui::kMenuExportDiagnostics);
    if (unclean) {
      EXPECT_EQ(menu[2].text, "上次运行非正常结束（导出日志可发给开发者）");
      EXPECT_FALSE(menu[2].enabled);
    }
  }

  AppLogInit();
  ControllerRig rig({}, test::StandardEndpoints(), [&](ui::AppOptions& o) {
    o.logFile = AppLogCurrentStatus().path;
    o.logFolder = AppLogCurrentStatus().folder;
  });
  rig->Start();
  rig->OnCommand(ui::kMenuOpenLogFolder);
  EXPECT_EQ(rig.view.revealed.back(), AppLogCurrentStatus().path);

  fs::create_directories(rig.dir.path() / "desktop");
  rig->OnCommand(ui::kMenuExportDiagnostics);
  const std::string done = "诊断日志已导出到桌面：";
  ASSERT_EQ(rig.view.Status().rfind(done, 0), 0u) << rig.view.Status();
  const fs::path package = PathFromUtf8(rig.view.Status().substr(done.size()));
  EXPECT_EQ(package.parent_path(), rig.dir.path() / "desktop");
  EXPECT_EQ(rig.view.revealed.back(), package);
  EXPECT_NE(test::ReadText(package / PathFromUtf8(kSnapshotFileName)).find("录音设备"), std::string::npos);
  const std::string log = CurrentLogText();
  EXPECT_NE(log.find("[log] 用户打开日志文件夹（当前日志=" + PathToUtf8(AppLogCurrentStatus().path) + "）"),
            std::string::npos);
  EXPECT_NE(log.find("[log] 用户导出诊断日志到桌面"), std::string::npos);
  EXPECT_NE(log.find("[log] 诊断日志已导出：" + PathToUtf8(package)), std::string::npos);

  AppLogShutdown();
  rig->OnCommand(ui::kMenuExportDiagnostics);
  EXPECT_EQ(rig.view.Status(), "导出诊断日志失败：日志模块还没初始化");
  ASSERT_FALSE(rig.view.boxes.empty());
  EXPECT_EQ(rig.view.boxes.back().title, "导出诊断日志");
  EXPECT_EQ(rig.view.boxes.back().text, "导出诊断日志失败：\n日志模块还没初始化");
}


// ----- denoise ----------------------------------------------------------------

// The denoise plug-in as the controller finds it: none, the test plug-in
// (rendered for real, in-process or as a 32-bit one through the helper), or a
// 32-bit one whose helper could not be provided.
enum class Plugin { Missing, Usable, Helper, NoHelper };

DenoiseEngine FoundPlugin(Plugin kind) {
  DenoiseEngine e;
  e.discovered = true;
  if (kind == Plugin::Missing) return e;
  e.fileName = "VeskTest Voice De-noise.vst3";
  e.modulePath = test::FixtureModule("voice_denoise");
  e.architecture = NativeArch();
  e.displayName = "VeskTest Voice De-noise";
  if (kind != Plugin::Usable) {
    // The Windows build has x86 test plug-ins for its x86 helper; the Linux
    // helper is native and hosts the native one.
    const fs::path x86 = test::BuiltProgramDir() / "fixtures32" / "voice_denoise" / e.fileName;
    if (fs::exists(x86)) e.modulePath = x86;
    e.architecture = 2;
    e.displayName += "（32 位）";
  }
  return e;
}

struct PluginStandIn {
  Plugin kind = Plugin::Missing;  // taken at the next discovery (the switch runs one)
  std::atomic<bool> hold{false};  // keeps renders from finishing
  std::atomic<int> fail{0};       // 1: renders fail with a text, 2: without one
  uint64_t memory = ~uint64_t(0) >> 2;

  std::function<void(ui::AppOptions&)> Install() {
    return [this](ui::AppOptions& o) {
      o.denoiseDiscover = [this](DenoiseEngine& e) { e = FoundPlugin(kind); };
      o.denoiseUsable = [this](DenoiseEngine& e) { return kind != Plugin::NoHelper && DenoiseAvailable(e); };
      o.denoiseRender = [this](DenoiseEngine& e, std::vector<float>& s, uint32_t rate, uint32_t ch, std::string& error,
                               unsigned level) {
        while (hold) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (fail != 0) {
          error = fail == 1 ? "插件在处理时崩溃" : "";
          return false;
        }
        return RunDenoise(e, s, rate, ch, error, level);
      };
      o.freeMemory = [this](uint64_t& bytes) {
        bytes = memory;
        return true;
      };
    };
  }
};

// Two seconds of quiet noise (below the test plug-in's gate, so a render lowers it).
void LoadQuietNoise(ControllerRig& rig) {
  std::string error;
  ASSERT_TRUE(rig->Document().Adopt(AudioFormat{48000, 2, 16}, test::Noise(2 * 48000 * 2, 0.005f), "/c/take.wav",
                                    error, 16));
  rig->Edit().OnRecordingLoaded();
}

// Ticks like the window until a render completion was handled.
bool SettleRender(ControllerRig& rig) {
  if (rig.RunPosted()) return true;  // it finished while a progress window was up
  const int posted = rig.view.wakes;
  for (int i = 0; i < 2000; ++i) {
    rig->OnTick();
    if (rig.view.wakes > posted) {
      rig.RunPosted();  // unless the tick ran it already
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// "=text" (or plain) the status is exactly it; "^text" it starts with it;
// "*text" it contains it.
void ExpectStatus(const std::string& status, const std::string& want) {
  if (want.empty()) return;
  if (want[0] == '^')
    EXPECT_EQ(status.rfind(want.substr(1), 0), 0u) << status;
  else if (want[0] == '*')
    EXPECT_NE(status.find(want.substr(1)), std::string::npos) << status;
  else
    EXPECT_EQ(status, want);
}

// The commands reach the denoise controller, the button's label and tooltip
// follow it, and background renders start and settle through the tick. What
// the controller says in each state is its own test's business; the texts
// that need a plug-in failing with or without a reason stay here.
TEST(ControllerDenoise, CommandsLabelTooltipAndTickReachTheDenoiseController) {
  PluginStandIn plugin;
  ControllerRig rig({"Denoise=0"}, test::StandardEndpoints(), plugin.Install());
  rig->Start();
  const auto command = [&](int id, const std::string& status, const std::string& label = {},
                           const std::string& tip = {}) {
    SCOPED_TRACE("command " + std::to_string(id));
    rig->OnCommand(id);
    ExpectStatus(rig.view.Status(), status);
    if (!label.empty()) {
      EXPECT_EQ(rig.view.controlTexts[ui::kIdDenoise], label);
    }
    if (!tip.empty()) {
      EXPECT_EQ(rig.view.tooltips[ui::kIdDenoise].rfind(tip, 0), 0u) << rig.view.tooltips[ui::kIdDenoise];
    }
  };
  const auto shownBy = [&](const std::function<void()>& step) {
    const size_t before = rig.view.statusHistory.size();
    step();
    return std::vector<std::string>(rig.view.statusHistory.begin() + std::ptrdiff_t(before), rig.view.statusHistory.end());
  };
  const auto ticks = [&](int n) {
    for (int i = 0; i < n; ++i) {
      rig->OnTick();
      std::this_thread::sleep_for(std::chrono::milliseconds(33));
    }
  };
  const std::string off = "降噪已关闭：导出按原样输出，空格播的也是原声。降噪缓存已保留 —— 内容没变的话，重新打开立刻生效。";
  const std::string tip = "降噪（试听/整段）：VeskTest Voice De-noise\n当前等级：";
  const std::string restarted = "^降噪已开启：另存 WAV/MP3 时会先过一遍「VeskTest Voice De-noise」";
  const std::string retry = "（导出时也会遇到同样的问题；关掉再打开降噪开关可重试）";

  command(ui::kIdDenoise, "^降噪已开启，但没检测到 RX Voice De-noise 插件", "降噪 缺", "降噪：未检测到 RX Voice De-noise");
  command(ui::kIdDenoise, off, "降噪 关");
  plugin.kind = Plugin::Usable;
  command(ui::kMenuDenoiseLevelGentle, "^降噪等级已设为「轻柔」。");
  command(ui::kIdDenoise, "^降噪已开启：录完或导入后自动生效", "降噪 开", tip + "轻柔\n（点按钮右下箭头换档）");
  command(ui::kMenuDenoiseLevelStrong, "降噪等级已设为「激进」。", "", tip + "激进");
  command(ui::kIdDenoiseSelection, "剪辑区里还没有内容。");

  // Content arrives: the tick renders it in the background.
  plugin.hold = true;
  LoadQuietNoise(rig);
  const auto shown = shownBy([&] { ticks(2); });
  ExpectStatus(rig.view.Status(), "^正在后台渲染降噪…（已 ");
  EXPECT_EQ(std::count(shown.begin(), shown.end(), "正在后台渲染降噪…（渲染完再按空格，听到的就是降噪后的）"), 1);
  plugin.hold = false;
  ASSERT_TRUE(SettleRender(rig));
  ExpectStatus(rig.view.Status(), "^降噪已就绪（渲染 ");
  command(ui::kIdPlay, "*正在播放降噪后的声音（VeskTest Voice De-noise），听到的就是导出效果；对比原声把开关关一下再开（位置不丢）。");
  command(ui::kIdPlay, "");

  // A failing plug-in: reported once, not retried by the tick.
  plugin.fail = 1;
  rig->Document().SetSelection(24000, 72000);
  command(ui::kIdSilence, "选区已静音。");
  ASSERT_TRUE(SettleRender(rig));
  EXPECT_EQ(rig.view.Status(), "后台降噪渲染失败：插件在处理时崩溃" + retry);
  EXPECT_TRUE(shownBy([&] { ticks(5); }).empty());
  command(ui::kIdDenoiseSelection, "选区降噪失败：插件在处理时崩溃");
  plugin.fail = 2;
  command(ui::kIdDenoise, off);
  command(ui::kIdDenoise, restarted);
  ASSERT_TRUE(SettleRender(rig));
  EXPECT_EQ(rig.view.Status(), "后台降噪渲染失败：原因未知" + retry);
  plugin.fail = 0;
  command(ui::kIdDenoise, off);
  command(ui::kIdDenoise, restarted);
  ASSERT_TRUE(SettleRender(rig));
  ExpectStatus(rig.view.Status(), "^降噪已就绪（渲染 ");
}

class ControllerDenoiseExport : public test::LogFolderTest {};

TEST_F(ControllerDenoiseExport, SavesWriteTheRenderAtTheExportLevelOrAskWhenThePluginCannotRun) {
  enum class Written { Nothing, Original, Denoised };
  struct Case {
    Plugin kind;
    int fail;
    BoxAnswer answer;
    const char* file;
    std::string title, text;  // the question; empty: none asked
    std::string status;       // see ExpectStatus
    std::string during;
    std::string log;
    Written written;
  };
  const std::string missingText =
      "降噪开关是打开的，但程序没检测到 RX 的 Voice De-noise 插件，这次导出做不了降噪。\n\n· 按「是(Y)」：无降噪导出 —— 按素材原样出文件（不降噪）；\n· 按「否(N)」：取消导出，装好插件再导。\n\n插件要装在系统的 VST3 目录里：64 位版装 Program Files\\Common Files\\VST3，32 位版装 Program Files (x86)\\Common Files\\VST3。装好后把开关关再开即可识别。";
  const std::string noHelperText =
      "降噪开关是打开的，选中的是 32 位插件「VeskTest Voice De-noise（32 位）」，但 32 位辅助程序没能就位，这次导出做不了降噪。\n\n· 按「是(Y)」：无降噪导出 —— 按素材原样出文件（不降噪）；\n· 按「否(N)」：取消导出，修好辅助程序再导。\n\n辅助程序是内嵌在主程序里的，正常不会缺 —— 这次多半是释放失败：\n· 检查系统盘和 %LOCALAPPDATA% 的剩余空间与可写（杀软拦了也会这样）；\n· 或手动把一个 VeskDenoise32.exe 放到主程序同目录；\n· 或改装 64 位版的 RX Voice De-noise。";
  const Case cases[] = {
      {Plugin::Usable, 0, BoxAnswer::Yes, "denoised.wav", "", "", "*，已降噪（", "正在跑降噪（VeskTest Voice De-noise）…", "",
       Written::Denoised},
      {Plugin::Usable, 0, BoxAnswer::Yes, "denoised.mp3", "", "", "*，已降噪（", "正在跑降噪（VeskTest Voice De-noise）…", "",
       Written::Denoised},
      {Plugin::Helper, 0, BoxAnswer::Yes, "helper.wav", "", "", "*，已降噪（",
       "正在跑降噪（VeskTest Voice De-noise（32 位））…", "", Written::Denoised},
      {Plugin::Usable, 1, BoxAnswer::Yes, "failed.wav", "", "", "导出失败：插件在处理时崩溃", "", "", Written::Nothing},
      {Plugin::Missing, 0, BoxAnswer::No, "declined.wav", "没检测到降噪插件", missingText,
       "降噪开着但没检测到 RX Voice De-noise —— 已取消导出。", "", "[denoise] 导出取消：插件不可用（没检测到插件）。",
       Written::Nothing},
      {Plugin::Missing, 0, BoxAnswer::Yes, "as-is.wav", "没检测到降噪插件", missingText,
       "*，未降噪（插件不可用，选了无降噪导出）", "降噪插件不可用 —— 按原样（无降噪）导出…",
       "[denoise] 插件不可用（没检测到插件），用户选择「无降噪导出」，按原样输出：", Written::Original},
      {Plugin::NoHelper, 0, BoxAnswer::No, "declined32.wav", "降噪辅助程序没就位", noHelperText,
       "降噪开着，但 32 位辅助程序没能就位 —— 已取消导出。", "", "[denoise] 导出取消：插件不可用（辅助没就位）。",
       Written::Nothing},
      {Plugin::NoHelper, 0, BoxAnswer::Yes, "as-is32.mp3", "降噪辅助程序没就位", noHelperText,
       "*，未降噪（插件不可用，选了无降噪导出）", "降噪插件不可用 —— 按原样（无降噪）导出…",
       "[denoise] 插件不可用（辅助没就位），用户选择「无降噪导出」，按原样输出：", Written::Original},
  };
  AppLogInit();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const bool mp3 = std::string(c.file).ends_with(".mp3");
    if (mp3 && !Mp3EncoderAvailable()) continue;
    // The helper runs only for a program of its own version; the Windows test
    // program carries none (the helper's own tests cover that build).
    if (c.kind == Plugin::Helper && OwnProductVersion().empty()) continue;
    PluginStandIn plugin;
    plugin.kind = c.kind;
    plugin.fail = c.fail;
    // 32-bit float WAV at the source rate: what is read back is what was rendered.
    ControllerRig rig({"Denoise=0", "DenoiseLevel=2", "ExportBitDepth=32", "ExportWavRate=0", "ExportMp3Rate=0"},
                      test::StandardEndpoints(), plugin.Install());
    rig->Start();
    LoadQuietNoise(rig);
    const std::vector<float> original = rig->Document().CopySamples();
    plugin.hold = true;
    rig->OnCommand(ui::kIdDenoise);  // on: a usable plug-in starts the background render
    EXPECT_TRUE(rig->Settings().denoise);
    // The save waits for the background render, which ends a little later.
    std::thread release([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      plugin.hold = false;
    });
    const fs::path target = rig.dir / c.file;
    rig.view.fileAnswers = {target};
    rig.view.boxAnswers = {c.answer};
    const size_t before = rig.view.statusHistory.size();
    rig->OnCommand(mp3 ? ui::kIdSaveMp3 : ui::kIdSaveWav);
    release.join();
    const std::vector<std::string> shown(rig.view.statusHistory.begin() + std::ptrdiff_t(before),
                                         rig.view.statusHistory.end());
    const bool usable = c.kind == Plugin::Usable || c.kind == Plugin::Helper;
    if (usable) {
      EXPECT_NE(std::find(shown.begin(), shown.end(), "后台降噪还在渲染，等它结束就开始导出…"), shown.end());
    }
    if (!c.during.empty()) {
      EXPECT_NE(std::find(shown.begin(), shown.end(), c.during), shown.end()) << c.during;
    }
    const std::string result = rig.view.Status();
    ExpectStatus(result, c.status);
    if (c.title.empty()) {
      EXPECT_TRUE(rig.view.boxes.empty() || c.fail) << rig.view.boxes.front().title;
    } else {
      ASSERT_EQ(rig.view.boxes.size(), 1u);
      EXPECT_EQ(rig.view.boxes[0].title, c.title);
      EXPECT_EQ(rig.view.boxes[0].text, c.text);
      EXPECT_EQ(rig.view.boxes[0].buttons, ui::BoxButtons::YesNo);
      EXPECT_EQ(rig.view.boxes[0].defaultButton, BoxAnswer::No);
    }
    if (!c.log.empty()) {
      EXPECT_NE(CurrentLogText().find(c.log), std::string::npos) << c.log;
    }
    if (usable) {
      EXPECT_TRUE(SettleRender(rig));  // the background render's completion
    }

    if (c.written == Written::Nothing) {
      EXPECT_FALSE(fs::exists(target));
      continue;
    }
    AudioFormat format;
    std::vector<float> read;
    std::string error;
    ASSERT_TRUE(LoadAudioFile(target, format, read, error)) << error;
    EXPECT_EQ(format.sampleRate, 48000u);
    EXPECT_EQ(format.channels, 2u);
    // What the test plug-in makes of the clip at another level and at the
    // export level (2), the latter last so the record names its strength.
    DenoiseEngine engine = FoundPlugin(c.kind == Plugin::Helper ? Plugin::Helper : Plugin::Usable);
    std::vector<float> exportLevel = original, otherLevel = original;
    ASSERT_TRUE(RunDenoise(engine, otherLevel, 48000, 2, error, 0)) << error;
    ASSERT_TRUE(RunDenoise(engine, exportLevel, 48000, 2, error, 2)) << error;
    if (c.written == Written::Denoised) {
      EXPECT_NE(result.find("，已降噪（" + StrengthSuffix(engine) + "）"), std::string::npos) << result;
    }
    const auto rmsOf = [](const std::vector<float>& v) { return test::RmsOfRange(v, 0, v.size()); };
    const std::vector<float>& expected = c.written == Written::Denoised ? exportLevel : original;
    if (mp3) {
      // Lossy: the loudness tells the three apart (they differ by 6 dB or more).
      const double rms = rmsOf(read);
      const std::vector<const std::vector<float>*> all = {&original, &exportLevel, &otherLevel};
      for (const std::vector<float>* other : all) {
        if (other != &expected) {
          EXPECT_LT(std::fabs(rms - rmsOf(expected)), std::fabs(rms - rmsOf(*other)));
        }
      }
    } else {
      ASSERT_EQ(read.size(), expected.size());
      double worst = 0;
      for (size_t i = 0; i < read.size(); ++i) worst = std::max(worst, double(std::fabs(read[i] - expected[i])));
      EXPECT_LT(worst, 1e-6);
    }
  }
  AppLogShutdown();
}

// ----- the status line's details ----------------------------------------------

// A failure's whole text opens from the status line; results and refusals
// that went as asked have no details, and a later status takes them away.
TEST(ControllerStatusDetails, AFailureOpensItsWholeTextAndTheNextStatusClosesIt) {
  struct Case {
    const char* name;
    std::function<void(ControllerRig&)> act;
    bool details;
  };
  const auto open = [](const char* name, const std::string& bytes) {
    return [name, bytes](ControllerRig& rig) {
      const fs::path file = rig.dir.path() / PathFromUtf8(name);
      if (!bytes.empty()) test::WriteBytes(file, std::vector<uint8_t>(bytes.begin(), bytes.end()));
      rig->OpenHandedOver(file);
    };
  };
  const Case cases[] = {
      {"damaged WAV", open("坏掉的录音.wav", "RIFFjunkWAVEjunkjunkjunk"), true},
      {"missing file", open("不存在.mp3", ""), true},
      {"unknown kind dropped", [](ControllerRig& rig) { rig->OnDropFiles({rig.dir.path() / "notes.txt"}); }, false},
      {"opened clip",
       [](ControllerRig& rig) {
         const fs::path file = rig.dir.path() / "好.wav";
         test::WriteBytes(file, test::MakeWav({1, 1, 8000, 16}, test::Pcm16(test::Sine(4000, 1, 440, 8000)), 8000));
         rig->OpenHandedOver(file);
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ControllerRig rig;
    rig->Start();
    c.act(rig);
    const std::string status = rig.view.Status();
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(rig.view.statusDetails, c.details) << status;
    EXPECT_EQ(rig->OnStatusClicked(), c.details);
    if (c.details) {
      ASSERT_EQ(rig.view.detailsBoxes.size(), 1u);
      EXPECT_EQ(rig.view.detailsBoxes[0].title, ui::kStatusDetailsTitle);
      EXPECT_EQ(rig.view.detailsBoxes[0].text, status) << "the whole text, not the box's capped one";
    } else {
      EXPECT_TRUE(rig.view.detailsBoxes.empty());
    }
    // The next status that reports no failure leaves nothing to open.
    rig->OnDropFiles({rig.dir.path() / "notes.txt"});
    EXPECT_FALSE(rig.view.statusDetails);
    EXPECT_FALSE(rig->OnStatusClicked());
  }
}

// The texts that reach the status line without a box: failures among the
// long results of exports and renders.
TEST(ControllerStatusDetails, FailureTextsAreToldFromResults) {
  const std::pair<const char*, bool> texts[] = {
      {"已导出视频：/a/b.mp4（12 MB · 画面原样拷贝 · 音轨 AAC · 3.1 秒完成） — 已核对：画面 250 帧、10.00 秒与源视频一致，音轨长度吻合", false},
      {"已导出视频：/a/b.mp4（12 MB） — 核对发现不一致（文件已保留）：音轨比剪辑短 0.50 秒", true},
      {"已导出视频：/a/b.mp4（12 MB） — 没能核对导出结果（ffmpeg 没有输出）", true},
      {"后台降噪渲染失败：插件在处理时崩溃（导出时也会遇到同样的问题；关掉再打开降噪开关可重试）", true},
      {"视频导出已取消。", false},
      {"导出已取消：降噪失败（插件在处理时崩溃）。", true},
      {"降噪已就绪（渲染 1.2 秒）", false},
      {"没找到 ffmpeg，视频导出已取消（拆分菜单里有「选择 ffmpeg 路径…」）。", true},
  };
  for (const auto& [text, failure] : texts) EXPECT_EQ(ui::IsFailureStatus(text), failure) << text;
}

}  // namespace
}  // namespace vesk
