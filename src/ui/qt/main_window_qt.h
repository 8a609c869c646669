#pragma once
// The Qt main window: creates every control of MainLayout (object names are
// the layout-dump keys: "id:1008", "status", "text:录音设备"), forwards
// commands, drop-down choices, keys, drops and the 33 ms tick to the
// controller, and is the controller's ViewPort. It decides nothing the
// controller decides.
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "ui/app_controller.h"
#include "ui/main_layout.h"

class QProgressDialog;

namespace vesk::ui::qt {

class WaveWidget;
class MeterWidget;
class PreviewWindow;

class MainWindow : public QWidget, public ViewPort, public Desktop {
 public:
  MainWindow();
  ~MainWindow() override;

  // The controller this window shows and forwards to (built by the
  // application over this window; it outlives nothing of the window).
  void Attach(AppController& controller);
  // Settings, device lists and the first status (AppController::Start),
  // the saved placement, then the 33 ms timer. Call once before showing.
  void Start();
  // Shows the window as the saved placement says (maximised or not).
  void ShowAsPlaced();
  // A second start asked for this window: restore it if minimised and raise it.
  void BringToFront();
  // The system ends the program (log-out, shut-down): everything a close
  // does without asking (a recording is stopped and kept, settings are
  // saved). The window then accepts any close. False, doing nothing, while
  // long work runs under the progress window.
  bool EndSession();

  AppController& Controller() { return *controller_; }
  // The widget of a layout entry (command id or key); nullptr when absent.
  QWidget* ControlById(int id) const;
  QWidget* ViewByKey(const std::string& key) const;
  WaveWidget* Wave() const { return wave_; }
  PreviewWindow* PreviewWidget() const { return preview_; }
  // The controls in creation order, parallel to the layout table.
  const std::vector<QWidget*>& Controls() const { return controls_; }
  const std::vector<LayoutControl>& Layout() const { return layout_; }

  // ViewPort.
  void Apply(const WindowChanges& changes) override;
  BoxAnswer ShowBox(BoxKind kind, const std::string& title, const std::string& text, BoxButtons buttons,
                    BoxAnswer defaultButton) override;
  bool PickFile(const FileDialogRequest& request, std::filesystem::path& chosen) override;
  void ProgressBegin(const std::string& title, bool cancellable) override;
  bool ProgressStep(int percent, const std::string& stage) override;
  void ProgressEnd() override;
  void Wake() override;
  TrackDialogResult ShowTrackDialog(const TrackDialogModel& model) override;
  bool AskNumbers(const NumberDialogModel& model, std::vector<double>& values) override;
  FocusKind Focus() const override;
  unsigned Dpi() const override;
  PreviewView* Preview() override;

  // Desktop.
  bool RevealFile(const std::filesystem::path& file) override;
  bool OpenFolder(const std::filesystem::path& folder) override;
  bool OpenUrl(const std::string& url) override;
  bool OpenSoundSettings(std::string& error) override;
  void ShowDonationWindow() override;

 protected:
  void resizeEvent(QResizeEvent*) override;
  void closeEvent(QCloseEvent*) override;
  void contextMenuEvent(QContextMenuEvent*) override;
  void dragEnterEvent(QDragEnterEvent*) override;
  void dropEvent(QDropEvent*) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* CreateControl(const LayoutControl& c);
  void PlaceControls();
  // Shows `items` as a popup menu at `global`; the chosen id goes to OnCommand.
  void RunMenu(const std::vector<MenuItem>& items, const QPoint& global);
  bool PickFolder(const std::string& title, const std::filesystem::path& initial, std::filesystem::path& chosen);
  MainWindowPlacement CurrentPlacement() const;

  std::vector<LayoutControl> layout_;
  std::vector<QWidget*> controls_;
  WaveWidget* wave_ = nullptr;
  MeterWidget* meter_ = nullptr;
  PreviewWindow* preview_ = nullptr;  // a child top-level window: deleted with this one
  QTimer tick_;
  QProgressDialog* progress_ = nullptr;
  bool sessionEnded_ = false;
  QPointer<QWidget> donation_;
  std::optional<MainWindowPlacement> placement_;
  AppController* controller_ = nullptr;
};

}  // namespace vesk::ui::qt
