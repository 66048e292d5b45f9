#include "sMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "shell/ErrorTrap.h"

namespace lentaro::sMain {

QString GetSpecialFolderPath(int folderId) {
  if (folderId != kDesktopFolder) return {};
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  return desktop.isEmpty() ? QString() : QDir::cleanPath(desktop);
}

QString GetDesktopFolder() {
  QString folder = GetSpecialFolderPath(kDesktopFolder);
  if (folder.isEmpty()) folder = QDir::homePath();
  if (folder.isEmpty()) folder = QDir::rootPath();
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

bool IsDirectory(const QString& path) {
  if (path.isEmpty()) return false;
  return QFileInfo(path).isDir();
}

bool FileDateReadable(const QString& path) {
  if (path.isEmpty()) return false;
  const QFileInfo info(path);
  return info.exists() && info.lastModified().isValid();
}

void WriteBytesToFile(const QByteArray& bytes, const QString& path) {
  QFile file(path);
  // ReadWrite without Truncate: an existing longer file keeps its tail, as
  // callers that write over a file of the same size expect.
  if (!file.open(QIODevice::ReadWrite)) throw Failure(file.errorString().toStdString());
  if (file.write(bytes) != bytes.size() || !file.flush())
    throw Failure(file.errorString().toStdString());
}

void DeleteFileQuietly(const QString& path) {
  QCoreApplication::processEvents();
  QFile::remove(path);
}

}  // namespace lentaro::sMain
