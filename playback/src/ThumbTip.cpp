#include "playback/ThumbTip.h"

#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>

namespace lentaro::playback {

ThumbTip::ThumbTip(QSlider* slider) : QObject(slider), slider_(slider) {
  setObjectName(QStringLiteral("ThumbTip"));
  connect(slider, &QSlider::sliderPressed, this, &ThumbTip::show);
  connect(slider, &QSlider::sliderMoved, this, &ThumbTip::show);
  connect(slider, &QSlider::sliderReleased, this, &ThumbTip::hide);
}

void ThumbTip::setText(const QString& text) {
  text_ = text;
  if (slider_->isSliderDown()) show();
}

ThumbTip* ThumbTip::of(const QSlider* slider) {
  return slider
             ? slider->findChild<ThumbTip*>(QStringLiteral("ThumbTip"), Qt::FindDirectChildrenOnly)
             : nullptr;
}

QString ThumbTip::textOf(const QSlider* slider) {
  const ThumbTip* tip = of(slider);
  return tip ? tip->text() : QString();
}

QRect ThumbTip::handleRect(const QSlider* slider) {
  // QSlider::initStyleOption is protected; these are the fields the styles
  // read to place the handle.
  QStyleOptionSlider opt;
  opt.initFrom(slider);
  opt.subControls = QStyle::SC_None;
  opt.activeSubControls = QStyle::SC_None;
  opt.orientation = slider->orientation();
  opt.maximum = slider->maximum();
  opt.minimum = slider->minimum();
  opt.tickPosition = slider->tickPosition();
  opt.tickInterval = slider->tickInterval();
  opt.upsideDown = (slider->orientation() == Qt::Horizontal)
                       ? (slider->invertedAppearance() != (opt.direction == Qt::RightToLeft))
                       : (!slider->invertedAppearance());
  opt.direction = Qt::LeftToRight;
  opt.sliderPosition = slider->sliderPosition();
  opt.sliderValue = slider->value();
  opt.singleStep = slider->singleStep();
  opt.pageStep = slider->pageStep();
  if (slider->orientation() == Qt::Horizontal) opt.state |= QStyle::State_Horizontal;
  const QRect handle =
      slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider);
  return handle;
}

void ThumbTip::show() {
  if (text_.isEmpty()) {
    hide();
    return;
  }
  // Above the handle, so the pointer never covers the text.
  const QRect handle = handleRect(slider_);
  const QPoint anchor(handle.center().x(), handle.top() - slider_->fontMetrics().height() * 2);
  QToolTip::showText(slider_->mapToGlobal(anchor), text_, slider_);
}

void ThumbTip::hide() {
  QToolTip::hideText();
}

}  // namespace lentaro::playback
