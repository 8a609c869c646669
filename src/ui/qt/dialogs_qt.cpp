#include "ui/qt/dialogs_qt.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>

#include "ui/qt/qt_text.h"

namespace vesk::ui::qt {

BoxAnswer RunMessageBox(QWidget* parent, BoxKind kind, const std::string& title, const std::string& text,
                        BoxButtons buttons, BoxAnswer defaultButton) {
  QMessageBox box(parent);
  box.setWindowTitle(Q(title));
  box.setText(Q(text));
  box.setIcon(kind == BoxKind::Information ? QMessageBox::Information
              : kind == BoxKind::Warning   ? QMessageBox::Warning
              : kind == BoxKind::Error     ? QMessageBox::Critical
                                           : QMessageBox::Question);
  if (buttons == BoxButtons::Ok) {
    QPushButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
    return BoxAnswer::Ok;
  }
  QPushButton* yes = box.addButton(QStringLiteral("是(&Y)"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("否(&N)"), QMessageBox::NoRole);
  box.setDefaultButton(defaultButton == BoxAnswer::Yes ? yes : no);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes ? BoxAnswer::Yes : BoxAnswer::No;
}

void RunDetailsBox(QWidget* parent, const std::string& title, const std::string& text) {
  QDialog dialog(parent);
  dialog.setWindowTitle(Q(title));
  dialog.setObjectName(QStringLiteral("detailsBox"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* field = new QPlainTextEdit(Q(text));
  field->setObjectName(QStringLiteral("detailsText"));
  field->setReadOnly(true);
  field->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  field->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  layout->addWidget(field);
  auto* row = new QHBoxLayout;
  row->addStretch();
  auto* close = new QPushButton(QStringLiteral("关闭"));
  close->setObjectName(QStringLiteral("close"));
  close->setDefault(true);
  QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
  row->addWidget(close);
  layout->addLayout(row);
  dialog.resize(560, 240);
  field->setFocus();
  dialog.exec();
}

bool RunNumberDialog(QWidget* parent, const NumberDialogModel& model, std::vector<double>& values) {
  QDialog dialog(parent);
  dialog.setWindowTitle(Q(model.title));
  dialog.setObjectName(QStringLiteral("numberDialog"));
  dialog.setMinimumWidth(300);
  auto* layout = new QVBoxLayout(&dialog);
  auto* form = new QFormLayout;
  std::vector<QDoubleSpinBox*> boxes;
  for (const NumberField& field : model.fields) {
    auto* box = new QDoubleSpinBox;
    box->setObjectName(QStringLiteral("numberField%1").arg(int(boxes.size())));
    box->setDecimals(field.decimals);
    box->setRange(field.min, field.max);
    box->setSingleStep(field.step);
    box->setValue(field.value);
    box->setSuffix(QStringLiteral(" ") + Q(field.unit));
    box->setMinimumWidth(140);
    form->addRow(Q(field.label), box);
    boxes.push_back(box);
  }
  layout->addLayout(form);
  auto* note = new QLabel;
  note->setObjectName(QStringLiteral("note"));
  note->setWordWrap(true);
  layout->addWidget(note);
  auto current = [&] {
    std::vector<double> v;
    for (QDoubleSpinBox* box : boxes) v.push_back(box->value());
    return v;
  };
  auto refresh = [&] {
    if (model.note) note->setText(Q(model.note(current())));
  };
  for (QDoubleSpinBox* box : boxes)
    QObject::connect(box, &QDoubleSpinBox::valueChanged, &dialog, [&](double) { refresh(); });
  refresh();
  note->setVisible(bool(model.note));

  auto* buttonRow = new QHBoxLayout;
  auto* ok = new QPushButton(QStringLiteral("确定"));
  auto* cancel = new QPushButton(QStringLiteral("取消"));
  ok->setObjectName(QStringLiteral("ok"));
  cancel->setObjectName(QStringLiteral("cancel"));
  ok->setDefault(true);
  buttonRow->addStretch(1);
  buttonRow->addWidget(ok);
  buttonRow->addWidget(cancel);
  layout->addLayout(buttonRow);
  QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
  if (!boxes.empty()) {
    boxes.front()->setFocus();
    boxes.front()->selectAll();
  }
  if (dialog.exec() != QDialog::Accepted) return false;
  values = current();
  return true;
}

TrackDialogResult RunTrackDialog(QWidget* parent, const TrackDialogModel& model) {
  QDialog dialog(parent);
  dialog.setWindowTitle(Q(model.title));
  dialog.setObjectName(QStringLiteral("trackDialog"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* intro = new QLabel(Q(model.intro));
  auto* note = new QLabel(Q(model.note));
  intro->setWordWrap(true);
  note->setWordWrap(true);
  layout->addWidget(intro);
  layout->addWidget(note);

  auto* list = new QListWidget;
  list->setObjectName(QStringLiteral("tracks"));
  for (const std::string& label : model.trackLabels) list->addItem(Q(label));
  if (list->count() > 0) list->setCurrentRow(0);
  // The list is as tall as its entries (up to ten) so none hides behind a scroll bar.
  const int rows = std::clamp(list->count(), 1, 10);
  const int rowHeight = std::max(list->sizeHintForRow(0), list->fontMetrics().height() + 4);
  list->setFixedHeight(rows * rowHeight + 2 * list->frameWidth() + 4);
  layout->addWidget(list);

  auto* auditionRow = new QHBoxLayout;
  auto* audition = new QPushButton(QStringLiteral("▶ 试听"));
  auto* stop = new QPushButton(QStringLiteral("■ 停止试听"));
  audition->setObjectName(QStringLiteral("audition"));
  stop->setObjectName(QStringLiteral("stopAudition"));
  stop->setEnabled(false);
  auto* status = new QLabel;
  status->setObjectName(QStringLiteral("status"));
  status->setWordWrap(true);
  status->setMinimumHeight(status->fontMetrics().height() * 2);
  status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auditionRow->addWidget(audition);
  auditionRow->addWidget(stop);
  auditionRow->addStretch(1);
  layout->addLayout(auditionRow);
  layout->addWidget(status);

  auto* buttonRow = new QHBoxLayout;
  auto* import = new QPushButton(QStringLiteral("导入选中的音轨"));
  auto* mix = new QPushButton(QStringLiteral("全部混入一条"));
  auto* cancel = new QPushButton(QStringLiteral("取消"));
  import->setObjectName(QStringLiteral("import"));
  mix->setObjectName(QStringLiteral("mix"));
  cancel->setObjectName(QStringLiteral("cancel"));
  import->setDefault(true);
  buttonRow->addStretch(1);
  buttonRow->addWidget(import);
  buttonRow->addWidget(mix);
  buttonRow->addWidget(cancel);
  layout->addLayout(buttonRow);

  auto apply = [&](const TrackDialogModel::Feedback& f) {
    status->setText(Q(f.status));
    stop->setEnabled(f.stopEnabled);
  };
  QObject::connect(audition, &QPushButton::clicked, &dialog, [&] {
    if (!model.audition) return;
    stop->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto feedback = model.audition(std::max(0, list->currentRow()));
    QApplication::restoreOverrideCursor();
    apply(feedback);
  });
  QObject::connect(stop, &QPushButton::clicked, &dialog, [&] {
    if (model.stopAudition) apply(model.stopAudition());
  });
  QObject::connect(import, &QPushButton::clicked, &dialog, [&] { dialog.done(1); });
  QObject::connect(mix, &QPushButton::clicked, &dialog, [&] { dialog.done(2); });
  QObject::connect(cancel, &QPushButton::clicked, &dialog, [&] { dialog.done(0); });

  dialog.resize(std::max(dialog.sizeHint().width(), 540), dialog.sizeHint().height());
  const int action = dialog.exec();
  if (model.stopAudition && stop->isEnabled()) model.stopAudition();
  TrackDialogResult result;
  result.action = action;
  const int row = list->currentRow();
  result.track = row >= 0 && row < list->count() ? row : 0;
  return result;
}

QImage DonationImage() {
  QImage image(320, 360, QImage::Format_RGB32);
  image.fill(QColor(0xf4, 0xf6, 0xf8));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(20, 20, 280, 320), 14, 14);
  // A plain square where a payment code would sit, crossed out.
  const QRectF code(90, 52, 140, 140);
  p.setPen(QPen(QColor(0xc5, 0xcb, 0xd3), 2, Qt::DashLine));
  p.setBrush(Qt::NoBrush);
  p.drawRect(code);
  p.drawLine(code.topLeft(), code.bottomRight());
  p.drawLine(code.topRight(), code.bottomLeft());
  QFont big;
  big.setPixelSize(20);
  big.setBold(true);
  p.setFont(big);
  p.setPen(QColor(0x33, 0x38, 0x40));
  p.drawText(QRectF(20, 210, 280, 34), Qt::AlignCenter, QStringLiteral("收款码尚未设置"));
  QFont small;
  small.setPixelSize(13);
  p.setFont(small);
  p.setPen(QColor(0x6b, 0x72, 0x7c));
  p.drawText(QRectF(36, 250, 248, 70), Qt::AlignCenter | Qt::TextWordWrap,
             QStringLiteral("这个版本还没有开通捐赠渠道。\n谢谢你愿意支持！"));
  return image;
}

namespace {

class DonationWindow : public QWidget {
 public:
  explicit DonationWindow(QWidget* parent) : QWidget(parent, Qt::Window), image_(DonationImage()) {
    setWindowTitle(QStringLiteral("捐赠作者 · 支付宝收款码"));
    setObjectName(QStringLiteral("donation"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(image_.size());
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.drawImage(0, 0, image_);
  }

 private:
  QImage image_;
};

}  // namespace

QWidget* CreateDonationWindow(QWidget* parent) { return new DonationWindow(parent); }

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2b, 0x2f, 0x36));
    p.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
    p.setBrush(QColor(0xe5, 0x39, 0x35));
    const double inset = size * 0.26;
    p.drawEllipse(QRectF(inset, inset, size - 2 * inset, size - 2 * inset));
    icon.addPixmap(pixmap);
  }
  return icon;
}

bool RevealInFileManager(const std::filesystem::path& file) {
  // The file managers of the common desktops select a file through this
  // interface; without one the folder opens instead.
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
  call << QStringList{QUrl::fromLocalFile(QPath(file)).toString()} << QString();
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (bus.isConnected() && bus.call(call, QDBus::Block, 3000).type() == QDBusMessage::ReplyMessage) return true;
  return OpenInFileManager(file.parent_path());
}

bool OpenInFileManager(const std::filesystem::path& folder) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QPath(folder)));
}

bool OpenInBrowser(const std::string& url) { return QDesktopServices::openUrl(QUrl(Q(url))); }

bool OpenSystemSoundSettings(std::string& error) {
  struct Candidate {
    const char* program;
    QStringList args;
  };
  // pavucontrol first: it shows every stream and device of PulseAudio and
  // PipeWire alike. Then the settings pages of the common desktops.
  const Candidate candidates[] = {
      {"pavucontrol", {}},
      {"gnome-control-center", {QStringLiteral("sound")}},
      {"systemsettings", {QStringLiteral("kcm_pulseaudio")}},
      {"kcmshell5", {QStringLiteral("kcm_pulseaudio")}},
      {"cinnamon-settings", {QStringLiteral("sound")}},
      {"mate-volume-control", {}},
  };
  for (const Candidate& c : candidates) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(c.program));
    if (!path.isEmpty() && QProcess::startDetached(path, c.args)) return true;
  }
  error = "没有找到声音设置程序。请安装 pavucontrol（PulseAudio 音量控制），例如：sudo apt install pavucontrol";
  return false;
}

}  // namespace vesk::ui::qt
