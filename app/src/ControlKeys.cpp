#include "ControlKeys.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QKeyEvent>
#include <QWidget>

#include "playlist/PlaylistView.h"

namespace lentaro {

namespace {

bool isMovementKey(int key) {
  switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool ControlKeys::keeps(const QObject* control, const QKeyEvent& event) {
  // The keypad's arrows are the arrows.
  const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
  const int key = event.key();
  if (qobject_cast<const playlist::PlaylistView*>(control)) {
    if (key == Qt::Key_Delete) return true;
    return isMovementKey(key) && (mods == Qt::NoModifier || mods == Qt::ShiftModifier);
  }
  if (qobject_cast<const QAbstractSlider*>(control))
    return isMovementKey(key) && mods == Qt::NoModifier;
  if (qobject_cast<const QAbstractButton*>(control))
    return key == Qt::Key_Space && mods == Qt::NoModifier;
  return false;
}

bool ControlKeys::eventFilter(QObject* watched, QEvent* event) {
  // Accepting the override sends the key to the control instead of to the
  // shortcut it matches.
  if (event->type() == QEvent::ShortcutOverride &&
      keeps(watched, *static_cast<QKeyEvent*>(event))) {
    event->accept();
    return true;
  }
  return false;
}

}  // namespace lentaro
