// The edit area's file commands over real media made by the ffmpeg program:
// opening (with the track dialog), saving as WAV, the edited-video export
// and its read-back check, driven through a scripted view port.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>

#include "audio/playback_stream.h"
#include "denoise/denoise_engine.h"
#include "denoise/denoise_fixture.h"
#include "doc/audio_doc.h"
#include "doc/save_naming.h"
#include "media/wav_sink.h"
#include "platform/save_staging.h"
#include "platform/text.h"
#include "ui/control_ids.h"
#include "ui/denoise_controller.h"
#include "ui/edit_area.h"
#include "ui/edit_rig.h"
#include "video/linux/video_media.h"

namespace vesk::ui {
namespace {

class SilentPlayback final : public PlaybackStream {
 public:
  void Stop() override {
    running_.store(false);
    ForgetBuffer();
  }
  uint64_t BufferFrames() const { return frames_; }

 protected:
  bool StartDevice(std::string&) override { return true; }
};

class EditFiles : public test::VideoTest {
 protected:
  void SetUp() override {
    test::VideoTest::SetUp();
    if (IsSkipped()) return;
    settings.outputDir = dir / "rec" / "";
    std::filesystem::create_directories(settings.outputDir);
    area = std::make_unique<EditArea>(EditContext{&window.port, &doc, &playback, nullptr, &settings, &host});
    host.area = area.get();
  }

  // 3 s of 25 fps H.264 with three FLAC tracks: a 300 Hz tone, pink noise
  // titled "Commentary" (eng), and mono silence.
  std::filesystem::path MakeThreeTracks(const std::string& name) {
    const auto file = dir / name;
    test::Make("-f lavfi -i testsrc=size=160x120:rate=25:d=3 -f lavfi -i sine=f=300:r=48000:d=3 "
               "-f lavfi -i anoisesrc=color=pink:amplitude=0.3:seed=7:r=48000:d=3 "
               "-f lavfi -i anullsrc=r=48000:cl=mono -t 3 "
               "-map 0:v -map 1:a -map 2:a -map 3:a -c:v libx264 -pix_fmt yuv420p -c:a flac -ac:a:0 2 -ac:a:1 2 "
               "-metadata:s:a:1 title=Commentary -metadata:s:a:1 language=eng " +
               test::Q(file));
    return file;
  }

  std::filesystem::path MakeWav(const std::string& name) {
    const auto file = dir / name;
    test::Make("-f lavfi -i sine=f=440:r=48000:d=2 -ac 2 -c:a pcm_s16le " + test::Q(file));
    return file;
  }

  const std::string& Status() const { return window.port.StatusText(); }

  test::PartsWindow window;
  test::ScriptedView& view = window.view;
  test::PartsHost host;
  AudioDoc doc;
  SilentPlayback playback;
  SettingsState settings;
  std::unique_ptr<EditArea> area;
};

TEST_F(EditFiles, SingleTrackFilesSkipTheDialogAndTheOpenFolderIsSavedOnlyWhenItChanges) {
  const auto first = MakeWav("a.wav");
  const auto second = MakeWav("b.wav");

  ASSERT_TRUE(area->OpenForEdit(first));
  EXPECT_EQ(view.trackDialogs, 0);
  EXPECT_EQ(view.statusHistory.front(), "正在载入…（大文件需要几秒）");
  EXPECT_EQ(Status(), "已载入：a.wav（00:00:02.0）");
  EXPECT_EQ(doc.Frames(), 96000u);
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(settings.openDir, dir.path());
  EXPECT_EQ(host.settingsSaves, 1);
  ASSERT_TRUE(area->OpenForEdit(second));
  EXPECT_EQ(host.settingsSaves, 1);  // same folder: the settings file is not rewritten

  // Refused while recording, whichever way the file came.
  host.recording = true;
  const uint64_t revision = doc.Revision();
  EXPECT_FALSE(area->OpenForEdit(first));
  area->HandleCommand(kIdOpenMedia);
  EXPECT_EQ(Status(), "正在录音，先按「■ 停止录音」再打开文件。");
  EXPECT_TRUE(view.fileRequests.empty());
  EXPECT_EQ(doc.Revision(), revision);
  host.recording = false;

  // A file nothing can decode: the decoder's message in the status line and
  // a box, and an empty edit area.
  test::WriteBytes(dir / "junk.mp4", {'n', 'o', 't', ' ', 'v', 'i', 'd', 'e', 'o'});
  view.fileAnswers.push_back(dir / "junk.mp4");
  area->HandleCommand(kIdOpenMedia);
  ASSERT_EQ(view.fileRequests.size(), 1u);
  EXPECT_EQ(view.fileRequests[0].folder, dir.path());
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].title, "打不开这个文件");
  EXPECT_EQ(view.boxes[0].kind, BoxKind::Warning);
  EXPECT_FALSE(view.boxes[0].text.empty());
  EXPECT_EQ(Status(), view.boxes[0].text);
  EXPECT_EQ(doc.Frames(), 0u);

  // The video export refuses material that did not come from a video.
  ASSERT_TRUE(area->OpenForEdit(first));
  area->HandleCommand(kIdSaveVideo);
  EXPECT_EQ(Status(), "当前素材不是从视频导入的，没有画面可以装回去 —— 只能用「剪辑后另存WAV / MP3」导出声音。");
}

TEST_F(EditFiles, TrackDialogAuditionsImportsMixesAndCancels) {
  const auto video = MakeThreeTracks("tracks.mkv");
  std::vector<std::string> auditionTexts;
  bool stopEnabled = false;
  uint64_t auditionFrames = 0;
  view.trackDialog = [&](const TrackDialogModel& m) {
    EXPECT_EQ(m.title, "选择音轨 - tracks.mkv");
    EXPECT_EQ(m.intro, "这个文件里有 3 条音轨。选一条导入（拿不准就先试听）；");
    EXPECT_EQ(m.note, "只剪这一条：其余音轨导出视频时原样保留；「全部混入一条」= 替换掉所有原轨。");
    EXPECT_EQ(m.trackLabels, (std::vector<std::string>{"轨道 1 · 48000 Hz · 立体声",
                                                        "轨道 2 · 48000 Hz · 立体声 · Commentary（eng）",
                                                        "轨道 3 · 48000 Hz · 单声道"}));
    auto f = m.audition(1);
    auditionTexts.push_back(f.status);
    stopEnabled = f.stopEnabled;
    auditionFrames = playback.Running() ? playback.BufferFrames() : 0;
    f = m.audition(2);  // silent track: the running audition stops first
    auditionTexts.push_back(f.status);
    EXPECT_FALSE(f.stopEnabled);
    EXPECT_FALSE(playback.Running());
    m.audition(0);
    f = m.stopAudition();
    auditionTexts.push_back(f.status);
    EXPECT_FALSE(playback.Running());
    return TrackDialogResult{1, 1};
  };
  ASSERT_TRUE(area->OpenForEdit(video));
  EXPECT_EQ(auditionTexts, (std::vector<std::string>{"正在试听：轨道 2 · 48000 Hz · 立体声 · Commentary（eng）（10 秒）",
                                                      "前 60 秒都是静音，换一条听听或直接选「导入」。",
                                                      "已停止试听。"}));
  EXPECT_TRUE(stopEnabled);
  EXPECT_EQ(auditionFrames, 144000u);  // the whole 3 s track: shorter than the 10 s clip
  EXPECT_FALSE(playback.Running());

  // Track 2 imported: tracks 1 and 3 stay untouched, and the hint says so.
  EXPECT_EQ(Status(), "已载入：tracks.mkv（00:00:03.0）。这是视频的声音：剪完可以用「剪辑后另存视频」装回原画面"
                           "（画面原样拷贝，不重新编码）；没导入的音轨 1、3 导出视频时原样保留。");
  const std::vector<float> noise = test::DecodeAudio(video, "0:a:1", dir.path());
  const std::vector<float> loaded = doc.CopySamples();
  ASSERT_EQ(loaded.size(), noise.size());
  for (size_t i = 0; i < noise.size(); i += 997) ASSERT_NEAR(loaded[i], noise[i], 1e-4) << i;

  // Mix: every track into one stereo clip, none left untouched.
  view.trackDialog = [](const TrackDialogModel&) { return TrackDialogResult{2, 0}; };
  ASSERT_TRUE(area->OpenForEdit(video));
  EXPECT_NE(Status().find("所有音轨已混成这一条，导出视频时替换全部原音轨"), std::string::npos) << Status();
  EXPECT_EQ(doc.Format().channels, 2u);

  // Cancel: the document stays as it was.
  view.trackDialog = [](const TrackDialogModel&) { return TrackDialogResult{0, 0}; };
  const uint64_t revision = doc.Revision();
  EXPECT_FALSE(area->OpenForEdit(video));
  EXPECT_EQ(Status(), "已取消载入。");
  EXPECT_EQ(doc.Revision(), revision);
}

TEST_F(EditFiles, CancelledSaveLeavesAnExistingFileByteIdenticalAndASavedOneIsReported) {
  ASSERT_TRUE(area->OpenForEdit(MakeWav("take.wav")));
  const auto target = dir / "keep.wav";
  const std::vector<uint8_t> old = {'R', 'I', 'F', 'F', 1, 2, 3, 4, 'o', 'l', 'd'};
  test::WriteBytes(target, old);

  view.fileAnswers.push_back(target);
  view.cancelWhen = [](int percent, const std::string&) { return percent >= 60; };
  area->HandleCommand(kIdSaveWav);
  EXPECT_EQ(view.fileRequests.back().fileName, "take_剪辑.wav");
  EXPECT_EQ(view.progressTitles.back(), "正在导出 WAV");
  EXPECT_EQ(Status(), "导出已取消，没有写出文件。");
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(target, bytes));
  EXPECT_EQ(bytes, std::string(old.begin(), old.end()));
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_FALSE(IsSaveStagingName(PathToUtf8(entry.path().filename()))) << entry.path();
  EXPECT_TRUE(settings.lastSaveDir.empty());

  view.fileAnswers.push_back(target);
  view.cancelWhen = {};
  const int saved = host.settingsSaves;
  area->HandleCommand(kIdSaveWav);
  // The menu's 24 bit differs from the 16-bit source; the rate stays 48000.
  EXPECT_EQ(Status(), "已导出：" + PathToUtf8(target) + "（" + FormatFileSize(std::filesystem::file_size(target)) +
                               " · 48000 Hz，位深 24bit（菜单选定））");
  EXPECT_EQ(std::filesystem::file_size(target), 44u + 96000u * 2 * 3);
  EXPECT_EQ(settings.lastSaveDir, dir.path() / "");
  EXPECT_EQ(host.settingsSaves, saved + 1);
  EXPECT_EQ(doc.DisplayName(), "keep.wav");
  EXPECT_EQ(view.progressEnds, int(view.progressTitles.size()));
}

// Past one WAV file's limit (lowered here) the save keeps every segment and
// the result line says so, with the size of them all.
TEST_F(EditFiles, SaveBeyondOneWavFileSaysItWasSplit) {
  ASSERT_TRUE(area->OpenForEdit(MakeWav("take.wav")));
  settings.exportBitDepth = 16;
  const auto target = dir / "long.wav";
  view.fileAnswers.push_back(target);
  const uint64_t old = SetSegmentThreshold(100000);
  area->HandleCommand(kIdSaveWav);
  SetSegmentThreshold(old);
  uint64_t bytes = 0;
  for (const auto& p : {target, SegmentPath(target, 1), SegmentPath(target, 2), SegmentPath(target, 3)})
    bytes += std::filesystem::file_size(p);
  EXPECT_FALSE(std::filesystem::exists(SegmentPath(target, 4)));
  EXPECT_EQ(Status(), "已导出：" + PathToUtf8(target) + "（" + FormatFileSize(bytes) +
                               " · 48000 Hz，文件超过 4 GB，已分段保存为 4 个文件（long.wav、long_01.wav…））");
}

// A picture MP4 cannot hold goes into MKV under a name nobody has; the
// existing MKV keeps its contents and the result line names the new file.
TEST_F(EditFiles, MkvFallbackNeverReplacesAnExistingMkvAndSaysWhichNameItTook) {
  const auto video = dir / "lossless.mkv";
  test::Make("-f lavfi -i testsrc=size=160x120:rate=25:d=2 -f lavfi -i sine=f=300:r=48000:d=2 -c:v ffv1 -c:a flac " +
             test::Q(video));
  ASSERT_TRUE(area->OpenForEdit(video));
  test::WriteText(dir / "out.mkv", "mine");
  view.fileAnswers.push_back(dir / "out.mp4");
  area->HandleCommand(kIdSaveVideo);
  const std::string& line = Status();
  EXPECT_EQ(line.rfind("已导出视频：" + PathToUtf8(dir / "out2.mkv") + "（", 0), 0u) << line;
  EXPECT_NE(line.find(" — 这个视频编码 MP4 装不下，已自动改用 MKV 容器（画面仍是原样拷贝）；out.mkv 已存在，没有覆盖，"
                      "新文件名为 out2.mkv。"),
            std::string::npos)
      << line;
  EXPECT_EQ(test::ReadText(dir / "out.mkv"), "mine");
  EXPECT_FALSE(std::filesystem::exists(dir / "out.mp4"));
  EXPECT_EQ(test::StreamMd5(dir / "out2.mkv", "0:v:0"), test::StreamMd5(video, "0:v:0"));
}

TEST_F(EditFiles, StartUpRemovesOnlyStagingFoldersOfEarlierRuns) {
  const auto folder = settings.outputDir;
  auto makeStaging = [&](const std::string& name) {
    std::filesystem::create_directory(folder / name);
    test::WriteBytes(folder / name / "take.wav", {'x'});
    return folder / name;
  };
  const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  auto age = [&](const std::filesystem::path& p) {
    for (const auto& e : std::filesystem::directory_iterator(p)) std::filesystem::last_write_time(e.path(), old);
    std::filesystem::last_write_time(p, old);
  };
  const auto stale = makeStaging(".vesk-save-00000000000000aa");
  const auto foreign = makeStaging(".vesk-save-notours");
  const auto withFolder = makeStaging(".vesk-save-00000000000000bb");
  std::filesystem::create_directory(withFolder / "inner");
  age(stale);
  age(foreign);
  age(withFolder);
  std::filesystem::create_directory_symlink(stale.parent_path() / "rec-link-target", folder / ".vesk-save-00000000000000cc");
  const auto busy = makeStaging(".vesk-save-00000000000000dd");  // another instance writing now
  std::filesystem::last_write_time(busy, old);

  area->RemoveStaleSaveFolders();
  EXPECT_FALSE(std::filesystem::exists(stale));
  EXPECT_TRUE(std::filesystem::exists(foreign));
  EXPECT_TRUE(std::filesystem::exists(withFolder));
  EXPECT_TRUE(std::filesystem::is_symlink(folder / ".vesk-save-00000000000000cc"));
  EXPECT_TRUE(std::filesystem::exists(busy / "take.wav"));
}

// The whole path: a 3-track video, track 2 imported, half a second deleted,
// exported as video over an existing file. A cancelled export and one naming
// the source leave everything as it was; the real one copies the picture
// and the other tracks bit for bit, puts the silence at the deleted range's
// source time and the rest of the edited track where it was, and the result
// line says it was checked.
TEST_F(EditFiles, VideoExportKeepsThePictureAndPutsTheCutAtItsSourceTime) {
  const auto video = MakeThreeTracks("tracks.mkv");
  view.trackDialog = [](const TrackDialogModel&) { return TrackDialogResult{1, 1}; };
  ASSERT_TRUE(area->OpenForEdit(video));
  const std::vector<float> original = doc.CopySamples();
  doc.SetSelection(48000, 72000);
  std::string error;
  ASSERT_TRUE(doc.DeleteSelection(error)) << error;
  const auto out = dir / "out.mkv";
  test::WriteBytes(out, {'o', 'l', 'd'});
  settings.videoCodecFlac = true;
  view.boxAnswers = {BoxAnswer::Yes, BoxAnswer::Yes, BoxAnswer::Yes};  // "删掉的段落会变成静音"

  view.fileAnswers.push_back(out);
  view.cancelWhen = [](int percent, const std::string&) { return percent >= 10; };
  area->HandleCommand(kIdSaveVideo);
  EXPECT_EQ(view.boxes.at(0).title, "删掉的段落会变成静音");
  EXPECT_EQ(view.fileRequests.back().fileName, "tracks_剪辑.mp4");
  EXPECT_EQ(Status(), "视频导出已取消，没有写出文件。");
  EXPECT_EQ(test::ReadText(out), "old");
  view.cancelWhen = {};
  view.fileAnswers.push_back(video);
  area->HandleCommand(kIdSaveVideo);
  EXPECT_EQ(Status(), "视频导出失败：输出文件不能和源视频是同一个文件 —— 那样会把源素材写坏。请换个文件名。");

  view.fileAnswers.push_back(out);
  area->HandleCommand(kIdSaveVideo);
  ASSERT_EQ(view.boxes.size(), 4u) << Status();  // three questions and the refusal
  const std::string& line = Status();
  EXPECT_EQ(line.rfind("已导出视频：" + PathToUtf8(out) + "（", 0), 0u) << line;
  EXPECT_NE(line.find(" — 另有 2 条原音轨原样保留（播放器里可切轨）"), std::string::npos) << line;
  EXPECT_NE(line.find(" — 已核对：画面 75 帧、3.00 秒与源视频一致，音轨长度吻合，抽查 "), std::string::npos) << line;
  EXPECT_EQ(line.find("MKV 容器"), std::string::npos) << "MKV was chosen, not retried: " << line;
  EXPECT_EQ(settings.lastSaveDir, dir.path() / "");

  EXPECT_EQ(test::StreamMd5(out, "0:v:0"), test::StreamMd5(video, "0:v:0"));
  EXPECT_EQ(test::StreamMd5(out, "0:a:0"), test::StreamMd5(video, "0:a:0"));
  EXPECT_EQ(test::StreamMd5(out, "0:a:2"), test::StreamMd5(video, "0:a:2"));
  const std::vector<float> edited = test::DecodeAudio(out, "0:a:1", dir.path());
  ASSERT_GE(edited.size(), original.size());
  const size_t ramp = 240;  // 5 ms fades at the cut
  for (size_t i = 0; i < original.size(); ++i) {
    const size_t frame = i / 2;
    if (frame >= 48000 && frame < 72000)
      ASSERT_EQ(edited[i], 0.0f) << "frame " << frame;
    else if (frame + ramp >= 48000 && frame < 72000 + ramp)
      ASSERT_LE(std::fabs(edited[i]), std::fabs(original[i]) + 1e-4f) << "frame " << frame;
    else
      ASSERT_NEAR(edited[i], original[i], 1e-4) << "frame " << frame;
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_FALSE(IsSaveStagingName(PathToUtf8(entry.path().filename()))) << entry.path();
  EXPECT_EQ(view.progressEnds, int(view.progressTitles.size()));  // no progress window left up
}


TEST_F(EditFiles, VideoExportWithTheDenoiseSwitchOnRendersTheTrackOrAsksFirst) {
  // Quiet noise under the test plug-in's gate, so a render lowers it.
  const auto video = dir / "quiet.mkv";
  test::Make("-f lavfi -i testsrc=size=160x120:rate=25:d=2 -f lavfi -i anoisesrc=amplitude=0.005:seed=3:r=48000:d=2 "
             "-map 0:v -map 1:a -c:v libx264 -pix_fmt yuv420p -c:a flac -ac 2 " +
             test::Q(video));
  struct {
    bool missing;
    BoxAnswer answer;
    const char* file;
    std::string status;  // start of the last status, then a part of it
    std::string note;
    bool denoised;
    bool builtin = false;  // no plug-in: the built-in engine renders
  } const cases[] = {
      {false, BoxAnswer::No, "denoised.mkv", "已导出视频：", "，已降噪（", true},
      {true, BoxAnswer::No, "builtin.mkv", "已导出视频：", "，已降噪（内置降噪·激进）", true, true},
      {true, BoxAnswer::Yes, "as-is.mkv", "已导出视频：", " — 音轨未降噪（插件不可用，选了无降噪导出） — ", false},
      {true, BoxAnswer::No, "declined.mkv", "降噪开着但没检测到 RX Voice De-noise —— 已取消视频导出。", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_TRUE(area->OpenForEdit(video));
    DenoiseContext d;
    d.port = &window.port;
    d.doc = &doc;
    d.settings = &settings;
    d.app = &host;
    d.discover = [&](DenoiseEngine& e) {
      e = DenoiseEngine{};
      e.discovered = true;
      if (c.builtin) ChooseBuiltinEngine(e, true);
      if (c.missing) return;
      e.modulePath = test::FixtureModule("voice_denoise");
      e.fileName = "VeskTest Voice De-noise.vst3";
      e.architecture = NativeArch();
      e.displayName = "VeskTest Voice De-noise";
    };
    DenoiseController denoise(d);
    denoise.Discover();
    settings.denoise = true;  // switched on without a background render (no tick runs here)
    settings.denoiseLevel = 0;
    settings.videoCodecFlac = true;
    host.denoise = &denoise;
    const std::vector<float> original = doc.CopySamples();
    const size_t before = view.statusHistory.size();
    view.boxAnswers = {c.answer};
    view.fileAnswers.push_back(dir / c.file);
    area->HandleCommand(kIdSaveVideo);
    host.denoise = nullptr;

    const std::string& line = Status();
    EXPECT_EQ(line.rfind(c.status, 0), 0u) << line;
    EXPECT_NE(line.find(c.note), std::string::npos) << line;
    EXPECT_EQ(view.boxes.size(), c.missing && !c.builtin ? 1u : 0u);
    view.boxes.clear();
    if (!std::filesystem::exists(dir / c.file)) {
      EXPECT_EQ(c.answer, BoxAnswer::No);
      continue;
    }
    if (c.denoised) {
      const std::vector<std::string> shown(view.statusHistory.begin() + std::ptrdiff_t(before), view.statusHistory.end());
      EXPECT_NE(std::find(shown.begin(), shown.end(),
                          c.builtin ? "正在跑降噪（内置降噪）…" : "正在跑降噪（VeskTest Voice De-noise）…"),
                shown.end());
    }
    // The edited track is the render at the export level (FLAC 24 bit keeps it), or the clip as it was.
    std::vector<float> expected = original;
    if (c.denoised) {
      DenoiseEngine engine;
      d.discover(engine);
      std::string error;
      ASSERT_TRUE(RunDenoise(engine, expected, 48000, 2, error, 0)) << error;
    }
    const std::vector<float> track = test::DecodeAudio(dir / c.file, "0:a:0", dir.path());
    ASSERT_GE(track.size(), expected.size());  // the track may run on to the picture's end
    double worst = 0;
    for (size_t i = 0; i < expected.size(); ++i) worst = std::max(worst, double(std::fabs(track[i] - expected[i])));
    EXPECT_LT(worst, 1e-6);
  }
}

}  // namespace
}  // namespace vesk::ui
