#include "MprisAdaptors.h"

#include <QMainWindow>

#include "app/Form1.h"
#include "app/Mpris.h"
#include "app/PlayerControl.h"

namespace lentaro {

MprisRoot::MprisRoot(Mpris* mpris) : QDBusAbstractAdaptor(mpris), mpris_(mpris) {}

void MprisRoot::Raise() {
  mpris_->later([m = mpris_] {
    QWidget* window = m->form().window();
    window->showNormal();
    window->raise();
    window->activateWindow();
  });
}

void MprisRoot::Quit() {
  // The window's close, so its shutdown runs as for the title bar's button.
  mpris_->later([m = mpris_] { m->form().window()->close(); });
}

MprisPlayer::MprisPlayer(Mpris* mpris) : QDBusAbstractAdaptor(mpris), mpris_(mpris) {}

QString MprisPlayer::playbackStatus() const {
  return mpris_->playbackStatus();
}
double MprisPlayer::rate() const {
  return mpris_->rate();
}
void MprisPlayer::setRate(double rate) {
  mpris_->setRate(rate);
}
double MprisPlayer::minimumRate() const {
  return mpris_->minimumRate();
}
double MprisPlayer::maximumRate() const {
  return mpris_->maximumRate();
}
QVariantMap MprisPlayer::metadata() const {
  return mpris_->metadata();
}
double MprisPlayer::volume() const {
  return mpris_->volume();
}
void MprisPlayer::setVolume(double volume) {
  mpris_->setVolume(volume);
}
qlonglong MprisPlayer::position() const {
  return mpris_->positionUs();
}
bool MprisPlayer::canGoNext() const {
  return mpris_->canGoNext();
}
bool MprisPlayer::canGoPrevious() const {
  return mpris_->canGoPrevious();
}
bool MprisPlayer::canPlay() const {
  return mpris_->canPlay();
}
bool MprisPlayer::canSeek() const {
  return mpris_->canSeek();
}

void MprisPlayer::Next() {
  mpris_->later([m = mpris_] { m->player().playRow(1); });
}

void MprisPlayer::Previous() {
  mpris_->later([m = mpris_] { m->player().playRow(-1); });
}

void MprisPlayer::Pause() {
  mpris_->later([m = mpris_] { m->player().pause(); });
}

void MprisPlayer::PlayPause() {
  mpris_->later([m = mpris_] {
    if (m->player().status() == PlayerControl::Status::Playing || m->canPlay())
      m->player().playPause();
  });
}

void MprisPlayer::Stop() {
  mpris_->later([m = mpris_] { m->player().stop(); });
}

void MprisPlayer::Play() {
  // With nothing to play the Play button would ask for a song in a message
  // box; a media key asks nothing (CanPlay is false then).
  mpris_->later([m = mpris_] {
    if (m->canPlay()) m->player().play();
  });
}

void MprisPlayer::Seek(qlonglong Offset) {
  mpris_->later([m = mpris_, Offset] { m->seekBy(Offset); });
}

void MprisPlayer::SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
  mpris_->later([m = mpris_, id = TrackId.path(), Position] { m->setPosition(id, Position); });
}

void MprisPlayer::OpenUri(const QString& Uri) {
  mpris_->later([m = mpris_, Uri] { m->openUri(Uri); });
}

}  // namespace lentaro
