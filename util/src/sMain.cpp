#include "util/sMain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>

#include "util/Failure.h"

namespace lentaro::sMain {

namespace {

Failure errnoFailure(int error) {
  return Failure(std::strerror(error));
}

// Closes a descriptor when the scope ends, whichever way it ends.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now and reports the close's own failure (a late write error).
  int release() {
    const int r = ::close(fd_);
    fd_ = -1;
    return r;
  }

 private:
  int fd_;
};

void writeAll(int fd, const QByteArray& bytes) {
  const char* p = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw errnoFailure(errno);
    }
    p += n;
    left -= n;
  }
}

// mode is applied exactly when `exact`, else through the umask.
void replaceFile(const QByteArray& bytes, const QString& path, mode_t mode, bool exact) {
  const QFileInfo info(path);
  const QByteArray name = QFile::encodeName(info.fileName());
  if (name.isEmpty()) throw errnoFailure(EISDIR);
  const Fd dir(::open(QFile::encodeName(info.absolutePath()).constData(),
                      O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) throw errnoFailure(errno);

  QByteArray fresh;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    fresh = '.' + name + '.' + QByteArray::number(QRandomGenerator::global()->generate64(), 36) +
            ".new";
    fd = ::openat(dir.get(), fresh.constData(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && (errno != EEXIST || attempt > 20)) throw errnoFailure(errno);
  }
  Fd file(fd);
  try {
    writeAll(file.get(), bytes);
    if (exact && ::fchmod(file.get(), mode) != 0) throw errnoFailure(errno);
    if (file.release() != 0) throw errnoFailure(errno);
    if (::renameat(dir.get(), fresh.constData(), dir.get(), name.constData()) != 0)
      throw errnoFailure(errno);
  } catch (...) {
    ::unlinkat(dir.get(), fresh.constData(), 0);
    throw;
  }
}

}  // namespace

QString GetSpecialFolderPath(int folderId) {
  if (folderId != kDesktopFolder) return {};
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  // The desktop's naming scheme names a folder whether or not it was ever
  // made; a folder that is not there would only be refused at recording.
  if (desktop.isEmpty() || !QFileInfo(desktop).isDir()) return {};
  return QDir::cleanPath(desktop);
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
  replaceFile(bytes, path, 0666, false);
}

void WriteExecutableFile(const QByteArray& bytes, const QString& path) {
  replaceFile(bytes, path, S_IRWXU, true);
}

void DeleteFileQuietly(const QString& path) {
  QCoreApplication::processEvents();
  if (!path.isEmpty()) QFile::remove(path);
}

}  // namespace lentaro::sMain
