#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QWidget>
#include <vector>

#include "shell/CursorFile.h"
#include "shell/ErrorTrap.h"
#include "shell/MainPointer.h"
#include "shell/PngPicture.h"

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

// An .ico or .cur file of one bitmap picture, written the way Windows
// writes them: `colour` holds palette indices for 1, 4 and 8 bits and ARGB
// otherwise; `clear` marks the mask's transparent pixels.
struct Picture {
  int width = 0;
  int height = 0;
  int bits = 32;
  std::vector<QRgb> palette;
  std::vector<quint32> colour;
  std::vector<bool> clear;
  bool withMask = true;
  quint16 type = 1;
  QPoint hot;
};

void put16(QByteArray& b, int v) {
  b.append(char(v & 0xff));
  b.append(char((v >> 8) & 0xff));
}
void put32(QByteArray& b, qint64 v) {
  put16(b, int(v & 0xffff));
  put16(b, int((v >> 16) & 0xffff));
}

QByteArray dib(const Picture& p) {
  QByteArray d;
  put32(d, 40);
  put32(d, p.width);
  put32(d, p.height * 2);
  put16(d, 1);
  put16(d, p.bits);
  put32(d, 0);
  put32(d, 0);
  put32(d, 0);
  put32(d, 0);
  put32(d, qint64(p.palette.size()));
  put32(d, 0);
  for (QRgb c : p.palette) {
    d.append(char(qBlue(c)));
    d.append(char(qGreen(c)));
    d.append(char(qRed(c)));
    d.append('\0');
  }
  const int stride = (p.width * p.bits + 31) / 32 * 4;
  for (int y = p.height - 1; y >= 0; --y) {
    QByteArray row(stride, '\0');
    for (int x = 0; x < p.width; ++x) {
      const quint32 v = p.colour[size_t(y * p.width + x)];
      if (p.bits == 32 || p.bits == 24) {
        const int at = x * (p.bits / 8);
        row[at] = char(qBlue(v));
        row[at + 1] = char(qGreen(v));
        row[at + 2] = char(qRed(v));
        if (p.bits == 32) row[at + 3] = char(qAlpha(v));
      } else {
        const int perByte = 8 / p.bits;
        row[x / perByte] = char(row[x / perByte] | (v << (8 - p.bits * (x % perByte + 1))));
      }
    }
    d += row;
  }
  if (p.withMask) {
    const int maskStride = (p.width + 31) / 32 * 4;
    for (int y = p.height - 1; y >= 0; --y) {
      QByteArray row(maskStride, '\0');
      for (int x = 0; x < p.width; ++x)
        if (p.clear[size_t(y * p.width + x)]) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
      d += row;
    }
  }
  return d;
}

QByteArray iconFile(const QByteArray& picture, quint16 type, int width, int height, QPoint hot) {
  QByteArray f;
  put16(f, 0);
  put16(f, type);
  put16(f, 1);
  f.append(char(width & 0xff));
  f.append(char(height & 0xff));
  f.append('\0');
  f.append('\0');
  put16(f, type == 2 ? hot.x() : 1);
  put16(f, type == 2 ? hot.y() : 32);
  put32(f, picture.size());
  put32(f, 22);
  return f + picture;
}

QByteArray iconFile(const Picture& p) {
  return iconFile(dib(p), p.type, p.width, p.height, p.hot);
}

Picture pattern(int width, int height, int bits, QRandomGenerator& random) {
  Picture p;
  p.width = width;
  p.height = height;
  p.bits = bits;
  if (bits <= 8) {
    const int colours = bits == 8 ? 37 : 1 << bits;  // a short 8-bit palette too
    for (int i = 0; i < colours; ++i) p.palette.push_back(qRgb(i * 7 % 256, 255 - i, i * 29 % 256));
  }
  for (int i = 0; i < width * height; ++i) {
    if (bits <= 8)
      p.colour.push_back(random.bounded(quint32(p.palette.size())));
    else
      p.colour.push_back(random.generate() | (bits == 24 ? 0xff000000u : 0u));
    p.clear.push_back(random.bounded(3) == 0);
  }
  return p;
}

// What Qt's own ico plugin makes of the same bytes.
QImage byQtPlugin(const QByteArray& file) {
  QBuffer buffer;
  buffer.setData(file);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  return reader.read();
}

// Pixel for pixel, premultiplied as Qt's plugin returns them (so a clear
// pixel's colour does not count).
void expectSamePixels(const QImage& ours, const QImage& theirs, const char* what) {
  ASSERT_FALSE(ours.isNull()) << what;
  ASSERT_EQ(ours.size(), theirs.size()) << what;
  const QImage a = ours.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const QImage b = theirs.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      ASSERT_EQ(a.pixel(x, y), b.pixel(x, y)) << what << " at " << x << "," << y;
}

TEST(CursorFiles, EveryBitmapDepthReadsAsQtsIcoPluginReadsIt) {
  QRandomGenerator random(11);
  const struct {
    int width, height, bits;
  } shapes[] = {{16, 16, 1}, {13, 5, 1},   {20, 7, 4}, {9, 5, 8},
                {32, 32, 8}, {32, 32, 32}, {7, 9, 32}};
  for (const auto& s : shapes) {
    const Picture p = pattern(s.width, s.height, s.bits, random);
    const QByteArray file = iconFile(p);
    const std::string what = std::to_string(s.bits) + " bits " + std::to_string(s.width) + "x" +
                             std::to_string(s.height);
    expectSamePixels(firstIconPicture(file), byQtPlugin(file), what.c_str());
  }

  // The mask makes pixels clear at 24 bits too (Qt's plugin leaves every
  // 24-bit pixel opaque), and in a 32-bit picture whose alpha is all zero,
  // as older writers meant it (the plugin leaves that picture all clear).
  Picture rgb = pattern(33, 2, 24, random);
  Picture flat = pattern(8, 8, 32, random);
  for (quint32& c : flat.colour) c &= 0x00ffffffu;
  for (const Picture* p : {&rgb, &flat}) {
    const QImage read = firstIconPicture(iconFile(*p));
    ASSERT_EQ(read.size(), QSize(p->width, p->height));
    for (int y = 0; y < p->height; ++y) {
      for (int x = 0; x < p->width; ++x) {
        const size_t i = size_t(y * p->width + x);
        ASSERT_EQ(read.pixel(x, y), p->clear[i] ? qRgba(0, 0, 0, 0) : (p->colour[i] | 0xff000000u))
            << p->bits << " bits at " << x << "," << y;
      }
    }
  }

  // A 32-bit picture with alpha and no mask rows after it.
  Picture noMask = pattern(4, 4, 32, random);
  noMask.withMask = false;
  const QImage read = firstIconPicture(iconFile(noMask));
  ASSERT_FALSE(read.isNull());
  EXPECT_EQ(read.pixel(1, 2), noMask.colour[2 * 4 + 1]);

  // A PNG picture, as newer files hold.
  QImage png(24, 24, QImage::Format_ARGB32);
  png.fill(qRgba(10, 200, 30, 128));
  QByteArray pngBytes;
  QBuffer out(&pngBytes);
  out.open(QIODevice::WriteOnly);
  ASSERT_TRUE(png.save(&out, "PNG"));
  const QImage fromPng = firstIconPicture(iconFile(pngBytes, 2, 24, 24, {3, 4}));
  ASSERT_EQ(fromPng.size(), QSize(24, 24));
  EXPECT_EQ(fromPng.pixel(5, 5), qRgba(10, 200, 30, 128));
}

TEST(CursorFiles, DamagedFilesGiveNoPictureAndNeverReadPastTheirBytes) {
  QRandomGenerator random(5);
  const Picture good = pattern(16, 16, 8, random);
  const QByteArray file = iconFile(good);
  ASSERT_FALSE(firstIconPicture(file).isNull());

  const auto changed = [&](qsizetype at, QByteArray with) {
    QByteArray f = file;
    f.replace(at, with.size(), with);
    return f;
  };
  const qsizetype info = 22;  // the bitmap header follows the directory
  EXPECT_TRUE(firstIconPicture(file.left(file.size() - 1)).isNull()) << "cut short";
  EXPECT_TRUE(firstIconPicture(changed(18, QByteArray("\xff\xff\0\0", 4))).isNull()) << "offset";
  EXPECT_TRUE(firstIconPicture(changed(14, QByteArray("\xff\xff\0\0", 4))).isNull()) << "size";
  EXPECT_TRUE(firstIconPicture(changed(info + 4, QByteArray("\0\0\0\0", 4))).isNull()) << "width";
  EXPECT_TRUE(firstIconPicture(changed(info + 4, QByteArray("\x01\x01\0\0", 4))).isNull())
      << "too wide";
  EXPECT_TRUE(firstIconPicture(changed(info + 8, QByteArray("\xfe\xff\xff\xff", 4))).isNull())
      << "negative height";
  EXPECT_TRUE(firstIconPicture(changed(info + 14, QByteArray("\x10\0", 2))).isNull()) << "16 bits";
  EXPECT_TRUE(firstIconPicture(changed(info + 16, QByteArray("\x01\0\0\0", 4))).isNull())
      << "compressed";
  EXPECT_TRUE(firstIconPicture(changed(info + 32, QByteArray("\x02\0\0\0", 4))).isNull())
      << "an index past a two-colour palette";
  EXPECT_TRUE(firstIconPicture(changed(info + 32, QByteArray("\x01\x01\0\0", 4))).isNull())
      << "a palette larger than 8 bits allow";

  // Any byte changed anywhere: a picture or none, and no read outside the
  // file (the sanitizer build checks).
  for (int round = 0; round < 3000; ++round) {
    QByteArray f = file;
    for (int n = random.bounded(1, 4); n > 0; --n)
      f[random.bounded(int(f.size()))] = char(random.bounded(256));
    const QImage image = firstIconPicture(f);
    if (!image.isNull()) {
      EXPECT_LE(image.width(), 256);
    }
  }
}

QByteArray pngOf(const QImage& image) {
  QByteArray bytes;
  QBuffer out(&bytes);
  out.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&out, "PNG"));
  return bytes;
}

TEST(PngPictures, ReadAsQtReadsThemWhateverTheirColourType) {
  QRandomGenerator random(3);
  QImage argb(19, 7, QImage::Format_ARGB32);
  for (int y = 0; y < argb.height(); ++y)
    for (int x = 0; x < argb.width(); ++x) argb.setPixel(x, y, random.generate());
  QImage grey = argb.convertToFormat(QImage::Format_Grayscale8);
  QImage indexed = argb.convertToFormat(QImage::Format_Indexed8);
  QImage rgb = argb.convertToFormat(QImage::Format_RGB32);
  QImage mono = argb.convertToFormat(QImage::Format_Mono);
  for (const QImage* image : {&argb, &grey, &indexed, &rgb, &mono}) {
    const QByteArray png = pngOf(*image);
    expectSamePixels(decodePng(png, 256), QImage::fromData(png, "PNG"),
                     std::to_string(image->format()).c_str());
  }
}

TEST(PngPictures, DamagedOrOversizedGiveNoPicture) {
  QImage image(40, 30, QImage::Format_ARGB32);
  image.fill(qRgba(1, 2, 3, 4));
  const QByteArray png = pngOf(image);
  ASSERT_EQ(decodePng(png, 40).size(), QSize(40, 30));
  EXPECT_TRUE(decodePng(png, 39).isNull());
  EXPECT_TRUE(decodePng(QByteArray(), 256).isNull());
  EXPECT_TRUE(decodePng(QByteArray("not a picture"), 256).isNull());
  EXPECT_TRUE(decodePng(png.left(png.size() / 2), 256).isNull());

  QRandomGenerator random(9);
  for (int round = 0; round < 2000; ++round) {
    QByteArray damaged = png;
    for (int n = random.bounded(1, 4); n > 0; --n)
      damaged[random.bounded(int(damaged.size()))] = char(random.bounded(256));
    const QImage read = decodePng(damaged, 256);
    if (!read.isNull()) {
      EXPECT_LE(read.width(), 256);
    }
  }
}

}  // namespace
}  // namespace lentaro
