// The pointer rules of the main window's handled controls, as event
// filters: a move over a button asks for the hand (99); a move over the
// window's own background, a frame's own area or the playlist asks for the
// ordinary pointer (0). Moves over sliders, labels and the text box change
// nothing. The pointer keeps the wait setting through all of them.
#pragma once

#include <QObject>

class QWidget;

namespace lentaro {

class MainPointer;

class HoverRules : public QObject {
  Q_OBJECT

 public:
  HoverRules(MainPointer& pointer, QObject* parent) : QObject(parent), pointer_(pointer) {}

  // Moves over the widget itself set `value`; moves that arrive from one of
  // its children (the child ignored them) are left alone unless
  // `wholeArea` is set (the playlist, whose viewport fills it).
  void watch(QWidget* widget, int value, bool wholeArea = false);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  MainPointer& pointer_;
};

}  // namespace lentaro
