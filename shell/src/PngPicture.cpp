#include "shell/PngPicture.h"

#include <png.h>

#include <QtEndian>

namespace lentaro {

QImage decodePng(const QByteArray& bytes, int maxSide) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  // The simplified interface checks every chunk and reports a damaged file
  // as a failure; nothing is read outside `bytes`.
  if (!png_image_begin_read_from_memory(&png, bytes.constData(), size_t(bytes.size()))) return {};
  if (png.width == 0 || png.height == 0 || png.width > png_uint_32(maxSide) ||
      png.height > png_uint_32(maxSide)) {
    png_image_free(&png);
    return {};
  }
  // QImage's ARGB32 is one 32-bit word per pixel: B, G, R, A in memory on a
  // little-endian machine.
  png.format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
  QImage image(int(png.width), int(png.height), QImage::Format_ARGB32);
  if (image.isNull() || !png_image_finish_read(&png, nullptr, image.bits(),
                                               png_int_32(image.bytesPerLine()), nullptr)) {
    png_image_free(&png);
    return {};
  }
  return image;
}

}  // namespace lentaro
