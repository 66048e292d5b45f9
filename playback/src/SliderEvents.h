// The slider events the playback handlers run on, made from Qt's.
//
// SliderScroll: a change of the slider's value by the user (a drag of the
// thumb, a click on the track, a key, the wheel), signalled after the value
// has changed. Changes made by program code (setValue) are not signalled,
// so the position refresh never looks like a user's move.
//
// SliderMouse: any mouse button pressed or released on the slider. The
// release is signalled after the slider has handled it, so the value read
// then is where the thumb came to rest.
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

 Q_SIGNALS:
  void MouseDown();
  void MouseUp();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QSlider* slider_;
  bool inRelease_ = false;
};

}  // namespace lentaro::playback
