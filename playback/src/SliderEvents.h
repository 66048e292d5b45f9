// The slider events the playback handlers run on, made from Qt's.
//
// SliderScroll: a change of the slider's value by the user (a drag of the
// thumb, a click on the track, a key, the wheel, a screen reader), signalled
// after the value has changed. Changes made by program code (setValue) are
// not signalled, so the position refresh never looks like a user's move.
//
// SliderMouse: any mouse button pressed or released on the slider. The
// release is signalled after the slider has handled it, so the value read
// then is where the thumb came to rest. Keys and the wheel signal nothing.
// A move made for the user through the accessibility interface is signalled
// as a press before the thumb moves and a release after it, as a click on
// the track would be.
//
// A screen reader sets a value through the accessibility interface, which
// for a plain QSlider is setValue: no action, so no user's move. Every
// slider given one of these objects is therefore presented to assistive
// technology by an interface of ours, whose value changes and whose
// "Increase"/"Decrease" actions move the slider as the user does. The
// program's own setValue (the position refresh, the reset at Stop) stays
// silent.
//
// Both are children of their slider. Thread: user-interface thread only.
#pragma once

#include <QObject>

class QSlider;

namespace lentaro::playback {

class SliderScroll : public QObject {
  Q_OBJECT

 public:
  explicit SliderScroll(QSlider* slider);

 Q_SIGNALS:
  void Scroll();

 private:
  bool pending_ = false;
};

class SliderMouse : public QObject {
  Q_OBJECT

 public:
  explicit SliderMouse(QSlider* slider);

  // A move of the thumb to `position` (bounded by the range) made for the
  // user without the mouse: MouseDown, the move, MouseUp. Nothing when the
  // thumb is there already or a mouse button holds it.
  void moveForUser(int position);

 Q_SIGNALS:
  void MouseDown();
  void MouseUp();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QSlider* slider_;
  bool inRelease_ = false;
  bool pressed_ = false;  // a mouse button is down on the slider
};

}  // namespace lentaro::playback
