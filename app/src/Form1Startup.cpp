// The main window's start-up and shutdown, statement by statement; the
// numbers are the ones the application error report prints.
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QSettings>

#include "app/Form1.h"
#include "app/HomePage.h"
#include "app/Skin.h"
#include "playlist/PlaylistView.h"
#include "recording/Exporter.h"
#include "recording/PlayAndRecord.h"
#include "shell/AppTitle.h"
#include "shell/AudioError.h"
#include "shell/CursorFile.h"
#include "shell/ErrorTrap.h"
#include "shell/PngPicture.h"
#include "shell/UiHost.h"
#include "util/sMain.h"

namespace lentaro {

namespace {
const char* const kSettingsOrganisation = "Orvessa";
const char* const kSettingsApplication = "Lentaro";
const char* const kPathKey = "Path";

constexpr DWORD kRequiredVersion = 0x0204;

QSettings userSettings() {
  return QSettings(QString::fromLatin1(kSettingsOrganisation),
                   QString::fromLatin1(kSettingsApplication));
}

void changeDirectory(const QString& path) {
  if (!QDir::setCurrent(path)) throw Failure("Path not found");
}

// The program's icon, a PNG in the program's resources, read without
// Qt's image reader (see PngPicture.h).
QIcon programIcon() {
  QFile file(QStringLiteral(":/lentaro/lentaro.png"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QIcon(QPixmap::fromImage(decodePng(file.readAll(), 1024)));
}
}  // namespace

bool Form1::Form_Initialize() {
  ErrorTrap t(ui(), QStringLiteral("Form1.Form_Initialize"));
  const AudioStartCalls& audio = services_.audio;

  t.run(100, [&] {
    if (appDir_.isEmpty()) appDir_ = QCoreApplication::applicationDirPath();
    changeDirectory(QDir::rootPath());
  });
  t.run(102, [&] { changeDirectory(appDir_); });

  if (t.test(104, [&] { return (audio.getVersion() >> 16) != kRequiredVersion; })) {
    t.run(106, [&] {
      ui().messageBox(
          nullptr, QStringLiteral("An incorrect version of BASS.DLL was loaded (2.4 is required)"),
          AppTitle(), MsgButtons::Ok, MsgIcon::Critical);
    });
    t.run(108, [&] { services_.endProcess(kStartupFailedStatus); });
    return false;
  }
  if (t.test(110, [&] { return (audio.fxGetVersion() >> 16) != kRequiredVersion; })) {
    t.run(112, [&] {
      ui().messageBox(
          nullptr,
          QStringLiteral("An incorrect version of BASS_FX.DLL was loaded (2.4 is required)"),
          AppTitle(), MsgButtons::Ok, MsgIcon::Critical);
    });
    t.run(114, [&] { services_.endProcess(kStartupFailedStatus); });
    return false;
  }

  if (t.test(116, [&] { return audio.init(-1, 44100, 0, hWnd(), nullptr) == 0; })) {
    t.run(118,
          [&] { Error_(ui(), QStringLiteral("Can't initialize device"), audio.errorGetCode); });
    t.run(120, [&] { services_.endProcess(kStartupFailedStatus); });
    return false;
  }
  return true;
}

void* Form1::hWnd() {
  if (!built_) buildWindow();
  // The window the program shows: the frame around this controls' area.
  return reinterpret_cast<void*>(window()->winId());
}

void Form1::Form_Load() {
  ErrorTrap t(ui(), QStringLiteral("Form1.Form_Load"));
  if (appDir_.isEmpty()) appDir_ = QCoreApplication::applicationDirPath();

  t.run(100, [&] { skinMainWindow(this, *skin_, skinFilePath(appDir_)); });
  t.run(104, [&] {
    setWindowTitle(QString::fromLatin1(kProductName));
    setWindowIcon(programIcon());
    SetAppTitle();
  });

  const QString handCursor = appDir_ + QStringLiteral("/HAND-M.CUR");
  if (t.test(106, [&] { return sMain::FileDateReadable(handCursor); }))
    t.run(108, [&] { pointer_.setCustomCursor(loadCursorFile(handCursor)); });

  t.run(110, [&] {
    if (!services_.randomUnit) services_.randomUnit = timeSeededRandomUnit();
    MaybeOpenHomePage(ui(), services_.randomUnit);
  });

  t.run(128, [&] { ListView1->AddColumnHeader(QStringLiteral("MP3 File(s)")); });
  t.run(130, [&] { ListView1->SetColumnWidth(6500); });
  t.run(132, [&] {
    if (setPlayRestart) setPlayRestart();
  });
  t.run(134, [&] {
    const QString fallback = sMain::GetDesktopFolder();
    Text1->setText(userSettings().value(QString::fromLatin1(kPathKey), fallback).toString());
  });
  loaded_ = true;
}

void Form1::finishStartup() {
  if (finished_) return;
  finished_ = true;
  buildCommands();
  removeStaleEncoderFolders();
}

void Form1::Text1_Change() {
  QSettings settings = userSettings();
  const QString key = QString::fromLatin1(kPathKey);
  // Form_Load puts the stored folder back into the box, which lands here:
  // writing the same value again would only make every start wait for the
  // disk.
  if (settings.contains(key) && settings.value(key).toString() == Text1->text()) return;
  settings.setValue(key, Text1->text());
  // The process may end at once on close; the value must be on disk now.
  settings.sync();
}

void Form1::showCentred() {
  if (!built_) buildWindow();
  QWidget* shown = window();  // the outer window with the menu and status bars
  if (QScreen* where = shown->screen() ? shown->screen() : QGuiApplication::primaryScreen()) {
    // move() places the frame; the frame's size is known once the native
    // window exists (hWnd above made it).
    QRect frame = shown->frameGeometry();
    frame.moveCenter(where->availableGeometry().center());
    shown->move(frame.topLeft());
  }
  shown->show();
  if (firstFocus_) firstFocus_->setFocus();
}

void Form1::Form_QueryUnload() {
  QCoreApplication::processEvents();
}

void Form1::Form_Unload() {
  unloading_ = true;
  // The process ends below without destructors: a running export stops
  // now, taking its partial file and its encoder with it.
  if (exporter_) exporter_->cancelAndWait();
  services_.audio.free();
  // The engine has finished every encoder: the private folder with its
  // copy of the encoder can go before the process ends.
  if (playAndRecord_) playAndRecord_->encoderFile().discard();
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window != this && window->isVisible()) window->close();
  }
  services_.endProcess(0);
}

void Form1::closeEvent(QCloseEvent* event) {
  if (!unloading_) {
    Form_QueryUnload();
    Form_Unload();
  }
  event->accept();
}

}  // namespace lentaro
