#include "PictureButton.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace lentaro {

namespace {
constexpr int kPicture = 32;
constexpr int kGap = 4;
}  // namespace

void PictureButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  option.text.clear();
  option.icon = QIcon();
  painter.drawControl(QStyle::CE_PushButton, option);

  const QRect inner = rect().adjusted(3, 6, -3, -3);
  const QRect textBox(inner.left(), inner.top() + kPicture + kGap, inner.width(),
                      inner.height() - kPicture - kGap);
  const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
  const QRect needed = fontMetrics().boundingRect(textBox, flags, text());
  const int blockHeight = kPicture + kGap + needed.height();
  const int top = inner.top() + qMax(0, (inner.height() - blockHeight) / 2);

  const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
  icon().paint(&painter,
               QRect(inner.left() + (inner.width() - kPicture) / 2, top, kPicture, kPicture),
               Qt::AlignCenter, mode);
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  painter.drawText(QRect(inner.left(), top + kPicture + kGap, inner.width(), needed.height()),
                   flags, text());
}

QImage moveArrowPicture(bool up) {
  QImage picture(kPicture, kPicture, QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);

  // A rounded arrow: head of 14 px, shaft of 12 px wide; drawn pointing up,
  // mirrored for down.
  QPainterPath arrow;
  arrow.moveTo(16, 3);
  arrow.lineTo(29, 16);
  arrow.lineTo(21, 16);
  arrow.lineTo(21, 29);
  arrow.lineTo(11, 29);
  arrow.lineTo(11, 16);
  arrow.lineTo(3, 16);
  arrow.closeSubpath();
  if (!up) painter.setTransform(QTransform(1, 0, 0, -1, 0, kPicture));

  QLinearGradient fill(0, 3, 0, 29);
  fill.setColorAt(0, QColor(0x4f, 0xa3, 0xe0));
  fill.setColorAt(1, QColor(0x1d, 0x5f, 0xa8));
  painter.setPen(QPen(QColor(0x13, 0x3f, 0x73), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(fill);
  painter.drawPath(arrow);
  painter.end();
  return picture;
}

}  // namespace lentaro
