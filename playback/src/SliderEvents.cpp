#include "SliderEvents.h"

#include <QEvent>
#include <QSlider>

namespace lentaro::playback {

SliderScroll::SliderScroll(QSlider* slider) : QObject(slider) {
  // A user action adjusts the slider position and emits actionTriggered
  // before the value follows; a programmatic setValue never triggers an
  // action. So a value change is the user's exactly when an action just
  // moved the position away from the value.
  slider->setTracking(true);
  connect(slider, &QAbstractSlider::actionTriggered, this,
          [this, slider](int) { pending_ = slider->sliderPosition() != slider->value(); });
  connect(slider, &QAbstractSlider::valueChanged, this, [this](int) {
    if (!pending_) return;
    pending_ = false;
    Q_EMIT Scroll();
  });
}

SliderMouse::SliderMouse(QSlider* slider) : QObject(slider), slider_(slider) {
  slider->installEventFilter(this);
}

bool SliderMouse::eventFilter(QObject* watched, QEvent* event) {
  if (watched != slider_) return false;
  if (event->type() == QEvent::MouseButtonPress) {
    Q_EMIT MouseDown();
  } else if (event->type() == QEvent::MouseButtonRelease && !inRelease_) {
    // Let the slider finish the drag or the page step first.
    inRelease_ = true;
    static_cast<QObject*>(slider_)->event(event);
    inRelease_ = false;
    Q_EMIT MouseUp();
    return true;
  }
  return false;
}

}  // namespace lentaro::playback
