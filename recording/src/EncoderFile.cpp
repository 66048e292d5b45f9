#include "recording/EncoderFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "shell/ErrorTrap.h"
#include "util/sMain.h"

namespace lentaro::recording {

EncoderFile::EncoderFile(QString tempRoot) : tempRoot_(std::move(tempRoot)) {}

EncoderFile::EncoderFile() : EncoderFile(QDir::tempPath()) {}

EncoderFile::~EncoderFile() {
  discard();
}

void EncoderFile::discard() {
  if (folder_.isEmpty() || !folderStillOurs()) return;
  // A program still running from the file keeps its own copy; unlinking
  // it here only drops the name.
  QFile::remove(folder_ + QLatin1Char('/') + QLatin1String(kProgramName));
  ::rmdir(QFile::encodeName(folder_).constData());
  folder_.clear();
}

bool EncoderFile::folderStillOurs() const {
  struct stat st {};
  if (::lstat(QFile::encodeName(folder_).constData(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

QString EncoderFile::path() {
  if (folder_.isEmpty() || !folderStillOurs()) {
    QByteArray pattern = QFile::encodeName(tempRoot_ + QStringLiteral("/lentaro-XXXXXX"));
    if (::mkdtemp(pattern.data()) == nullptr) throw Failure(std::strerror(errno));
    folder_ = QFile::decodeName(pattern);
  }
  return folder_ + QLatin1Char('/') + QLatin1String(kProgramName);
}

void EncoderFile::write(const QByteArray& program) {
  sMain::WriteExecutableFile(program, path());
}

void EncoderFile::remove() {
  if (folder_.isEmpty()) {
    sMain::DeleteFileQuietly(QString());
    return;
  }
  sMain::DeleteFileQuietly(folder_ + QLatin1Char('/') + QLatin1String(kProgramName));
}

}  // namespace lentaro::recording
