#include "app/AppStyle.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace lentaro {

namespace {

// Two chevrons, pointing along the bar (right, or down for a vertical
// one), drawn when the button is painted.
class ChevronIconEngine final : public QIconEngine {
 public:
  explicit ChevronIconEngine(bool vertical) : vertical_(vertical) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    const QPalette palette = QApplication::palette();
    const QColor ink = mode == QIcon::Disabled
                           ? palette.color(QPalette::Disabled, QPalette::ButtonText)
                           : palette.color(QPalette::Active, QPalette::ButtonText);
    const qreal side = std::min(rect.width(), rect.height());
    const qreal step = side / 4.0;
    QPainterPath path;
    for (int i = 0; i < 2; ++i) {
      const qreal at = side / 4.0 + i * step;
      path.moveTo(at, side / 4.0);
      path.lineTo(at + step, side / 2.0);
      path.lineTo(at, side * 3.0 / 4.0);
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(rect.center() - QPointF(side / 2.0, side / 2.0));
    if (vertical_) {
      // Mirror across the diagonal: right becomes down.
      painter->setTransform(QTransform(0, 1, 1, 0, 0, 0), true);
    }
    painter->setPen(QPen(ink, std::max(1.0, side / 10.0)));
    painter->drawPath(path);
    painter->restore();
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return picture;
  }

  QIconEngine* clone() const override { return new ChevronIconEngine(vertical_); }

 private:
  const bool vertical_;
};

}  // namespace

QIcon AppStyle::standardIcon(StandardPixmap pixmap, const QStyleOption* option,
                             const QWidget* widget) const {
  if (pixmap == SP_ToolBarHorizontalExtensionButton) return QIcon(new ChevronIconEngine(false));
  if (pixmap == SP_ToolBarVerticalExtensionButton) return QIcon(new ChevronIconEngine(true));
  return QProxyStyle::standardIcon(pixmap, option, widget);
}

void installAppStyle() {
  // The application takes ownership.
  QApplication::setStyle(new AppStyle);
}

}  // namespace lentaro
