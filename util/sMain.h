// Small path and file operations shared by the window's commands.
//
// Thread: user-interface thread (DeleteFileQuietly processes events).
#pragma once

#include <QByteArray>
#include <QString>

namespace lentaro::sMain {

// The desktop's identifier for GetSpecialFolderPath.
inline constexpr int kDesktopFolder = 0;

// The path of a special folder, or an empty text when the desktop cannot
// name it. Only kDesktopFolder is known here.
QString GetSpecialFolderPath(int folderId);

// The desktop folder followed by "/". When no desktop folder can be named,
// the home folder stands in for it (and "/" when there is no home either),
// so the output folder always starts as a real place.
QString GetDesktopFolder();

// True when the path exists and is a folder; false for anything else,
// including a missing path. Never throws.
bool IsDirectory(const QString& path);

// True when the file's last-modified time can be read (the path exists).
bool FileDateReadable(const QString& path);

// Writes all bytes to path from its first byte on, creating the file when
// it is missing. Throws lentaro::Failure with the platform's description
// when the file cannot be opened or written.
void WriteBytesToFile(const QByteArray& bytes, const QString& path);

// Lets pending window events run once, then deletes the file; every
// failure (missing, in use, no rights) is ignored.
void DeleteFileQuietly(const QString& path);

}  // namespace lentaro::sMain
