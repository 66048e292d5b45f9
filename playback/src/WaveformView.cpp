#include "playback/WaveformView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>
#include <cmath>

namespace lentaro::playback {

namespace {

QColor blend(const QColor& a, const QColor& b, double t) {
  return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - t) + b.redF() * t),
                          static_cast<float>(a.greenF() * (1 - t) + b.greenF() * t),
                          static_cast<float>(a.blueF() * (1 - t) + b.blueF() * t));
}

// The centre of the slider's thumb, in the slider, when it shows `value`.
double thumbCentre(const QSlider* slider, int value) {
  QStyleOptionSlider opt;
  opt.initFrom(slider);
  opt.orientation = slider->orientation();
  opt.minimum = slider->minimum();
  opt.maximum = slider->maximum();
  opt.sliderPosition = value;
  opt.sliderValue = value;
  opt.singleStep = slider->singleStep();
  opt.pageStep = slider->pageStep();
  opt.upsideDown = slider->invertedAppearance();
  opt.tickPosition = slider->tickPosition();
  opt.subControls = QStyle::SC_SliderHandle | QStyle::SC_SliderGroove;
  const QRect handle =
      slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider);
  return handle.left() + handle.width() / 2.0;
}

}  // namespace

WaveformView::WaveformView(QSlider* slider, QWidget* parent) : QWidget(parent), slider_(slider) {
  setObjectName(QStringLiteral("Waveform"));
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  setFocusPolicy(Qt::NoFocus);
  // Screen readers have the position slider itself; this adds no control.
  setAccessibleName(QStringLiteral("Waveform overview"));
}

void WaveformView::setPeaks(const WaveformPeaks& peaks) {
  peaks_ = peaks;
  // Drawn to the loudest peak so far: a quiet recording still shows its
  // shape above and below the slider's groove. Near-silence is not blown
  // up into noise.
  float loudest = 0;
  for (int i = 0; i < peaks_.filled; ++i)
    loudest = std::max({loudest, peaks_.maxs[i], -peaks_.mins[i]});
  gain_ = 1.0 / std::max(static_cast<double>(loudest), kQuietest);
  update();
}

void WaveformView::setPosition(double seconds) {
  if (seconds == position_) return;
  position_ = seconds;
  update();
}

void WaveformView::setLoopRange(std::optional<std::pair<double, double>> seconds) {
  loop_ = seconds;
  update();
}

void WaveformView::setMarkers(QVector<double> seconds) {
  markers_ = std::move(seconds);
  update();
}

std::pair<double, double> WaveformView::span() const {
  // The thumb's travel, from its place at the slider's minimum to its
  // place at the maximum.
  const double offset = slider_->x() - x();
  const int lo = slider_->minimum();
  const int hi = std::max(slider_->maximum(), lo + 1);
  return {offset + thumbCentre(slider_, lo), offset + thumbCentre(slider_, hi)};
}

double WaveformView::timeScale() const {
  // The slider counts whole seconds up to the file's length rounded: on
  // its scale, what lies under the pointer is what a click there reaches,
  // and the thumb stands over what plays. Before the slider has been given
  // the file's length, the file's own length.
  const double rounded = slider_->maximum();
  return std::abs(rounded - peaks_.seconds) <= 1.0 && rounded > 0 ? rounded : peaks_.seconds;
}

double WaveformView::xOf(double seconds) const {
  const auto [left, right] = span();
  const double scale = timeScale();
  if (!(scale > 0)) return left;
  return left + std::clamp(seconds / scale, 0.0, 1.0) * (right - left);
}

void WaveformView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  const QColor played = pal.color(QPalette::Highlight);
  const QColor ahead = blend(played, pal.color(QPalette::Window), 0.55);
  const auto [left, right] = span();
  const double mid = height() / 2.0;
  const double half = height() / 2.0 - 1;

  if (loop_ && peaks_.seconds > 0) {
    QColor band = played;
    band.setAlpha(48);
    const double a = xOf(loop_->first), b = xOf(loop_->second);
    p.fillRect(QRectF(a, 0, std::max(1.0, b - a), height()), band);
  }

  const int columns = static_cast<int>(peaks_.mins.size());
  // The file's extent on the slider's scale: a little past the thumb's
  // last place when its length was rounded down.
  const double fileRight = peaks_.seconds > 0 && timeScale() > 0
                               ? left + peaks_.seconds / timeScale() * (right - left)
                               : right;
  if (columns > 0 && peaks_.filled > 0 && fileRight > left) {
    const double playedX = position_ >= 0 ? xOf(position_) : left - 1;
    const int x0 = static_cast<int>(std::floor(left));
    const int x1 = std::min(static_cast<int>(std::ceil(fileRight)), width());
    for (int x = x0; x < x1; ++x) {
      // The columns this pixel covers; a pixel narrower than a column
      // takes the one under it.
      const double c0 = (x - left) / (fileRight - left) * columns;
      const double c1 = (x + 1 - left) / (fileRight - left) * columns;
      const int first = std::clamp(static_cast<int>(std::floor(c0)), 0, columns - 1);
      const int last = std::clamp(static_cast<int>(std::ceil(c1)) - 1, first, columns - 1);
      if (first >= peaks_.filled) break;
      float lo = peaks_.mins[first], hi = peaks_.maxs[first];
      for (int c = first + 1; c <= last && c < peaks_.filled; ++c) {
        lo = std::min(lo, peaks_.mins[c]);
        hi = std::max(hi, peaks_.maxs[c]);
      }
      p.setPen(x < playedX ? played : ahead);
      // Silence keeps a hairline, so the file's extent shows.
      const double top = mid - std::clamp(hi * gain_, 0.0, 1.0) * half;
      const double bottom = mid - std::clamp(lo * gain_, -1.0, 0.0) * half;
      const int y0 = static_cast<int>(std::lround(top));
      p.drawLine(x, y0, x, std::max(static_cast<int>(std::lround(bottom)), y0));
    }
  }

  if (peaks_.seconds > 0) {
    p.setPen(pal.color(QPalette::Link));
    for (double m : markers_) {
      const int x = static_cast<int>(std::lround(xOf(m)));
      p.drawLine(x, 0, x, height() - 1);
    }
    if (position_ >= 0) {
      p.setPen(pal.color(QPalette::Highlight).darker(130));
      const int x = static_cast<int>(std::lround(xOf(position_)));
      p.drawLine(x, 0, x, height() - 1);
    }
  }
}

void WaveformView::forward(QMouseEvent* event) {
  // The same horizontal place on the slider, at its middle height (where
  // its groove and thumb are).
  const QPointF inSlider(std::clamp(event->position().x() + x() - slider_->x(), 0.0,
                                    static_cast<double>(slider_->width() - 1)),
                         slider_->height() / 2.0);
  QMouseEvent moved(event->type(), inSlider, slider_->mapToGlobal(inSlider), event->button(),
                    event->buttons(), event->modifiers(), event->pointingDevice());
  QApplication::sendEvent(slider_, &moved);
  event->setAccepted(moved.isAccepted());
}

void WaveformView::mousePressEvent(QMouseEvent* event) {
  forward(event);
}

void WaveformView::mouseMoveEvent(QMouseEvent* event) {
  forward(event);
}

void WaveformView::mouseReleaseEvent(QMouseEvent* event) {
  forward(event);
}

void WaveformView::mouseDoubleClickEvent(QMouseEvent* event) {
  forward(event);
}

}  // namespace lentaro::playback
