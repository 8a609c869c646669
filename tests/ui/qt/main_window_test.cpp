// The Qt main window over the real controller and edit area, on the
// in-memory sound system: what a person does with mouse and keyboard
// reaches the controller, and what the controller says is on screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTextDocumentFragment>
#include <QThread>
#include <QToolButton>
#include <cmath>
#include <thread>

#include "audio/memory_device_backend.h"
#include "audio/memory_streams.h"
#include "core/settings_store.h"
#include "doc/audio_doc.h"
#include "media/audio_loader.h"
#include "media/wav_sink.h"
#include "platform/text.h"
#include "support/qt/qt_rig.h"
#include "support/signal.h"
#include "support/test_support.h"
#include "ui/control_ids.h"
#include "ui/edit_area.h"
#include "ui/qt/main_window_qt.h"
#include "ui/qt/wave_widget_qt.h"

namespace vesk::ui::qt {
namespace {

// A stereo WAV: `quiet` seconds of silence, then `loud` seconds of a 440 Hz
// tone at 0.8.
std::filesystem::path WriteClip(const std::filesystem::path& path, double quiet, double loud) {
  const AudioFormat format{48000, 2, 16};
  const size_t quietFrames = size_t(quiet * 48000), frames = quietFrames + size_t(loud * 48000);
  std::vector<float> samples(frames * 2);
  for (size_t i = quietFrames; i < frames; ++i)
    samples[2 * i] = samples[2 * i + 1] = 0.8f * float(std::sin(2 * M_PI * 440.0 * double(i) / 48000.0));
  std::string error;
  EXPECT_TRUE(WriteWavFile(path, format, samples, error, 16)) << error;
  return path;
}

QRgb Rgb(unsigned c) { return qRgb((c >> 16) & 0xff, (c >> 8) & 0xff, c & 0xff); }

// Drops local files on `target` the way a file manager does.
void Drop(QWidget* target, const std::vector<std::filesystem::path>& files) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const auto& f : files) urls << QUrl::fromLocalFile(QString::fromUtf8(PathToUtf8(f).c_str()));
  mime.setUrls(urls);
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
  QApplication::sendEvent(target, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, {});
  QApplication::sendEvent(target, &drop);
}

void Wheel(QWidget* target, QPoint at, int notches) {
  QWheelEvent e(at, target->mapToGlobal(QPointF(at)), {}, QPoint(0, notches * 120), Qt::NoButton, {},
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(target, &e);
}

void Drag(QWidget* target, int x1, int x2) {
  const int y = target->height() / 2;
  QTest::mousePress(target, Qt::LeftButton, {}, QPoint(x1, y));
  QTest::mouseMove(target, QPoint((x1 + x2) / 2, y));
  QTest::mouseMove(target, QPoint(x2, y));
  QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(x2, y));
}

class QtMainWindow : public ::testing::Test {
 protected:
  // A window over the in-memory sound system: a default microphone, default
  // speakers and unplugged headphones; settings in the scratch folder.
  void Open(const std::vector<std::string>& ini = {"Format=0"}) {
    auto* backend = new MemoryDeviceBackend({{"mic1", "USB 麦克风", false, true, kDeviceActive},
                                             {"spk1", "扬声器", true, true, kDeviceActive},
                                             {"spk2", "耳机", true, false, kDeviceUnplugged}});
    AppParts parts;
    parts.devices.reset(backend);
    parts.microphone = std::make_unique<MemoryCaptureStream>(backend, 1);
    parts.loopback = std::make_unique<MemoryCaptureStream>(backend, 2);
    parts.playback = std::make_unique<MemoryPlaybackStream>(backend);
    window_ = std::make_unique<MainWindow>();
    controller_ = test::AttachController(*window_, std::move(parts), test::WindowOptions(dir_, ini));
    window_->Start();
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }
  std::string Status() const { return Text("status"); }
  std::string Text(const char* key) const {
    return qobject_cast<QLabel*>(window_->ViewByKey(key))->text().toStdString();
  }
  template <typename T>
  T* Control(int id) const {
    return qobject_cast<T*>(window_->ControlById(id));
  }
  AudioDoc& Doc() { return window_->Controller().Document(); }

  test::ScratchDir dir_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<AppController> controller_;
};

TEST_F(QtMainWindow, RoutesDropDownsMenusKeysAndButtonsToTheController) {
  Open();
  test::SaveScreen(*window_, "main-empty");
  EXPECT_EQ(Status(), "就绪。选好声音来源，点「开始录音」。");
  auto* capture = Control<QComboBox>(kIdCaptureDevice);
  EXPECT_NE(capture->findText("USB 麦克风", Qt::MatchContains), -1);
  EXPECT_TRUE(Control<QPushButton>(kIdRecord)->isEnabled());

  // With the edit area empty, arrows in a drop-down choose in it: WAV
  // enables the bit depth at 24 bit.
  auto* format = Control<QComboBox>(kIdFormat);
  auto* bits = Control<QComboBox>(kIdBitDepth);
  EXPECT_FALSE(bits->isEnabled());
  format->setFocus();
  QTest::keyClick(format, Qt::Key_Down);
  EXPECT_EQ(format->currentText().toStdString(), "WAV(无损)");
  EXPECT_TRUE(bits->isEnabled());
  EXPECT_EQ(bits->currentText().toStdString(), "24bit");

  // A split button's menu: the choice goes back to the controller and is
  // checked the next time the menu opens.
  auto* saveWav = Control<QToolButton>(kIdSaveWav);
  test::DialogScript script;
  script.Then(test::DialogScript::ChooseMenuItem("位深 16bit"));
  saveWav->showMenu();
  EXPECT_EQ(Status().rfind("导出位深已更新。当前：", 0), 0u) << Status();
  bool checked = false;
  script.Then(test::DialogScript::Inspect([&](QWidget* menu) {
    for (QAction* a : static_cast<QMenu*>(menu)->actions())
      if (a->text() == QStringLiteral("位深 16bit")) checked = a->isChecked();
  }));
  saveWav->showMenu();
  EXPECT_TRUE(checked);

  // The keyboard's menu key opens the window's menu.
  std::vector<std::string> items;
  script.Then(test::DialogScript::Inspect([&](QWidget* menu) {
    for (QAction* a : static_cast<QMenu*>(menu)->actions()) items.push_back(a->text().toStdString());
  }));
  QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(0, 0), QPoint(0, 0));
  QApplication::sendEvent(window_.get(), &menuKey);
  EXPECT_EQ(items, (std::vector<std::string>{"打开日志文件夹", "导出诊断日志到桌面…"}));
  ASSERT_TRUE(script.Done());

  // With a clip loaded, Space in a drop-down opens the list (the edit area
  // passes it on); in the waveform it plays and stops. The clip is long
  // enough that a loaded machine cannot let it play to its end in between.
  ASSERT_TRUE(window_->Controller().Edit().OpenForEdit(WriteClip(dir_ / "clip.wav", 4.0, 4.0)));
  auto* play = Control<QPushButton>(kIdPlay);
  format->setFocus();
  QTest::keyClick(format, Qt::Key_Space);
  EXPECT_NE(QApplication::activePopupWidget(), nullptr);
  EXPECT_EQ(play->text().toStdString(), "▶ 播放 (Space)");
  QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
  WaveWidget* wave = window_->Wave();
  QTest::mouseClick(wave, Qt::LeftButton, {}, QPoint(10, wave->height() / 2));
  QTest::keyClick(wave, Qt::Key_Space);
  EXPECT_EQ(play->text().toStdString(), "■ 停止 (Space)");
  QTest::keyClick(wave, Qt::Key_Space);
  EXPECT_EQ(play->text().toStdString(), "▶ 播放 (Space)");
  // A right click on the waveform that does not pan opens the window's menu,
  // as on Windows.
  items.clear();
  script.Then(test::DialogScript::Inspect([&](QWidget* menu) {
    for (QAction* a : static_cast<QMenu*>(menu)->actions()) items.push_back(a->text().toStdString());
  }));
  QTest::mouseClick(wave, Qt::RightButton, {}, QPoint(20, wave->height() / 2));
  EXPECT_EQ(items, (std::vector<std::string>{"打开日志文件夹", "导出诊断日志到桌面…"}));
  ASSERT_TRUE(script.Done());

  // Buttons and keys edit: select all, delete, then Ctrl+Z brings it back.
  const uint64_t frames = Doc().Frames();
  QTest::mouseClick(Control<QPushButton>(kIdSelectAll), Qt::LeftButton);
  EXPECT_EQ(Doc().SelectionEnd() - Doc().SelectionStart(), frames);
  Drag(wave, wave->width() / 4, wave->width() / 2);
  QTest::mouseClick(Control<QPushButton>(kIdDelete), Qt::LeftButton);
  EXPECT_LT(Doc().Frames(), frames);
  EXPECT_TRUE(Control<QPushButton>(kIdUndo)->isEnabled());
  QTest::keyClick(Control<QPushButton>(kIdDelete), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Doc().Frames(), frames);
  EXPECT_NE(Text("editorInfo").find("48000 Hz"), std::string::npos) << Text("editorInfo");

  // The level tools' menu edits the selection: a fade in starts it from silence.
  Drag(wave, wave->width() / 4, wave->width() / 2);
  const uint64_t from = Doc().SelectionStart();
  script.Then(test::DialogScript::ChooseMenuItem("淡入"));
  Control<QToolButton>(kIdLoudness)->showMenu();
  ASSERT_TRUE(script.Done());
  EXPECT_EQ(Doc().CopySamples()[from * Doc().Format().channels], 0.0f);
  EXPECT_EQ(Doc().UndoCount(), 1u);
}

TEST_F(QtMainWindow, DropsAskBeforeReplacingEditsAndClosingKeepsThePlacement) {
  Open();
  const auto clip = WriteClip(dir_ / "clip.wav", 1.0, 1.0);
  const auto other = WriteClip(dir_ / "other.wav", 0.5, 0.5);
  test::WriteBytes(dir_ / "notes.txt", {'h', 'i'});
  WaveWidget* wave = window_->Wave();
  test::DialogScript script;

  // Several files: only the first is loaded.
  Drop(wave, {clip, other, dir_ / "notes.txt"});
  EXPECT_EQ(Doc().Frames(), 96000u);
  EXPECT_EQ(Status().rfind("已载入：clip.wav", 0), 0u) << Status();
  Drop(wave, {dir_ / "notes.txt"});
  EXPECT_EQ(Status(), "拖进来的不是认识的音频/视频格式（wav/mp3/m4a/aac/wma/flac/ogg/opus/mp4/mov/mkv/webm）。");

  // An edit not exported yet: replacing it is asked first, and No keeps it.
  Drag(wave, wave->width() / 4, wave->width() / 2);
  QTest::keyClick(wave, Qt::Key_Delete);
  const uint64_t edited = Doc().Frames();
  ASSERT_LT(edited, 96000u);
  script.Then(script.AnswerBox(false));
  Drop(wave, {other});
  EXPECT_EQ(Doc().Frames(), edited);
  EXPECT_EQ(Status(), "已取消载入，剪辑区里的内容没动。");
  ASSERT_EQ(script.BoxTexts().size(), 1u);
  EXPECT_NE(script.BoxTexts()[0].find("现在这些改动还没导出"), std::string::npos) << script.BoxTexts()[0];

  // Closing asks too; No keeps the window, Yes closes it and saves where it was.
  window_->resize(900, 660);
  const QRect placed = window_->geometry();
  script.Then(script.AnswerBox(false));
  EXPECT_FALSE(window_->close());
  EXPECT_TRUE(window_->isVisible());
  ASSERT_EQ(script.BoxTexts().size(), 2u);
  EXPECT_EQ(script.BoxTexts()[1].rfind("剪辑区有未导出的编辑结果，退出后会丢失。", 0), 0u) << script.BoxTexts()[1];
  script.Then(script.AnswerBox(true));
  EXPECT_TRUE(window_->close());
  ASSERT_TRUE(script.Done());

  IniStore ini(dir_ / "VeskRecorder.ini");
  ini.Load();
  EXPECT_EQ(ini.GetString("MainRect"), std::to_string(placed.left()) + "," + std::to_string(placed.top()) + "," +
                                           std::to_string(placed.right() + 1) + "," +
                                           std::to_string(placed.bottom() + 1));
  controller_.reset();
  window_.reset();
  Open({});
  EXPECT_EQ(window_->size(), QSize(900, 660));
}

// A failure on the status line: the whole text on hover (a tooltip that
// wraps) and, from a click on the line, in a box where it can be selected.
// A status without failure opens nothing.
TEST_F(QtMainWindow, AFailedOpenShowsItsWholeTextOnHoverAndInTheDetailsBox) {
  Open();
  window_->resize(1600, 660);
  const auto broken = dir_.path() / PathFromUtf8("客户发来的会议录音（第三版，已剪掉开头的寒暄，请直接从第二段开始听）.wav");
  test::WriteBytes(broken, {'R', 'I', 'F', 'F', 'j', 'u', 'n', 'k'});
  test::WriteBytes(dir_ / "notes.txt", {'h', 'i'});
  auto* status = qobject_cast<QLabel*>(window_->ViewByKey("status"));
  ASSERT_NE(status, nullptr);
  test::DialogScript script;

  script.Then(script.AnswerBox(true));  // the open's own warning
  Drop(window_->Wave(), {broken});
  ASSERT_TRUE(script.Done());
  const std::string whole = Status();
  EXPECT_TRUE(status->property("hasDetails").toBool()) << whole;
  EXPECT_EQ(status->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(QTextDocumentFragment::fromHtml(status->toolTip()).toPlainText().toStdString(), whole);

  std::string shown;
  bool readOnly = false, selectable = false;
  script.Then([&](QWidget* box) {
    if (box->objectName() != "detailsBox") return false;
    auto* field = box->findChild<QPlainTextEdit*>("detailsText");
    if (field == nullptr) return false;
    shown = field->toPlainText().toStdString();
    readOnly = field->isReadOnly();
    selectable = (field->textInteractionFlags() & Qt::TextSelectableByMouse) != 0;
    test::WaitFor([] { return false; }, 300);  // mapped and painted before the picture
    test::SaveDesktop("qt-status-details");
    QTest::mouseClick(box->findChild<QPushButton*>("close"), Qt::LeftButton);
    return true;
  });
  QTest::mouseClick(status, Qt::LeftButton);
  ASSERT_TRUE(script.Done());
  EXPECT_EQ(shown, whole);
  EXPECT_TRUE(readOnly);
  EXPECT_TRUE(selectable);

  Drop(window_->Wave(), {dir_ / "notes.txt"});
  EXPECT_FALSE(status->property("hasDetails").toBool());
  EXPECT_EQ(status->cursor().shape(), Qt::ArrowCursor);
  QTest::mouseClick(status, Qt::LeftButton);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The waveform of a real clip: envelope only where it is loud, the selection
// a drag made between the right x, the play head, and the scroll strip once
// the wheel zoomed in.
TEST_F(QtMainWindow, PaintsTheEnvelopeSelectionPlayHeadAndScrollStripOfAnOpenedClip) {
  Open();
  ASSERT_TRUE(window_->Controller().Edit().OpenForEdit(WriteClip(dir_ / "clip.wav", 2.0, 2.0)));
  WaveWidget& wave = *window_->Wave();
  const int w = wave.width(), h = wave.height();

  Drag(&wave, 80, 200);
  WaveScene scene = window_->Controller().Edit().Scene(w, h);
  ASSERT_TRUE(scene.hasSelection);
  EXPECT_NEAR(scene.selectionLeft, 80, 1);
  EXPECT_NEAR(scene.selectionRight, 200, 1);
  ASSERT_FALSE(scene.lanes.empty());
  test::SaveScreen(*window_, "main-clip-selection");

  QImage image = wave.grab().toImage();
  const EnvelopeLane& lane = scene.lanes[0];
  const int nearTop = lane.top + lane.height / 5;
  const QRgb background = Rgb(wave_colors::kBackground);
  EXPECT_EQ(image.pixel(w * 3 / 4, nearTop), Rgb(wave_colors::kEnvelope)) << "loud half";
  EXPECT_EQ(image.pixel(w * 3 / 8, nearTop), background) << "quiet half outside the selection";
  EXPECT_GT(qGray(image.pixel(140, nearTop)), qGray(background) + 20) << "inside the selection";
  EXPECT_EQ(image.pixel(204, nearTop), background) << "right of the selection";
  ASSERT_TRUE(scene.hasPlayHead);
  EXPECT_EQ(image.pixel(scene.playHeadX, lane.top + 2), Rgb(wave_colors::kPlayHead));
  EXPECT_FALSE(scene.hasScrollStrip);

  Wheel(&wave, QPoint(w / 2, h / 2), 3);
  scene = window_->Controller().Edit().Scene(w, h);
  ASSERT_TRUE(scene.hasScrollStrip);
  image = wave.grab().toImage();
  const LayoutRect& thumb = scene.scrollThumb;
  EXPECT_EQ(image.pixel(thumb.x + thumb.w / 2, thumb.y + thumb.h / 2), Rgb(wave_colors::kScrollThumb));
  const int beside = thumb.x > 20 ? thumb.x - 8 : thumb.x + thumb.w + 8;
  EXPECT_EQ(image.pixel(beside, thumb.y + thumb.h / 2), Rgb(wave_colors::kScrollTrack));
  test::SaveScreen(*window_, "main-clip-zoomed");
}

// The dialogs behind the controller's questions, pickers, track choice and
// long work, and the donation window.
TEST_F(QtMainWindow, DialogsAnswerAsAPersonDoesAndKeepTheWindowAlive) {
  Open();
  MainWindow& w = *window_;
  test::DialogScript script;

  // A question starts on its default button; Escape never answers Yes.
  script.Then(test::DialogScript::PressKey(Qt::Key_Return));
  EXPECT_EQ(w.ShowBox(BoxKind::Question, "t", "q1", BoxButtons::YesNo, BoxAnswer::No), BoxAnswer::No);
  script.Then(test::DialogScript::PressKey(Qt::Key_Return));
  EXPECT_EQ(w.ShowBox(BoxKind::Question, "t", "q2", BoxButtons::YesNo, BoxAnswer::Yes), BoxAnswer::Yes);
  script.Then(test::DialogScript::PressKey(Qt::Key_Escape));
  EXPECT_EQ(w.ShowBox(BoxKind::Question, "t", "q3", BoxButtons::YesNo, BoxAnswer::Yes), BoxAnswer::No);

  // A save name typed without an extension gets the filter's; cancel picks nothing.
  FileDialogRequest save{true, "另存为", dir_.path(), "录音.wav", {{"WAV 文件", {"wav"}}}};
  std::filesystem::path chosen;
  script.Then(test::DialogScript::AcceptFile(dir_ / "剪辑"));
  ASSERT_TRUE(w.PickFile(save, chosen));
  EXPECT_EQ(chosen, dir_ / "剪辑.wav");
  script.Then(test::DialogScript::CancelDialog());
  EXPECT_FALSE(w.PickFile(save, chosen));
  ASSERT_TRUE(script.Done());

  // The track dialog: audition feedback, a second row chosen, import.
  TrackDialogModel tracks;
  tracks.title = "选择音轨 - 电影.mkv";
  tracks.intro = "这个文件里有 2 条音轨。选一条导入（拿不准就先试听）；";
  tracks.note = "只剪这一条：其余音轨导出视频时原样保留；「全部混入一条」= 替换掉所有原轨。";
  tracks.trackLabels = {"轨道 1 · 48000 Hz · 立体声", "轨道 2 · 48000 Hz · 立体声 · Commentary（eng）"};
  std::vector<int> auditioned;
  int stops = 0;
  tracks.audition = [&](int track) {
    auditioned.push_back(track);
    return TrackDialogModel::Feedback{"正在试听：" + tracks.trackLabels[size_t(track)] + "（10 秒）", true};
  };
  tracks.stopAudition = [&] {
    ++stops;
    return TrackDialogModel::Feedback{"已停止试听。", false};
  };
  std::string auditionStatus;
  script.Then([&](QWidget* dialog) {
    if (dialog->objectName() != "trackDialog") return false;
    dialog->findChild<QListWidget*>("tracks")->setCurrentRow(1);
    QTest::mouseClick(dialog->findChild<QPushButton*>("audition"), Qt::LeftButton);
    auditionStatus = dialog->findChild<QLabel*>("status")->text().toStdString();
    EXPECT_TRUE(dialog->findChild<QPushButton*>("stopAudition")->isEnabled());
    test::SaveScreen(*dialog, "track-dialog");
    QTest::mouseClick(dialog->findChild<QPushButton*>("import"), Qt::LeftButton);
    return true;
  });
  const TrackDialogResult picked = w.ShowTrackDialog(tracks);
  EXPECT_EQ(picked.action, 1);
  EXPECT_EQ(picked.track, 1);
  EXPECT_EQ(auditioned, std::vector<int>{1});
  EXPECT_EQ(auditionStatus, "正在试听：" + tracks.trackLabels[1] + "（10 秒）");
  EXPECT_EQ(stops, 1) << "closing the dialog stops a running audition";

  // The number form: the note follows the typed value; OK returns it,
  // cancel leaves the values alone.
  NumberDialogModel gain;
  gain.title = "整段音量";
  gain.fields = {{"音量调整", "dB", 3.0, -40, 40, 0.5, 1}};
  gain.note = [](const std::vector<double>& v) { return v[0] > 2.0 ? std::string("会削波") : std::string("不削波"); };
  std::string noteBefore, noteAfter;
  script.Then([&](QWidget* dialog) {
    if (dialog->objectName() != "numberDialog") return false;
    auto* note = dialog->findChild<QLabel*>("note");
    noteBefore = note->text().toStdString();
    dialog->findChild<QDoubleSpinBox*>("numberField0")->setValue(-6.5);
    noteAfter = note->text().toStdString();
    test::SaveScreen(*dialog, "number-dialog");
    QTest::mouseClick(dialog->findChild<QPushButton*>("ok"), Qt::LeftButton);
    return true;
  });
  std::vector<double> values;
  EXPECT_TRUE(w.AskNumbers(gain, values));
  EXPECT_EQ(values, std::vector<double>{-6.5});
  EXPECT_EQ(noteBefore, "会削波");
  EXPECT_EQ(noteAfter, "不削波");
  script.Then(test::DialogScript::CancelDialog());
  EXPECT_FALSE(w.AskNumbers(gain, values));
  EXPECT_EQ(values, std::vector<double>{-6.5});
  ASSERT_TRUE(script.Done());

  // The donation window exists once, however often it is asked for.
  w.ShowDonationWindow();
  w.ShowDonationWindow();
  const auto donations = w.findChildren<QWidget*>("donation");
  ASSERT_EQ(donations.size(), 1);
  EXPECT_EQ(donations[0]->windowTitle().toStdString(), "捐赠作者 · 支付宝收款码");
  test::SaveScreen(*donations[0], "donation");
  donations[0]->close();

  // Under the progress window the main window refuses to close and takes
  // no input; cancel is seen by the next step. Work finished on another
  // thread meanwhile waits for the progress window, then runs on the
  // window's thread.
  WindowPort& port = controller_->Port();
  port.ProgressBegin("正在保存", true);
  QThread* ran = nullptr;
  std::thread worker([&] { port.PostToUi([&] { ran = QThread::currentThread(); }); });
  worker.join();
  EXPECT_TRUE(port.ProgressStep(10, "写入…"));
  EXPECT_FALSE(test::WaitFor([&] { return ran != nullptr; }, 300));
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible());
  auto* progress = w.findChild<QProgressDialog*>("progress");
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(QApplication::activeModalWidget(), progress);
  QTest::keyClick(progress, Qt::Key_Escape);
  EXPECT_FALSE(port.ProgressStep(20, "写入…"));
  port.ProgressEnd();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(test::WaitFor([&] { return ran != nullptr; }, 2000));
  EXPECT_EQ(ran, QApplication::instance()->thread());
}

}  // namespace
}  // namespace vesk::ui::qt

namespace vesk::ui::qt {
namespace {

// No plug-in installed: the switch renders with the built-in engine, the
// denoise menu offers it and the noise sample, selection denoise changes
// only the selection and undoes, and a saved WAV is the denoised clip.
TEST_F(QtMainWindow, BuiltInDenoiseWithoutAPluginFromSwitchToSavedFile) {
  test::ScratchDir noPlugins;
  setenv("VESK_VST3_PATH", PathToUtf8(noPlugins.path()).c_str(), 1);
  Open();
  // Two seconds of hiss, then tone bursts over it.
  const AudioFormat format{48000, 1, 16};
  std::vector<float> samples = test::Noise(48000 * 5, 0.01f);
  for (size_t i = 96000; i < samples.size(); ++i)
    if ((i / 12000) % 2 == 1) samples[i] += 0.3f * float(std::sin(2 * M_PI * 440.0 * double(i) / 48000.0));
  std::string error;
  ASSERT_TRUE(WriteWavFile(dir_ / "noisy.wav", format, samples, error, 16)) << error;
  ASSERT_TRUE(window_->Controller().Edit().OpenForEdit(dir_ / "noisy.wav"));

  auto* denoise = Control<QToolButton>(kIdDenoise);
  QTest::mouseClick(denoise, Qt::LeftButton);
  EXPECT_EQ(denoise->text().toStdString(), "降噪 开");
  ASSERT_TRUE(test::WaitFor([&] { return Status().rfind("降噪已就绪", 0) == 0; }, 20000)) << Status();
  EXPECT_NE(Status().find("噪声样本：自动取最安静的 2 秒（0:00.0–0:02.0）"), std::string::npos) << Status();

  std::vector<std::string> items;
  test::DialogScript script;
  script.Then(test::DialogScript::Inspect([&](QWidget* menu) {
    for (QAction* a : static_cast<QMenu*>(menu)->actions()) items.push_back(a->text().toStdString());
    test::SaveScreen(*menu, "denoise-menu-builtin");
  }));
  denoise->showMenu();
  EXPECT_EQ(items, (std::vector<std::string>{"激进（降噪更深）", "均衡（默认力度）", "轻柔（降噪更浅）", "", "引擎：内置降噪", "",
                                             "把选区设为噪声样本"}));

  const std::vector<float> before = Doc().CopySamples();
  Doc().SetSelection(120000, 168000);
  QTest::mouseClick(Control<QToolButton>(kIdDenoiseSelection), Qt::LeftButton);
  EXPECT_EQ(Status().rfind("选区已降噪（档位：均衡", 0), 0u) << Status();
  EXPECT_LT(test::RmsOfRange(Doc().CopySamples(), 121000, 131000), 0.5 * test::RmsOfRange(before, 121000, 131000));
  QTest::keyClick(window_->Wave(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(Doc().CopySamples() == before);

  const auto saved = dir_ / "降噪后.wav";
  script.Then(test::DialogScript::AcceptFile(saved));
  QTest::mouseClick(Control<QToolButton>(kIdSaveWav), Qt::LeftButton);
  ASSERT_TRUE(script.Done());
  EXPECT_NE(Status().find("已降噪（内置降噪·均衡）"), std::string::npos) << Status();
  test::SaveScreen(*window_, "main-builtin-denoise-saved");
  AudioFormat out;
  std::vector<float> written;
  ASSERT_TRUE(LoadAudioFile(saved, out, written, error)) << error;
  ASSERT_EQ(written.size(), before.size());
  EXPECT_LT(test::RmsOfRange(written, 24000, 72000), 0.3 * test::RmsOfRange(before, 24000, 72000));
  unsetenv("VESK_VST3_PATH");
}

}  // namespace
}  // namespace vesk::ui::qt
