#include "shell/MainPointer.h"

namespace lentaro {

MainPointer::MainPointer(QWidget* window) : window_(window) {
  apply();
}

void MainPointer::setWindow(QWidget* window) {
  window_ = window;
  apply();
}

void MainPointer::setMousePointer(int value) {
  switch (value) {
    case kArrow:
    case kWait:
    case kCustom:
      value_ = value;
      break;
    default:
      value_ = kDefault;
  }
  apply();
}

void MainPointer::hover(int value) {
  if (busy()) return;
  if (value_ != value) setMousePointer(value);
}

void MainPointer::setCustomCursor(const QCursor& cursor) {
  custom_ = cursor;
  apply();
}

QCursor MainPointer::shape() const {
  switch (value_) {
    case kWait:
      return QCursor(Qt::WaitCursor);
    case kCustom:
      return custom_ ? *custom_ : QCursor(Qt::ArrowCursor);
    default:
      return QCursor(Qt::ArrowCursor);
  }
}

void MainPointer::apply() {
  if (!window_) return;
  if (value_ == kDefault)
    window_->unsetCursor();  // the platform's ordinary pointer
  else
    window_->setCursor(shape());
}

}  // namespace lentaro
