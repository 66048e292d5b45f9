#include "shell/CursorFile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>

#include "shell/ErrorTrap.h"

namespace lentaro {

namespace {
// ICONDIR (6 bytes) then ICONDIRENTRY (16 bytes) per picture; all
// little-endian. For type 2 (cursor) the entry's planes and bit-count fields
// hold the hot spot's x and y.
constexpr int kDirSize = 6;
constexpr int kEntrySize = 16;
constexpr quint16 kTypeIcon = 1;
constexpr quint16 kTypeCursor = 2;

quint16 le16(const QByteArray& b, int at) {
  return static_cast<quint16>(static_cast<quint8>(b[at]) | (static_cast<quint8>(b[at + 1]) << 8));
}

bool isIconDir(const QByteArray& b, quint16* type) {
  if (b.size() < kDirSize + kEntrySize) return false;
  if (le16(b, 0) != 0 || le16(b, 4) == 0) return false;
  *type = le16(b, 2);
  return *type == kTypeIcon || *type == kTypeCursor;
}
}  // namespace

std::optional<QPoint> cursorHotSpot(const QByteArray& fileBytes) {
  quint16 type = 0;
  if (!isIconDir(fileBytes, &type) || type != kTypeCursor) return std::nullopt;
  return QPoint(le16(fileBytes, kDirSize + 4), le16(fileBytes, kDirSize + 6));
}

QCursor loadCursorFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw Failure("Invalid picture");
  const QByteArray bytes = file.readAll();
  quint16 type = 0;
  if (!isIconDir(bytes, &type)) throw Failure("Invalid picture");

  // Qt's ico reader takes cursor files too once told the format; the hot
  // spot it drops is read from the directory entry instead.
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  // Told, not guessed: guessing asks every image-format plugin installed
  // (loading each) whether it reads the file.
  reader.setAutoDetectImageFormat(false);
  const QImage picture = reader.read();
  if (picture.isNull()) throw Failure("Invalid picture");

  QPoint hot(picture.width() / 2, picture.height() / 2);
  if (const auto fromFile = cursorHotSpot(bytes)) hot = *fromFile;
  hot.setX(qBound(0, hot.x(), picture.width() - 1));
  hot.setY(qBound(0, hot.y(), picture.height() - 1));
  return QCursor(QPixmap::fromImage(picture), hot.x(), hot.y());
}

}  // namespace lentaro
