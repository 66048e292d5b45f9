#include "shell/CursorFile.h"

#include <QFile>
#include <QPixmap>

#include "shell/ErrorTrap.h"
#include "shell/PngPicture.h"

namespace lentaro {

namespace {
// ICONDIR (6 bytes) then ICONDIRENTRY (16 bytes) per picture; all
// little-endian. For type 2 (cursor) the entry's planes and bit-count fields
// hold the hot spot's x and y.
constexpr qsizetype kDirSize = 6;
constexpr qsizetype kEntrySize = 16;
constexpr quint16 kTypeIcon = 1;
constexpr quint16 kTypeCursor = 2;
// A picture is a BITMAPINFOHEADER (the height counts the colour rows and
// the mask rows), the palette, the colour rows and the 1-bit mask rows,
// each bottom-up and padded to 4 bytes; or, in newer files, a PNG.
constexpr qsizetype kInfoSize = 40;
constexpr quint32 kRgb = 0;
constexpr quint32 kBitFields = 3;
constexpr int kMaxSide = 256;

quint16 le16(const QByteArray& b, qsizetype at) {
  return static_cast<quint16>(static_cast<quint8>(b[at]) | (static_cast<quint8>(b[at + 1]) << 8));
}

quint32 le32(const QByteArray& b, qsizetype at) {
  return static_cast<quint32>(le16(b, at)) | (static_cast<quint32>(le16(b, at + 2)) << 16);
}

bool isIconDir(const QByteArray& b, quint16* type) {
  if (b.size() < kDirSize + kEntrySize) return false;
  if (le16(b, 0) != 0 || le16(b, 4) == 0) return false;
  *type = le16(b, 2);
  return *type == kTypeIcon || *type == kTypeCursor;
}

qsizetype rowBytes(qint64 width, int bits) {
  return static_cast<qsizetype>(((width * bits + 31) / 32) * 4);
}

// The picture of a BITMAPINFOHEADER at the start of `dib`, or a null image.
QImage fromDib(const QByteArray& dib) {
  if (dib.size() < kInfoSize || le32(dib, 0) < kInfoSize) return {};
  const qint64 width = static_cast<qint32>(le32(dib, 4));
  const qint64 doubled = static_cast<qint32>(le32(dib, 8));
  const int bits = le16(dib, 14);
  const quint32 compression = le32(dib, 16);
  const quint32 paletteUsed = le32(dib, 32);
  const qint64 height = doubled / 2;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return {};
  if (!(bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32)) return {};
  if (compression != kRgb && !(bits == 32 && compression == kBitFields)) return {};

  const qsizetype headerSize = le32(dib, 0);
  qsizetype at = headerSize;
  // BITFIELDS: the three masks follow a 40-byte header (later headers hold
  // them); 32-bit icons use them only to say the usual BGRA order.
  if (compression == kBitFields && headerSize == kInfoSize) at += 12;
  QList<QRgb> palette;
  if (bits <= 8) {
    const qsizetype colours = paletteUsed != 0 ? qsizetype(paletteUsed) : qsizetype(1) << bits;
    if (colours > (qsizetype(1) << bits) || dib.size() < at + colours * 4) return {};
    for (qsizetype i = 0; i < colours; ++i) {
      const qsizetype c = at + i * 4;
      palette.append(qRgb(static_cast<quint8>(dib[c + 2]), static_cast<quint8>(dib[c + 1]),
                          static_cast<quint8>(dib[c])));
    }
    at += colours * 4;
  }
  const qsizetype colourRow = rowBytes(width, bits);
  const qsizetype maskRow = rowBytes(width, 1);
  const qsizetype colourAt = at;
  const qsizetype maskAt = colourAt + colourRow * height;
  // Some writers leave the mask out of 32-bit pictures; their alpha says it.
  const bool hasMask = dib.size() >= maskAt + maskRow * height;
  if (dib.size() < maskAt || (bits != 32 && !hasMask)) return {};

  QImage image(int(width), int(height), QImage::Format_ARGB32);
  if (image.isNull()) return {};
  const auto* bytes = reinterpret_cast<const quint8*>(dib.constData());
  bool anyAlpha = false;
  for (qint64 y = 0; y < height; ++y) {
    const quint8* row = bytes + colourAt + (height - 1 - y) * colourRow;
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
    for (qint64 x = 0; x < width; ++x) {
      QRgb pixel = 0;
      if (bits == 32) {
        const quint8* p = row + x * 4;
        pixel = qRgba(p[2], p[1], p[0], p[3]);
        anyAlpha = anyAlpha || p[3] != 0;
      } else if (bits == 24) {
        const quint8* p = row + x * 3;
        pixel = qRgb(p[2], p[1], p[0]);
      } else {
        const int perByte = 8 / bits;
        const int shift = 8 - bits * (int(x % perByte) + 1);
        const int index = (row[x / perByte] >> shift) & ((1 << bits) - 1);
        if (index >= palette.size()) return {};
        pixel = palette[index];
      }
      out[x] = pixel;
    }
  }
  // The mask decides transparency unless a 32-bit picture carries alpha.
  if (bits != 32 || !anyAlpha) {
    if (!hasMask) return {};
    for (qint64 y = 0; y < height; ++y) {
      const quint8* row = bytes + maskAt + (height - 1 - y) * maskRow;
      auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
      for (qint64 x = 0; x < width; ++x) {
        const bool clear = (row[x / 8] >> (7 - x % 8)) & 1;
        out[x] = clear ? qRgba(0, 0, 0, 0) : (out[x] | 0xff000000u);
      }
    }
  }
  return image;
}
}  // namespace

std::optional<QPoint> cursorHotSpot(const QByteArray& fileBytes) {
  quint16 type = 0;
  if (!isIconDir(fileBytes, &type) || type != kTypeCursor) return std::nullopt;
  return QPoint(le16(fileBytes, kDirSize + 4), le16(fileBytes, kDirSize + 6));
}

QImage firstIconPicture(const QByteArray& fileBytes) {
  quint16 type = 0;
  if (!isIconDir(fileBytes, &type)) return {};
  const qsizetype size = le32(fileBytes, kDirSize + 8);
  const qsizetype offset = le32(fileBytes, kDirSize + 12);
  if (offset < kDirSize + kEntrySize || offset >= fileBytes.size() ||
      size > fileBytes.size() - offset)
    return {};
  const QByteArray picture = fileBytes.sliced(offset, size);
  if (picture.startsWith("\x89PNG\r\n\x1a\n")) return decodePng(picture, kMaxSide);
  return fromDib(picture);
}

QCursor loadCursorFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw Failure("Invalid picture");
  const QByteArray bytes = file.readAll();
  // Read here rather than by Qt's image plugins: finding the ico plugin
  // reads every installed plugin's description and loads one more library,
  // on the way to the first window.
  const QImage picture = firstIconPicture(bytes);
  if (picture.isNull()) throw Failure("Invalid picture");

  QPoint hot(picture.width() / 2, picture.height() / 2);
  if (const auto fromFile = cursorHotSpot(bytes)) hot = *fromFile;
  hot.setX(qBound(0, hot.x(), picture.width() - 1));
  hot.setY(qBound(0, hot.y(), picture.height() - 1));
  return QCursor(QPixmap::fromImage(picture), hot.x(), hot.y());
}

}  // namespace lentaro
