#include <gtest/gtest.h>

#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QWidget>

#include "shell/CursorFile.h"
#include "shell/ErrorTrap.h"
#include "shell/MainPointer.h"

namespace lentaro {
namespace {

QString appFolderFile(const char* name) {
  return qEnvironmentVariable("LENTARO_APP_DIR") + QLatin1Char('/') + QString::fromLatin1(name);
}

TEST(MainPointer, ValuesShowTheirCursorsOnTheWindow) {
  QWidget window;
  MainPointer pointer(&window);
  EXPECT_EQ(pointer.MousePointer(), 0);
  EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);

  pointer.setMousePointer(11);
  EXPECT_TRUE(pointer.busy());
  EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);

  pointer.setMousePointer(1);
  EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);

  // 99 without a custom picture: the ordinary arrow.
  pointer.setMousePointer(99);
  EXPECT_EQ(pointer.MousePointer(), 99);
  EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);

  QPixmap hand(16, 16);
  hand.fill(Qt::red);
  pointer.setCustomCursor(QCursor(hand, 3, 4));
  EXPECT_EQ(window.cursor().shape(), Qt::BitmapCursor);
  EXPECT_EQ(window.cursor().hotSpot(), QPoint(3, 4));

  pointer.setMousePointer(0);
  EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);

  pointer.setMousePointer(42);  // unknown values count as the default
  EXPECT_EQ(pointer.MousePointer(), 0);
}

TEST(MainPointer, HoverLeavesTheBusyStateAlone) {
  QWidget window;
  MainPointer pointer(&window);
  pointer.hover(99);
  EXPECT_EQ(pointer.MousePointer(), 99);
  pointer.hover(0);
  EXPECT_EQ(pointer.MousePointer(), 0);

  pointer.setMousePointer(11);
  pointer.hover(99);
  pointer.hover(0);
  EXPECT_EQ(pointer.MousePointer(), 11);
  EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);

  // The setting is kept for a window that comes later.
  MainPointer early;
  early.setMousePointer(11);
  QWidget later;
  early.setWindow(&later);
  EXPECT_EQ(later.cursor().shape(), Qt::WaitCursor);
}

TEST(CursorFiles, ShippedHandHonoursItsHotSpotAndDragIconIsCentred) {
  const QString handPath = appFolderFile("HAND-M.CUR");
  QFile handFile(handPath);
  ASSERT_TRUE(handFile.open(QIODevice::ReadOnly)) << handPath.toStdString();
  const auto hot = cursorHotSpot(handFile.readAll());
  ASSERT_TRUE(hot.has_value());
  EXPECT_EQ(*hot, QPoint(6, 0));  // the tip of the pointing finger

  const QCursor hand = loadCursorFile(handPath);
  EXPECT_EQ(hand.hotSpot(), QPoint(6, 0));
  EXPECT_EQ(hand.pixmap().size(), QSize(32, 32));
  // The finger's tip is drawn, the corner beside it is clear.
  const QImage picture = hand.pixmap().toImage();
  EXPECT_GT(qAlpha(picture.pixel(6, 0)), 0);
  EXPECT_EQ(qAlpha(picture.pixel(31, 31)), 0);

  const QCursor drag = loadCursorFile(appFolderFile("drag.ico"));
  EXPECT_EQ(drag.hotSpot(), QPoint(16, 16));
}

TEST(CursorFiles, RefusesWhatIsNoPicture) {
  QTemporaryDir dir;
  const QString bogus = dir.filePath(QStringLiteral("HAND-M.CUR"));
  QFile out(bogus);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write("this is not a cursor file at all");
  out.close();
  EXPECT_THROW(loadCursorFile(bogus), Failure);
  EXPECT_THROW(loadCursorFile(dir.filePath(QStringLiteral("missing.cur"))), Failure);

  // A directory that claims one cursor but holds no picture data.
  QByteArray truncated("\0\0\2\0\1\0", 6);
  truncated += QByteArray(16, '\0');
  truncated[6] = 32;
  truncated[7] = 32;
  EXPECT_TRUE(cursorHotSpot(truncated).has_value());
  QFile cut(bogus);
  ASSERT_TRUE(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
  cut.write(truncated);
  cut.close();
  EXPECT_THROW(loadCursorFile(bogus), Failure);

  EXPECT_FALSE(cursorHotSpot(QByteArray("\0\0\1\0", 4)).has_value());
}

}  // namespace
}  // namespace lentaro
