#include "app/PlayerControl.h"

#include <lentaro/bass.h>

#include <QAccessible>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "app/Form1.h"
#include "playback/Playback.h"
#include "playlist/PlaylistView.h"

namespace lentaro {

namespace {
const QString kPlay = QStringLiteral("Play");
const QString kPause = QStringLiteral("Pause");
const QString kStop = QStringLiteral("Stop");
constexpr QWORD kNoPosition = static_cast<QWORD>(-1);
}  // namespace

PlayerControl::PlayerControl(Form1& form) : QObject(&form), form_(form) {
  // The file a channel holds is the row selected when it was opened: note
  // it right after the handlers that open one, and at every refresh tick
  // for the openings that run nested (Play and Record).
  connect(form_.PushButton1, &QPushButton::clicked, this, [this] { noteChannel(); });
  connect(form_.ListView1, &playlist::PlaylistView::DblClick, this, [this] { noteChannel(); });
  connect(form_.Timer2, &QTimer::timeout, this, [this] { noteChannel(); });
}

PlayerControl::Status PlayerControl::status() const {
  switch (BASS_ChannelIsActive(currentChannel())) {
    case BASS_ACTIVE_PLAYING:
    case BASS_ACTIVE_STALLED:
      return Status::Playing;
    case BASS_ACTIVE_PAUSED:
      return Status::Paused;
    default:
      return Status::Stopped;
  }
}

void PlayerControl::pressAs(const QString& caption) {
  QPushButton* button = form_.PushButton1;
  if (!button->isEnabled()) return;
  button->setText(caption);
  button->click();
}

void PlayerControl::play() {
  if (status() == Status::Playing) return;
  // A "Stop" or "Pause" caption with nothing sounding (an opening that
  // failed) is re-armed first, as pressing the button twice would.
  if (form_.PushButton1->text() != kPlay) pressAs(kStop);
  pressAs(kPlay);
}

void PlayerControl::pause() {
  if (status() != Status::Playing) return;
  pressAs(kPause);
}

void PlayerControl::playPause() {
  if (status() == Status::Playing)
    pause();
  else
    play();
}

void PlayerControl::stop() {
  const bool armed = form_.playback_->state().PlayRestart;
  if (status() == Status::Stopped && form_.PushButton1->text() == kPlay && armed) return;
  pressAs(kStop);
}

void PlayerControl::playAndRecord() {
  form_.PushButton7->click();
}

void PlayerControl::step(QSlider* slider, QAbstractSlider::SliderAction action) {
  if (!slider->isEnabled()) return;
  slider->triggerAction(action);
}

void PlayerControl::moveTo(QSlider* slider, int value) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(slider);
  if (QAccessibleValueInterface* v = accessible ? accessible->valueInterface() : nullptr)
    v->setCurrentValue(value);
}

bool PlayerControl::canSeek() const {
  return status() != Status::Stopped;
}

void PlayerControl::refreshPosition() {
  // The slider's range is the channel's length only once the refresh has
  // run; run it now unless a mouse button holds the thumb (it is stopped
  // then).
  if (form_.Timer2->isActive()) form_.playback_->Timer2_Timer();
}

void PlayerControl::seekBy(int seconds) {
  if (!canSeek()) return;
  refreshPosition();
  moveTo(form_.Slider1, form_.Slider1->value() + seconds);
  refreshPosition();  // the time display at once, not at the next tick
}

void PlayerControl::seekTo(int seconds) {
  if (!canSeek()) return;
  refreshPosition();
  moveTo(form_.Slider1, seconds);
  refreshPosition();
}

bool PlayerControl::canPlayRow(int offset) const {
  const playlist::PlaylistView* list = form_.ListView1;
  if (!list->isEnabled() || list->Count() == 0) return false;
  const std::optional<playlist::ListItem> selected = list->SelectedItem();
  const int target = selected ? selected->Index + offset : (offset > 0 ? 1 : list->Count());
  return target >= 1 && target <= list->Count();
}

bool PlayerControl::playRow(int offset) {
  if (!canPlayRow(offset)) return false;
  playlist::PlaylistView* list = form_.ListView1;
  const std::optional<playlist::ListItem> selected = list->SelectedItem();
  const int target = selected ? selected->Index + offset : (offset > 0 ? 1 : list->Count());
  list->Select(target);
  list->EnsureVisible(target);
  // The list's own double-click event, so everything it runs runs.
  Q_EMIT list->DblClick(target);
  return true;
}

void PlayerControl::noteChannel() {
  const std::uint32_t channel = currentChannel();
  if (channel == notedChannel_) return;
  notedChannel_ = channel;
  const std::optional<playlist::ListItem> selected = form_.ListView1->SelectedItem();
  notedFile_ = channel != 0 && selected ? selected->Text : QString();
}

QString PlayerControl::currentFile() {
  noteChannel();
  return notedFile_;
}

std::uint32_t PlayerControl::currentChannel() const {
  return form_.playback_ ? form_.playback_->state().CurrentChannel : 0;
}

double PlayerControl::positionSeconds() const {
  const DWORD ch = currentChannel();
  if (BASS_ChannelIsActive(ch) == BASS_ACTIVE_STOPPED) return 0;
  const QWORD pos = BASS_ChannelGetPosition(ch, BASS_POS_BYTE);
  return pos == kNoPosition ? 0 : BASS_ChannelBytes2Seconds(ch, pos);
}

double PlayerControl::lengthSeconds() const {
  const DWORD ch = currentChannel();
  if (ch == 0) return 0;
  const QWORD len = BASS_ChannelGetLength(ch, BASS_POS_BYTE);
  return len == kNoPosition ? 0 : BASS_ChannelBytes2Seconds(ch, len);
}

}  // namespace lentaro
