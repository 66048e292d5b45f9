// PNG pictures read straight through libpng, for the pictures the start-up
// needs (the program's icon) and those inside cursor files. Qt's own reader
// would first read the description of every installed image-format plugin,
// on the way to the first window.
//
// Thread: any; the result is an ordinary QImage.
#pragma once

#include <QByteArray>
#include <QImage>

namespace lentaro {

// The picture, as non-premultiplied ARGB32, or a null image when the bytes
// are not a PNG or the picture is larger than `maxSide` pixels either way.
QImage decodePng(const QByteArray& bytes, int maxSide);

}  // namespace lentaro
