// The player's commands as the menus, the keys and the desktop's media
// controls give them. Each one runs the window's own handler for it: a
// click of its button, a double-click of a row, a user's move of its
// slider. So the captions, the error reports and the engine follow exactly
// as they do for the control itself, and a key and a click never disagree.
//
// The Play button's handler keeps its state in its caption: "Play" opens
// the selected file (or continues a paused one), "Stop" stops, "Pause"
// pauses. Pause and Stop are reached while playing by giving the button the
// caption of that branch and pressing it, the way the handler itself
// switches between them.
//
// Slider moves: tempo, pitch and volume steps are the slider's own actions
// (as its keys make them); a move to a value goes through the slider's
// accessibility interface, which moves it as the user does; for the
// position slider that is a press, the move and a release, so the channel
// seeks.
//
// Lives as long as the window (a QObject child of it). Thread: user-interface
// thread only.
#pragma once

#include <QAbstractSlider>
#include <QObject>
#include <QString>
#include <cstdint>

class QSlider;

namespace lentaro {

class Form1;

class PlayerControl : public QObject {
  Q_OBJECT

 public:
  enum class Status { Stopped, Playing, Paused };

  explicit PlayerControl(Form1& form);

  // From the engine: the channel playing (or stalled), paused, or neither.
  Status status() const;

  void play();
  void pause();
  void playPause();  // pause while playing, play otherwise
  void stop();       // nothing when nothing plays or waits paused
  void playAndRecord();

  // A step of tempo, pitch or volume as the slider's keys make it.
  void step(QSlider* slider, QAbstractSlider::SliderAction action);
  // Any slider to `value` (bounded by its range) as the user moves it.
  void moveTo(QSlider* slider, int value);

  // The position slider, in whole seconds; only while a channel is active.
  bool canSeek() const;
  void seekBy(int seconds);
  void seekTo(int seconds);

  // The row `offset` rows from the selected one, selected and played as a
  // double-click plays it. False (nothing done) past either end, with an
  // empty list, or while the list is disabled (a recording runs).
  bool canPlayRow(int offset) const;
  bool playRow(int offset);

  // The file opened into the current channel (empty when there is none),
  // and the channel. Noted when the channel changes.
  QString currentFile();
  std::uint32_t currentChannel() const;
  // Where the channel stands and its length, in seconds (0 without one).
  double positionSeconds() const;
  double lengthSeconds() const;

 private:
  void pressAs(const QString& caption);
  void refreshPosition();
  void noteChannel();

  Form1& form_;
  std::uint32_t notedChannel_ = 0;
  QString notedFile_;
};

}  // namespace lentaro
