// Which keys a focused control keeps for itself when a command's key is the
// same: the window's keys never take over what a control does with a key.
//
//   the playlist   the arrows, Page Up/Down, Home and End (alone or with
//                  Shift: they move the selection) and Delete (it removes
//                  the selected row), whatever key a command holds
//   a slider       the arrows, Page Up/Down, Home and End, alone
//   a button       Space, alone (it presses the button)
//
// The folder box (a line edit) keeps its typing keys by itself. Every other
// key, and these keys with other modifiers, reach the window's commands.
//
// Made a child of the window; watches the controls given to it.
// Thread: user-interface thread.
#pragma once

#include <QObject>
#include <QWidget>

class QKeyEvent;

namespace lentaro {

class ControlKeys : public QObject {
  Q_OBJECT

 public:
  explicit ControlKeys(QObject* parent) : QObject(parent) {}

  void watch(QWidget* control) { control->installEventFilter(this); }

  // True when `control` keeps the key of `event` for itself.
  static bool keeps(const QObject* control, const QKeyEvent& event);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace lentaro
