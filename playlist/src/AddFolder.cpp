#include "playlist/AddFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include "shell/ErrorTrap.h"
#include "shell/UiHost.h"

namespace lentaro::playlist {

const QString& FileNameArray::operator[](int index) const {
  if (names_.empty() && index == 0) return empty_;
  if (index < 1 || index > UBound()) throw Failure("Subscript out of range");
  return names_[static_cast<std::size_t>(index - 1)];
}

namespace AddFolder {

namespace {

using FolderId = std::pair<dev_t, ino_t>;
using VisitedFolders = std::set<FolderId>;

class DirHandle {
 public:
  explicit DirHandle(DIR* d) : d_(d) {}
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;
  ~DirHandle() {
    if (d_) ::closedir(d_);
  }
  DIR* get() const { return d_; }

 private:
  DIR* d_;
};

bool isDotOrDotDot(const char* n) {
  return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

// Whether a directory entry is a folder, following links; d_type spares
// the stat for the common cases.
bool entryIsFolder(const QByteArray& dirBytes, const dirent* e) {
  if (e->d_type == DT_DIR) return true;
  if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) return false;
  struct stat st {};
  const QByteArray full = dirBytes + e->d_name;
  return ::stat(full.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool folderId(const QString& folder, FolderId& id) {
  struct stat st {};
  if (::stat(QFile::encodeName(folder).constData(), &st) != 0) return false;
  id = {st.st_dev, st.st_ino};
  return true;
}

bool isRoot(const QString& folder) {
  return WithoutTrailingSlash(folder).isEmpty();
}

// A folder is refused only as a hidden system folder (or such a link); a
// root is always entered.
bool mayEnter(const QString& folder) {
  if (isRoot(folder)) return true;
  int attrs = 0;
  try {
    attrs = FileAttributes(folder);
  } catch (const Failure&) {
    return true;  // its listing decides what becomes of it
  }
  const int hiddenSystemFolder = kAttrHidden | kAttrSystem | kAttrFolder;
  return attrs != hiddenSystemFolder && attrs != (hiddenSystemFolder | kAttrReparsePoint);
}

enum class Listing { Ok, Denied, Failed };

// Appends the subfolders of `folder` that the walk takes, in listing order.
Listing listSubFolders(const QString& folder, QStringList& into, VisitedFolders& visited) {
  const QByteArray dirBytes = QFile::encodeName(folder);
  DirHandle dir(::opendir(dirBytes.constData()));
  if (!dir.get()) return errno == EACCES || errno == EPERM ? Listing::Denied : Listing::Failed;

  QStringList names;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(dir.get());
    if (!e) break;
    if (isDotOrDotDot(e->d_name) || !entryIsFolder(dirBytes, e)) continue;
    names.push_back(QFile::decodeName(e->d_name));
  }
  const bool failed = errno != 0;
  std::sort(names.begin(), names.end(), ListsBefore);

  for (const QString& n : names) {
    QCoreApplication::processEvents();
    if (HasUnusableChars(n)) continue;
    const QString sub = folder + n + QLatin1Char('/');
    FolderId id;
    if (folderId(sub, id) && !visited.insert(id).second) continue;
    into.push_back(sub);
  }
  return failed ? Listing::Failed : Listing::Ok;
}

void collect(QStringList& folders, VisitedFolders& visited) {
  QStringList fresh;
  for (qsizetype i = 0; i < folders.size();) {
    QCoreApplication::processEvents();
    const QString f = folders[i];
    if (!mayEnter(f)) {
      ++i;
      continue;
    }
    if (listSubFolders(f, fresh, visited) == Listing::Denied) {
      folders.removeAt(i);  // its own files are not added either
      continue;
    }
    ++i;
  }
  if (!fresh.isEmpty()) collect(fresh, visited);
  for (const QString& f : std::as_const(fresh)) {
    QCoreApplication::processEvents();
    if (mayEnter(f)) folders.push_back(f);
  }
}

QChar folded(QChar c) {
  return c.toCaseFolded();
}

bool globMatch(const QString& name, qsizetype ni, const QString& pat, qsizetype pi) {
  // Iterative with one back-tracking point for the last "*": linear for the
  // patterns met here, never exponential.
  qsizetype starP = -1, starN = 0;
  while (ni < name.size()) {
    if (pi < pat.size() && pat[pi] == QLatin1Char('*')) {
      starP = pi++;
      starN = ni;
    } else if (pi < pat.size() &&
               (pat[pi] == QLatin1Char('?') || folded(pat[pi]) == folded(name[ni]))) {
      ++pi;
      ++ni;
    } else if (starP >= 0) {
      pi = starP + 1;
      ni = ++starN;
    } else {
      return false;
    }
  }
  while (pi < pat.size() && pat[pi] == QLatin1Char('*')) ++pi;
  return pi == pat.size();
}

}  // namespace

QString BrowseForFolder(UiHost& ui, QWidget* owner, const QString& title) {
  const QString chosen = ui.browseForFolder(owner, title);
  if (chosen.isEmpty()) return {};
  struct stat st {};
  if (::stat(QFile::encodeName(chosen).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  const QString bare = WithoutTrailingSlash(chosen);
  return bare.isEmpty() ? QStringLiteral("/") : bare;
}

void CollectSubFolders(QStringList& folders) {
  VisitedFolders visited;
  for (const QString& f : std::as_const(folders)) {
    FolderId id;
    if (folderId(f, id)) visited.insert(id);
  }
  collect(folders, visited);
}

bool HasUnusableChars(const QString& name) {
  for (const QChar c : name) {
    const char16_t u = c.unicode();
    if (u < 32 || (u >= 127 && u <= 159) || u == QChar::ReplacementCharacter) return true;
  }
  return false;
}

FileNameArray ListFiles(const QString& folder, const QString& pattern) {
  const QString dirPath = WithTrailingSlash(folder.isEmpty() ? QStringLiteral("/") : folder);
  const QByteArray dirBytes = QFile::encodeName(dirPath);
  QStringList found;
  {
    DirHandle dir(::opendir(dirBytes.constData()));
    if (!dir.get()) return {};
    while (const dirent* e = ::readdir(dir.get())) {
      if (isDotOrDotDot(e->d_name) || e->d_type == DT_DIR) continue;
      const QString n = QFile::decodeName(e->d_name);
      if (MatchesPattern(n, pattern)) found.push_back(n);
    }
  }
  std::sort(found.begin(), found.end(), ListsBefore);

  std::vector<QString> names;
  names.reserve(100);
  for (const QString& n : std::as_const(found)) {
    if (!IsExistingFile(dirPath + n)) continue;  // also drops folders behind links
    if (names.size() == names.capacity()) names.reserve(names.capacity() + 50);
    names.push_back(n);
  }
  names.shrink_to_fit();
  return FileNameArray(std::move(names));
}

bool IsExistingFile(const QString& path) {
  if (path.isEmpty()) return false;
  const QByteArray bytes = QFile::encodeName(path);
  if (bytes.contains('\0') || QFile::decodeName(bytes) != path) return false;
  // O_PATH opens without asking for any right, like a zero-access open.
  const int fd = ::open(bytes.constData(), O_PATH | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  ::close(fd);
  return ok;
}

int FileAttributes(const QString& path) {
  const QByteArray bytes = QFile::encodeName(path);
  struct stat own {};
  if (::lstat(bytes.constData(), &own) != 0) throw Failure(std::strerror(errno));
  struct stat target = own;
  int attrs = 0;
  if (S_ISLNK(own.st_mode)) {
    attrs |= kAttrReparsePoint;
    if (::stat(bytes.constData(), &target) != 0) target = own;  // dangling: the link alone
  }
  const QString name = WithoutTrailingSlash(path).section(QLatin1Char('/'), -1);
  if (name.startsWith(QLatin1Char('.'))) attrs |= kAttrHidden;
  if (S_ISDIR(target.st_mode)) {
    attrs |= kAttrFolder;
  } else {
    if (S_ISREG(target.st_mode)) attrs |= kAttrArchive;
    if ((target.st_mode & 0222) == 0 || ::access(bytes.constData(), W_OK) != 0)
      attrs |= kAttrReadOnly;
  }
  return attrs;
}

bool MatchesPattern(const QString& name, const QString& pattern) {
  if (globMatch(name, 0, pattern, 0)) return true;
  if (pattern.endsWith(QLatin1String(".*")) && !name.contains(QLatin1Char('.')))
    return globMatch(name, 0, pattern.left(pattern.size() - 2), 0);
  return false;
}

bool ListsBefore(const QString& a, const QString& b) {
  const int c = QString::compare(a, b, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : a < b;
}

QString WithTrailingSlash(const QString& folder) {
  return WithoutTrailingSlash(folder) + QLatin1Char('/');
}

QString WithoutTrailingSlash(const QString& folder) {
  qsizetype n = folder.size();
  while (n > 0 && folder[n - 1] == QLatin1Char('/')) --n;
  return folder.left(n);
}

}  // namespace AddFolder

}  // namespace lentaro::playlist
