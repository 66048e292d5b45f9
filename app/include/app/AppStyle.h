// The application's style: the desktop's own, except for the arrow on the
// menu bar's overflow button, which is drawn here instead of read from an
// image file.
//
// Why: QMenuBar asks the style for that icon while it is being made, and
// Qt reads a style's icon files through QImageReader, which to recognise a
// PNG loads every image-format plugin installed (GIF, ICO, JPEG, and their
// libraries) before it tries its own PNG reader. That cost every start a
// millisecond or more before the window could show, for a button that
// appears only when the menus do not fit.
//
// Thread: the UI thread, like every style.
#pragma once

#include <QProxyStyle>

namespace lentaro {

class AppStyle final : public QProxyStyle {
 public:
  // Wraps the desktop's default style.
  AppStyle() = default;

  QIcon standardIcon(StandardPixmap pixmap, const QStyleOption* option = nullptr,
                     const QWidget* widget = nullptr) const override;
};

// Makes AppStyle the application's style. Call once, after the
// QApplication exists and before the first window is made.
void installAppStyle();

}  // namespace lentaro
