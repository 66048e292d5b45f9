#include "LoopBand.h"

#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

namespace lentaro {

LoopBand::LoopBand(QSlider* slider, QWidget* parent) : QWidget(parent), slider_(slider) {
  setObjectName(QStringLiteral("loopBand"));
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
  setGeometry(slider->geometry());
  raise();
}

void LoopBand::setRange(std::optional<std::pair<double, double>> seconds,
                        std::optional<double> pendingStart) {
  if (range_ == seconds && pending_ == pendingStart) return;
  range_ = seconds;
  pending_ = pendingStart;
  update();
}

void LoopBand::setMarkers(QVector<double> seconds) {
  if (markers_ == seconds) return;
  markers_ = std::move(seconds);
  update();
}

QColor LoopBand::bandColour() {
  return QColor(255, 140, 0, 110);
}

std::pair<double, double> LoopBand::span() const {
  QStyleOptionSlider opt;
  opt.initFrom(slider_);
  opt.orientation = slider_->orientation();
  opt.minimum = slider_->minimum();
  opt.maximum = slider_->maximum();
  opt.sliderPosition = slider_->sliderPosition();
  opt.sliderValue = slider_->value();
  opt.subControls = QStyle::SC_All;
  const QRect groove =
      slider_->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, slider_);
  const QRect handle =
      slider_->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider_);
  const double half = handle.width() / 2.0;
  return {groove.left() + half, groove.left() + groove.width() - half};
}

double LoopBand::xOf(double seconds) const {
  const auto [x0, x1] = span();
  const int max = slider_->maximum();
  if (max <= 0) return x0;
  return x0 + std::clamp(seconds / max, 0.0, 1.0) * (x1 - x0);
}

double LoopBand::secondsAt(double x) const {
  const auto [x0, x1] = span();
  if (x1 <= x0) return 0;
  return std::clamp((x - x0) / (x1 - x0), 0.0, 1.0) * slider_->maximum();
}

void LoopBand::paintEvent(QPaintEvent*) {
  if (slider_->maximum() <= 0) return;
  QPainter p(this);
  if (range_) {
    const double a = xOf(range_->first);
    const double b = xOf(range_->second);
    p.fillRect(QRectF(a, 0, std::max(1.0, b - a), height()), bandColour());
  } else if (pending_) {
    p.fillRect(QRectF(xOf(*pending_) - 1, 0, 2, height()), bandColour());
  }
  const QColor tick = palette().color(QPalette::Highlight);
  for (const double m : markers_) p.fillRect(QRectF(xOf(m) - 0.5, 0, 1, height() / 3.0), tick);
}

}  // namespace lentaro
