#include "playback/Playback.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <cmath>
#include <limits>

#include "playback/ThumbTip.h"
#include "playlist/PlaylistView.h"
#include "shell/AppTitle.h"
#include "shell/AudioError.h"
#include "shell/ErrorTrap.h"
#include "shell/UiHost.h"

namespace lentaro::playback {

namespace {

const QString kPlay = QStringLiteral("Play");
const QString kPause = QStringLiteral("Pause");
const QString kStop = QStringLiteral("Stop");

// Slider ranges are int; a length beyond that (some 68 years of sound) is
// shown as the longest the slider can hold.
int sliderSeconds(std::int64_t seconds) {
  return seconds > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                   : static_cast<int>(seconds);
}

constexpr QWORD kNoPosition = static_cast<QWORD>(-1);

}  // namespace

QString FormatMinSec(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const int minutes = static_cast<int>((seconds / 60) % 60);
  const int secs = static_cast<int>(seconds % 60);
  return QStringLiteral("%1:%2")
      .arg(minutes, 2, 10, QLatin1Char('0'))
      .arg(secs, 2, 10, QLatin1Char('0'));
}

std::int64_t WholeSeconds(double seconds) {
  if (!(seconds > 0)) return 0;  // also NaN
  if (seconds >= 9.0e18) return std::numeric_limits<std::int64_t>::max();
  // nearbyint rounds in the current mode, which is to-nearest, ties to even.
  return static_cast<std::int64_t>(std::nearbyint(seconds));
}

Playback::Playback(UiHost& ui, const PlaybackWidgets& widgets, QObject* parent)
    : QObject(parent), ui_(ui), w_(widgets) {
  // Tempo and volume show their value beside the thumb while it is dragged.
  new ThumbTip(w_.sldTempo[0]);
  new ThumbTip(w_.sldVolume);
}

Playback::~Playback() = default;

void Playback::PushButton1_Click() {
  ErrorTrap t(ui_, QStringLiteral("Form1.PushButton1_Click"));
  if (t.test(100, [&] { return w_.ListView1->Count() == 0; })) {
    // The list may have been cleared while a file plays; that sound goes on.
    t.run(170, [&] {
      ui_.messageBox(w_.PushButton1->window(), QStringLiteral("Add song first."), AppTitle(),
                     MsgButtons::Ok, MsgIcon::None);
    });
    return;
  }
  if (t.test(102, [&] { return w_.PushButton1->text() == kPause; })) {
    t.run(104, [&] { BASS_ChannelPause(state_.CurrentChannel); });
    t.run(106, [&] { state_.PlayRestart = false; });
    t.run(108, [&] { w_.PushButton1->setText(kPlay); });
  } else if (t.test(110, [&] { return w_.PushButton1->text() == kStop; })) {
    t.run(112, [&] { BASS_ChannelStop(state_.CurrentChannel); });
    t.run(114, [&] { w_.PushButton1->setText(kPlay); });
    t.run(116, [&] { w_.PushButton7->setText(QStringLiteral("Play and Record")); });
    t.run(118, [&] { w_.Label3->setText(QStringLiteral("Time: ")); });
    t.run(120, [&] { w_.Label2->setText(QStringLiteral("Total Time: ")); });
    t.run(122, [&] { w_.Slider1->setValue(0); });
    t.run(124, [&] { state_.PlayRestart = true; });
  } else if (t.test(126, [&] { return w_.PushButton1->text() == kPlay; })) {
    if (t.test(128, [&] { return !state_.PlayRestart; })) {
      // Continues a paused channel. After a failed opening this is channel
      // 0: nothing sounds, and the next press ("Stop") re-arms the opening.
      t.run(130, [&] { BASS_ChannelPlay(state_.CurrentChannel, FALSE); });
      t.run(132, [&] { w_.PushButton1->setText(kStop); });
    } else {
      // Cleared before the opening, so a failed opening leaves it cleared.
      t.run(134, [&] { state_.PlayRestart = false; });
      if (!OpenSelectedFile(t, 0)) return;
      t.run(160, [&] { sldVolume_Scroll(); });
      t.run(162, [&] { BASS_ChannelPlay(state_.CurrentChannel, FALSE); });
      t.run(168, [&] { w_.PushButton1->setText(kStop); });
    }
  }
}

void Playback::ListView1_DblClick() {
  const std::optional<playlist::ListItem> item = w_.ListView1->SelectedItem();
  if (!item || item->Text.isEmpty()) return;
  // The double-click has no numbered report of its own; a failure inside
  // the opening is still shown rather than lost, under this location.
  ErrorTrap t(ui_, QStringLiteral("Form1.ListView1_DblClick"));
  if (!OpenSelectedFile(t, 0)) return;
  sldVolume_Scroll();
  BASS_ChannelPlay(state_.CurrentChannel, FALSE);
  w_.PushButton1->setText(kPause);
}

bool Playback::OpenSelectedFile(ErrorTrap& trap, int lineOffset) {
  const int n = lineOffset;
  // [136] selects the drive on systems that have drives; here there is one
  // root, so only the folder changes.
  trap.run(136 + n, [] {});
  trap.run(138 + n, [] {
    const QString dir = QCoreApplication::applicationDirPath();
    if (!QDir::setCurrent(dir)) throw Failure("Path not found: " + dir.toStdString());
  });
  trap.run(140 + n, [&] {
    BASS_StreamFree(state_.CurrentChannel);
    // The freed handle is dead; keeping it would let a failure below leave
    // a meaningless non-zero channel behind.
    state_.CurrentChannel = 0;
  });

  // No selected row opens the empty path, which the engine refuses with
  // its "file open" code, so the user gets the usual message.
  QByteArray path;
  trap.run(142 + n, [&] {
    const std::optional<playlist::ListItem> item = w_.ListView1->SelectedItem();
    path = QFile::encodeName(item ? item->Text : QString());
    state_.CurrentChannel =
        BASS_StreamCreateFile(FALSE, path.constData(), 0, 0, BASS_STREAM_DECODE | BASS_UNICODE);
  });
  if (trap.test(144 + n, [&] { return state_.CurrentChannel == 0; })) {
    trap.run(144 + n, [&] {
      state_.CurrentChannel = BASS_MusicLoad(
          FALSE, path.constData(), 0, 0,
          BASS_MUSIC_DECODE | BASS_MUSIC_PRESCAN | BASS_MUSIC_RAMP | BASS_UNICODE, 0);
    });
  }
  if (trap.test(146 + n, [&] { return state_.CurrentChannel == 0; })) {
    trap.run(148 + n, [&] {
      Error_(ui_, QStringLiteral("Selected file couldn't be loaded!"), nullptr,
             w_.PushButton1->window());
    });
    state_.CurrentChannel = 0;
    return false;
  }

  // The source is kept apart so that it can still be freed when the tempo
  // channel cannot be made over it.
  const DWORD source = state_.CurrentChannel;
  trap.run(150 + n, [&] {
    state_.CurrentChannel = BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
  });
  if (trap.test(152 + n, [&] { return state_.CurrentChannel == 0; })) {
    trap.run(154 + n, [&] {
      Error_(ui_, QStringLiteral("Couldn't create a resampled stream!"), nullptr,
             w_.PushButton1->window());
    });
    trap.run(156 + n, [&] { BASS_StreamFree(source); });
    trap.run(158 + n, [&] { BASS_MusicFree(source); });
    state_.CurrentChannel = 0;
    return false;
  }
  return true;
}

void Playback::sldTempo_Scroll(int index) {
  if (BASS_ChannelIsActive(state_.CurrentChannel) == BASS_ACTIVE_STOPPED) return;
  if (index == 0) {
    const int v = w_.sldTempo[0]->value();
    BASS_ChannelSetAttribute(state_.CurrentChannel, BASS_ATTRIB_TEMPO, static_cast<float>(v));
    w_.Frame3->setTitle(QStringLiteral("Tempo + ") + QString::number(v) + QStringLiteral("%"));
    if (ThumbTip* tip = ThumbTip::of(w_.sldTempo[0]))
      tip->setText(QString::number(v) + QStringLiteral("%"));
  } else if (index == 1) {
    const int v = w_.sldTempo[1]->value();
    BASS_ChannelSetAttribute(state_.CurrentChannel, BASS_ATTRIB_TEMPO_PITCH, static_cast<float>(v));
    w_.Frame1->setTitle(QStringLiteral("Pitch  = ") + QString::number(v) +
                        QStringLiteral(" semitones"));
  }
}

void Playback::sldVolume_Scroll() {
  const int v = w_.sldVolume->value();
  BASS_ChannelSetAttribute(state_.CurrentChannel, BASS_ATTRIB_VOL, static_cast<float>(v) / 100.0f);
  if (ThumbTip* tip = ThumbTip::of(w_.sldVolume))
    tip->setText(QString::number(v) + QStringLiteral("%"));
}

void Playback::Timer2_Timer() {
  const DWORD ch = state_.CurrentChannel;
  if (BASS_ChannelIsActive(ch) == BASS_ACTIVE_STOPPED) return;
  // Each read is taken afresh, as the labels and the slider are written one
  // after the other; a failed read (a channel freed meanwhile) changes
  // nothing. The value is written before the maximum.
  const auto seconds = [ch](QWORD bytes) {
    return WholeSeconds(BASS_ChannelBytes2Seconds(ch, bytes));
  };
  if (const QWORD pos = BASS_ChannelGetPosition(ch, BASS_POS_BYTE); pos != kNoPosition)
    w_.Slider1->setValue(sliderSeconds(seconds(pos)));
  if (const QWORD len = BASS_ChannelGetLength(ch, BASS_POS_BYTE); len != kNoPosition)
    w_.Slider1->setMaximum(sliderSeconds(seconds(len)));
  if (const QWORD pos = BASS_ChannelGetPosition(ch, BASS_POS_BYTE); pos != kNoPosition)
    w_.Label3->setText(QStringLiteral("Time: ") + FormatMinSec(seconds(pos)));
  if (const QWORD len = BASS_ChannelGetLength(ch, BASS_POS_BYTE); len != kNoPosition)
    w_.Label2->setText(QStringLiteral("Total Time: ") + FormatMinSec(seconds(len)));
}

void Playback::Slider1_MouseDown() {
  w_.Timer2->stop();
  w_.Timer2->setInterval(0);
}

void Playback::Slider1_MouseUp() {
  const DWORD ch = state_.CurrentChannel;
  const QWORD bytes = BASS_ChannelSeconds2Bytes(ch, static_cast<double>(w_.Slider1->value()));
  BASS_ChannelSetPosition(ch, bytes, BASS_POS_BYTE);
  w_.Timer2->setInterval(kRefreshMs);
  w_.Timer2->start();
}

}  // namespace lentaro::playback
