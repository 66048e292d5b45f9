#include "HoverRules.h"

#include <QMouseEvent>
#include <QWidget>

#include "shell/MainPointer.h"

namespace lentaro {

namespace {
const char* const kValueProperty = "lentaroHoverValue";
const char* const kWholeProperty = "lentaroHoverWhole";
}  // namespace

void HoverRules::watch(QWidget* widget, int value, bool wholeArea) {
  if (!widget) return;
  widget->setProperty(kValueProperty, value);
  widget->setProperty(kWholeProperty, wholeArea);
  // Without tracking, moves with no button held never reach the widget.
  widget->setMouseTracking(true);
  widget->installEventFilter(this);
}

bool HoverRules::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseMove) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget) return false;
  const QVariant value = widget->property(kValueProperty);
  if (!value.isValid()) return false;
  // A move that a child passed on: the pointer stands over the child, which
  // has its own rule or none.
  const auto* move = static_cast<QMouseEvent*>(event);
  if (!widget->property(kWholeProperty).toBool() && widget->childAt(move->position().toPoint()))
    return false;
  pointer_.hover(value.toInt());
  return false;
}

}  // namespace lentaro
