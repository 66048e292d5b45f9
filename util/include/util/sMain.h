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
// name it or the folder it names does not exist. Only kDesktopFolder is
// known here.
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

// Puts a new file holding exactly `bytes` at path. The bytes go to a fresh
// file beside it (created exclusively, never through a link) that is then
// renamed over path, so a shorter write never keeps an old tail, a program
// still running from the old file is not disturbed, and a link planted at
// path is replaced rather than followed. Permissions: the usual 0666 less
// the umask. Throws lentaro::Failure with the platform's description when
// the folder cannot take the file; nothing is left behind then.
void WriteBytesToFile(const QByteArray& bytes, const QString& path);

// As WriteBytesToFile, for a program file: the new file is executable and
// readable by its owner only (mode 0700, whatever the umask).
void WriteExecutableFile(const QByteArray& bytes, const QString& path);

// Lets pending window events run once, then deletes the file; every
// failure (missing, in use, no rights) is ignored.
void DeleteFileQuietly(const QString& path);

}  // namespace lentaro::sMain
