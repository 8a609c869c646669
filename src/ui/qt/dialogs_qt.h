#pragma once
// The main window's modal dialogs and desktop hand-offs, built with Qt.
#include <QIcon>
#include <QWidget>
#include <filesystem>
#include <string>

#include "ui/view_port.h"

namespace vesk::ui::qt {

// A message box with Chinese buttons. A Yes/No box starts on
// `defaultButton`; closing it any other way (Escape, the title bar) answers
// No, so a dismissed question never does the destructive thing.
BoxAnswer RunMessageBox(QWidget* parent, BoxKind kind, const std::string& title, const std::string& text,
                        BoxButtons buttons, BoxAnswer defaultButton);

TrackDialogResult RunTrackDialog(QWidget* parent, const TrackDialogModel& model);

// A form of spin boxes ("numberField0", …), the note under them ("note",
// following the values) and OK/cancel ("ok", "cancel").
bool RunNumberDialog(QWidget* parent, const NumberDialogModel& model, std::vector<double>& values);

// The details of the status line: the whole text in a read-only field that
// wraps and scrolls (selectable, Ctrl+A/Ctrl+C copy it) and a close button.
void RunDetailsBox(QWidget* parent, const std::string& title, const std::string& text);

// The donation window: a top-level window over `parent` showing an image
// drawn at run time (the donation channel is not set up in this build).
QWidget* CreateDonationWindow(QWidget* parent);
QImage DonationImage();

// The program icon, drawn at run time (a record button).
QIcon AppIcon();

// The desktop. False (with a Chinese reason for the sound settings) when
// nothing could be started.
bool RevealInFileManager(const std::filesystem::path& file);
bool OpenInFileManager(const std::filesystem::path& folder);
bool OpenInBrowser(const std::string& url);
// pavucontrol when installed, else the desktop's own sound settings.
bool OpenSystemSoundSettings(std::string& error);

}  // namespace vesk::ui::qt
