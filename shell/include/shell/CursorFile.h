// Pointer pictures from Windows cursor (.cur) and icon (.ico) files: the hand
// over the buttons and the drag pointer over the playlist.
//
// Thread: user-interface thread only (QCursor needs the GUI).
#pragma once

#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <optional>

namespace lentaro {

// The hot spot of the first picture of a .cur file, read from its directory
// entry; none for an .ico file or bytes that are not a cursor or icon file.
std::optional<QPoint> cursorHotSpot(const QByteArray& fileBytes);

// The first picture of a .cur or .ico file: a 1, 4, 8, 24 or 32-bit
// bitmap with its mask, or a PNG, at most 256 pixels a side. Null when the
// bytes hold no such picture; every size and offset is checked against the
// bytes there are.
QImage firstIconPicture(const QByteArray& fileBytes);

// Loads the first picture of a .cur or .ico file as a cursor. A cursor's hot
// spot comes from the file; an icon's is its centre. Throws
// lentaro::Failure("Invalid picture") when the file cannot be read or holds
// no picture.
QCursor loadCursorFile(const QString& path);

}  // namespace lentaro
