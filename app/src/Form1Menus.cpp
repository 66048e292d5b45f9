// The outer window of the main window: the menu bar and its commands with
// their keys, the status bar, the keyboard shortcuts dialog and "About".
//
// Every command runs what its control does (PlayerControl, or a click of
// the button): a key, a menu entry and the control itself never disagree.
#include <QAbstractSlider>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>

#include "ControlKeys.h"
#include "MainFrame.h"
#include "SoundQuality.h"
#include "app/ActionTable.h"
#include "app/Form1.h"
#include "app/PlayerControl.h"
#include "app/ShortcutsDialog.h"
#include "playlist/PlaylistView.h"
#include "shell/AppTitle.h"
#include "shell/UiHost.h"

#ifndef LENTARO_VERSION
#error "LENTARO_VERSION must name the program's version"
#endif

namespace lentaro {

namespace {

const QString kFile = QStringLiteral("&File");
const QString kPlayback = QStringLiteral("&Playback");
const QString kHelp = QStringLiteral("&Help");

constexpr int kSeekSeconds = 5;
constexpr int kStatusMessageMs = 3000;

QList<QKeySequence> keys(std::initializer_list<const char*> portable) {
  QList<QKeySequence> out;
  for (const char* k : portable)
    out.append(QKeySequence::fromString(QString::fromLatin1(k), QKeySequence::PortableText));
  return out;
}

QString withoutExtension(const QString& path) {
  const QString name = path.section(QLatin1Char('/'), -1);
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return dot > 0 ? name.left(dot) : name;
}

}  // namespace

void Form1::buildFrame() {
  auto* frame = new MainFrame(*this);
  frame_.reset(frame);
  player_ = new PlayerControl(*this);
  actions_ = new ActionTable(frame, this);
  // The bar's titles now, for the window's size; their entries come with
  // the commands.
  ActionTable::addMenus(frame->menuBar(), {kFile, kPlayback, kHelp});

  statusLine_ = new QLabel(frame);
  statusLine_->setObjectName(QStringLiteral("statusLine"));
  frame->statusBar()->addWidget(statusLine_, 1);
  // One line, as tall as the menu bar: the controls' area then lies at
  // half the extra height, whatever the desktop's font.
  frame->statusBar()->setFixedHeight(frame->menuBar()->sizeHint().height());
  refreshStatusLine();
  connect(Timer2, &QTimer::timeout, this, &Form1::refreshStatusLine);
  // Sized now, not at the first show: the start-up centres the window by
  // its size.
  frame->layout()->activate();

  if (!services_.finishAfterFirstPaint) {
    finishStartup();
    return;
  }
  // paintEvent asks for the rest; this is for a window that is never
  // painted (started minimised).
  QTimer::singleShot(services_.finishAtTheLatest, this, &Form1::finishStartup);
}

void Form1::buildCommands() {
  addCommands();
  wireExport();
  addPracticeCommands();
  SoundQualitySetting::applyStored();
  SoundQualitySetting::addCommands(*actions_, kPlayback,
                                   [this](const QString& told) { showStatus(told); });
  actions_->loadKeys();
  actions_->buildMenus(frame_->menuBar());

  // Keys a focused control uses stay with it.
  auto* controlKeys = new ControlKeys(this);
  controlKeys->watch(ListView1);
  for (QSlider* slider : {sldTempo[0], sldTempo[1], sldVolume, Slider1}) controlKeys->watch(slider);
  for (QPushButton* button : findChildren<QPushButton*>()) controlKeys->watch(button);

  showExportProgress();
  wireWaveform();
  wirePractice();
}

void Form1::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  // After this paint has reached the screen.
  if (!finished_) QMetaObject::invokeMethod(this, &Form1::finishStartup, Qt::QueuedConnection);
}

void Form1::addCommands() {
  ActionTable& t = *actions_;
  PlayerControl& p = *player_;
  // Slider commands tell on the status bar what the handler made of them;
  // the volume has no caption of its own to show it.
  const auto tempoStep = [this, &p](QAbstractSlider::SliderAction action) {
    return [this, &p, action] {
      p.step(sldTempo[0], action);
      showStatus(Frame3->title() == QStringLiteral("Tempo")
                     ? QStringLiteral("Tempo %1%").arg(sldTempo[0]->value())
                     : Frame3->title());
    };
  };
  const auto pitchStep = [this, &p](QAbstractSlider::SliderAction action) {
    return [this, &p, action] {
      p.step(sldTempo[1], action);
      showStatus(Frame1->title() == QStringLiteral("Pitch")
                     ? QStringLiteral("Pitch %1 semitones").arg(sldTempo[1]->value())
                     : Frame1->title());
    };
  };
  const auto volumeStep = [this, &p](QAbstractSlider::SliderAction action) {
    return [this, &p, action] {
      p.step(sldVolume, action);
      showStatus(QStringLiteral("Volume %1%").arg(sldVolume->value()));
    };
  };
  const auto seek = [this, &p](int seconds) {
    return [this, &p, seconds] {
      p.seekBy(seconds);
      if (p.canSeek()) showStatus(Label3->text());
    };
  };
  const auto after = [this](const std::function<void()>& run) {
    return [this, run] {
      run();
      refreshStatusLine();
    };
  };

  t.add({QStringLiteral("addFiles"), kFile, QStringLiteral("Add MP3 File(s)..."), keys({"Ctrl+O"}),
         false, false, [this] { PushButton8->click(); }});
  t.add({QStringLiteral("addFolder"), kFile, QStringLiteral("Add All MP3 File(s) In Folder..."),
         keys({"Ctrl+Shift+O"}), false, false, [this] { PushButton4->click(); }});
  t.add({QStringLiteral("loadSamples"),
         kFile,
         QStringLiteral("Load Sample/Example Files"),
         {},
         false,
         false,
         [this] { PushButton10->click(); }});
  t.add({QStringLiteral("quit"), kFile, QStringLiteral("Quit"), keys({"Ctrl+Q"}), true, false,
         [this] { window()->close(); }});

  t.add({QStringLiteral("playPause"), kPlayback, QStringLiteral("Play/Pause"),
         keys({"Space", "Media Play"}), false, false, after([&p] { p.playPause(); })});
  t.add({QStringLiteral("stop"), kPlayback, QStringLiteral("Stop"), keys({"S", "Media Stop"}),
         false, false, after([&p] { p.stop(); })});
  t.add({QStringLiteral("playAndRecord"), kPlayback, QStringLiteral("Play and Record"), keys({"R"}),
         false, false, after([&p] { p.playAndRecord(); })});
  t.add({QStringLiteral("tempoFaster1"), kPlayback, QStringLiteral("Tempo Faster by 1"),
         keys({"+", "="}), true, true, tempoStep(QAbstractSlider::SliderSingleStepAdd)});
  t.add({QStringLiteral("tempoSlower1"), kPlayback, QStringLiteral("Tempo Slower by 1"),
         keys({"-"}), false, true, tempoStep(QAbstractSlider::SliderSingleStepSub)});
  t.add({QStringLiteral("tempoFaster5"), kPlayback, QStringLiteral("Tempo Faster by 5"),
         keys({"Ctrl++", "Ctrl+="}), false, true, tempoStep(QAbstractSlider::SliderPageStepAdd)});
  t.add({QStringLiteral("tempoSlower5"), kPlayback, QStringLiteral("Tempo Slower by 5"),
         keys({"Ctrl+-"}), false, true, tempoStep(QAbstractSlider::SliderPageStepSub)});
  t.add({QStringLiteral("pitchUp"), kPlayback, QStringLiteral("Pitch Up One Semitone"),
         keys({"Ctrl+Up"}), true, true, pitchStep(QAbstractSlider::SliderSingleStepAdd)});
  t.add({QStringLiteral("pitchDown"), kPlayback, QStringLiteral("Pitch Down One Semitone"),
         keys({"Ctrl+Down"}), false, true, pitchStep(QAbstractSlider::SliderSingleStepSub)});
  t.add({QStringLiteral("volumeUp"), kPlayback, QStringLiteral("Volume Up"),
         keys({"Up", "Ctrl+Shift+Up"}), true, true,
         volumeStep(QAbstractSlider::SliderPageStepAdd)});
  t.add({QStringLiteral("volumeDown"), kPlayback, QStringLiteral("Volume Down"),
         keys({"Down", "Ctrl+Shift+Down"}), false, true,
         volumeStep(QAbstractSlider::SliderPageStepSub)});
  t.add({QStringLiteral("back5"), kPlayback, QStringLiteral("Back 5 s"), keys({"Left", "Alt+Left"}),
         true, true, seek(-kSeekSeconds)});
  t.add({QStringLiteral("forward5"), kPlayback, QStringLiteral("Forward 5 s"),
         keys({"Right", "Alt+Right"}), false, true, seek(kSeekSeconds)});

  t.add({QStringLiteral("shortcuts"),
         kHelp,
         QStringLiteral("Keyboard Shortcuts..."),
         {},
         false,
         false,
         [this] { showShortcutsDialog(); }});
  t.add({QStringLiteral("about"), kHelp, QStringLiteral("About Lentaro"), {}, false, false, [this] {
           showAbout();
         }});
}

ShortcutsDialog* Form1::showShortcutsDialog() {
  if (!shortcutsDialog_) {
    // Kept when closed: opening it again shows the same one.
    shortcutsDialog_ = new ShortcutsDialog(*actions_, ui(), frame_.get());
  }
  shortcutsDialog_->show();
  shortcutsDialog_->raise();
  shortcutsDialog_->activateWindow();
  return shortcutsDialog_;
}

QString Form1::aboutText() {
  return QStringLiteral(
             "Lentaro %1\n"
             "A practice player: plays MP3 files with the tempo, pitch and volume changed while "
             "they play, and records what it plays.\n\n"
             "Licence: GPL-3.0-or-later (GNU General Public License, version 3 or any later "
             "version). This program comes with absolutely no warranty.\n\n"
             "Made with Qt %2, SDL2, libmpg123, libsndfile, libopenmpt, SoundTouch and the "
             "Rubber Band Library; "
             "recordings are encoded by LAME.")
      .arg(QStringLiteral(LENTARO_VERSION), QString::fromLatin1(qVersion()));
}

void Form1::showAbout() {
  ui().messageBox(window(), aboutText(), QStringLiteral("About Lentaro"), MsgButtons::Ok,
                  MsgIcon::Information);
}

void Form1::showStatus(const QString& text) {
  if (frame_) frame_->statusBar()->showMessage(text, kStatusMessageMs);
}

void Form1::refreshStatusLine() {
  if (!statusLine_ || !player_) return;
  const QString file = withoutExtension(player_->currentFile());
  switch (player_->status()) {
    case PlayerControl::Status::Playing:
      statusLine_->setText(QStringLiteral("Playing: ") + file);
      break;
    case PlayerControl::Status::Paused:
      statusLine_->setText(QStringLiteral("Paused: ") + file);
      break;
    case PlayerControl::Status::Stopped:
      statusLine_->setText(QStringLiteral("Stopped"));
      break;
  }
}

}  // namespace lentaro
