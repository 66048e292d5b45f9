// A push button with a picture above a caption that wraps onto as many lines
// as the button's width needs ("Move Up" on a narrow, tall button).
// text() and icon() are the ordinary QPushButton ones.
#pragma once

#include <QImage>
#include <QPushButton>

namespace lentaro {

class PictureButton : public QPushButton {
  Q_OBJECT

 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// The 32x32 arrow pictures of the two move buttons, drawn here. Any
// thread: the start-up draws them beside the window's making.
QImage moveArrowPicture(bool up);

}  // namespace lentaro
