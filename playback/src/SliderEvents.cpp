#include "SliderEvents.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QMouseEvent>
#include <QSlider>

namespace lentaro::playback {

namespace {

// The thumb's move as a drag makes it: with tracking, setSliderPosition
// triggers the move action and the value follows (bounded by the range).
void moveThumb(QSlider* slider, int position) {
  const bool tracking = slider->hasTracking();
  slider->setTracking(true);
  slider->setSliderPosition(position);
  slider->setTracking(tracking);
}

// A slider as assistive technology sees it: its value, its range and the
// "Increase"/"Decrease" actions (a single step). Setting the value or
// taking an action moves the slider as the user does, so the handlers of
// the user's moves run.
class UserMoveSlider : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit UserMoveSlider(QSlider* slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return QString::number(slider()->value());
    return QAccessibleWidget::text(t);
  }

  QVariant currentValue() const override { return slider()->value(); }
  QVariant maximumValue() const override { return slider()->maximum(); }
  QVariant minimumValue() const override { return slider()->minimum(); }
  QVariant minimumStepSize() const override { return slider()->singleStep(); }

  void setCurrentValue(const QVariant& value) override {
    bool ok = false;
    const int wanted = value.toInt(&ok);
    if (ok) move(wanted);
  }

  QStringList actionNames() const override {
    QStringList names = QAccessibleWidget::actionNames();
    if (slider()->isEnabled()) names << increaseAction() << decreaseAction();
    return names;
  }

  void doAction(const QString& name) override {
    const int step = slider()->singleStep();
    if (name == increaseAction())
      move(slider()->value() + step);
    else if (name == decreaseAction())
      move(slider()->value() - step);
    else
      QAccessibleWidget::doAction(name);
  }

 private:
  QSlider* slider() const { return static_cast<QSlider*>(object()); }

  void move(int position) {
    QSlider* s = slider();
    if (!s->isEnabled()) return;
    if (auto* mouse = s->findChild<SliderMouse*>(QString(), Qt::FindDirectChildrenOnly))
      mouse->moveForUser(position);
    else
      moveThumb(s, position);
  }
};

// Only sliders whose user moves are watched here get the interface above;
// every other slider keeps Qt's own.
QAccessibleInterface* userMoveSliderFactory(const QString&, QObject* object) {
  auto* slider = qobject_cast<QSlider*>(object);
  if (!slider) return nullptr;
  if (!slider->findChild<SliderScroll*>(QString(), Qt::FindDirectChildrenOnly) &&
      !slider->findChild<SliderMouse*>(QString(), Qt::FindDirectChildrenOnly))
    return nullptr;
  return new UserMoveSlider(slider);
}

// Gives `slider` the interface above. Assistive technology asks for a
// widget's interface as soon as the widget exists, and Qt keeps the answer;
// one made before this slider's user moves were watched is Qt's own, so it
// goes, and the next question makes ours.
void presentUserMovesToAssistiveTechnology(QSlider* slider) {
  static const bool installed = [] {
    QAccessible::installFactory(&userMoveSliderFactory);
    return true;
  }();
  (void)installed;
  QAccessibleInterface* current = QAccessible::queryAccessibleInterface(slider);
  if (current && !dynamic_cast<UserMoveSlider*>(current))
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(current));
}

}  // namespace

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
  presentUserMovesToAssistiveTechnology(slider);
}

SliderMouse::SliderMouse(QSlider* slider) : QObject(slider), slider_(slider) {
  slider->installEventFilter(this);
  presentUserMovesToAssistiveTechnology(slider);
}

void SliderMouse::moveForUser(int position) {
  position = qBound(slider_->minimum(), position, slider_->maximum());
  if (pressed_ || position == slider_->value()) return;
  Q_EMIT MouseDown();
  moveThumb(slider_, position);
  Q_EMIT MouseUp();
}

bool SliderMouse::eventFilter(QObject* watched, QEvent* event) {
  if (watched != slider_) return false;
  if (event->type() == QEvent::MouseButtonPress) {
    pressed_ = true;
    Q_EMIT MouseDown();
  } else if (event->type() == QEvent::MouseButtonDblClick) {
    // The slider takes the second click as a press of its own.
    pressed_ = true;
  } else if (event->type() == QEvent::MouseButtonRelease && !inRelease_) {
    // Let the slider finish the drag or the page step first.
    inRelease_ = true;
    static_cast<QObject*>(slider_)->event(event);
    inRelease_ = false;
    if (static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton) pressed_ = false;
    Q_EMIT MouseUp();
    return true;
  }
  return false;
}

}  // namespace lentaro::playback
