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
  // Entries are examined relative to the open folder: one name to look up
  // instead of the whole path, which is most of the walk's cost.
  int fd() const { return ::dirfd(d_); }

 private:
  DIR* d_;
};

bool isDotOrDotDot(const char* n) {
  return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

// Whether a directory entry is a folder, following links; d_type spares
// the stat for the common cases.
bool entryIsFolder(const DirHandle& dir, const dirent* e) {
  if (e->d_type == DT_DIR) return true;
  if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) return false;
  struct stat st {};
  return ::fstatat(dir.fd(), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

bool folderId(const QString& folder, FolderId& id) {
  struct stat st {};
  if (::stat(QFile::encodeName(folder).constData(), &st) != 0) return false;
  id = {st.st_dev, st.st_ino};
  return true;
}

bool isAscii(const char* bytes, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i)
    if (static_cast<unsigned char>(bytes[i]) >= 0x80) return false;
  return true;
}

// No folder is ever refused for its attributes: only a hidden system
// folder would be, and the system bit is never set here (see the header).
// So the walk does not examine the folders it enters.

enum class Listing { Ok, Denied, Failed };

// Appends the subfolders of `folder` that the walk takes, in listing order.
Listing listSubFolders(const QString& folder, QStringList& into, VisitedFolders& visited) {
  DirHandle dir(::opendir(QFile::encodeName(folder).constData()));
  if (!dir.get()) return errno == EACCES || errno == EPERM ? Listing::Denied : Listing::Failed;

  QStringList names;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(dir.get());
    if (!e) break;
    if (isDotOrDotDot(e->d_name) || !entryIsFolder(dir, e)) continue;
    names.push_back(QFile::decodeName(e->d_name));
  }
  const bool failed = errno != 0;
  std::sort(names.begin(), names.end(), ListsBefore);

  for (const QString& n : names) {
    QCoreApplication::processEvents();
    if (HasUnusableChars(n)) continue;
    // The folder's path joined with the name and a "/", looked up from the
    // open folder (the "/" keeps it a folder look-up, as in a path).
    const QByteArray relative = QFile::encodeName(n) + '/';
    struct stat st {};
    if (::fstatat(dir.fd(), relative.constData(), &st, 0) == 0 &&
        !visited.insert({st.st_dev, st.st_ino}).second)
      continue;
    into.push_back(folder + n + QLatin1Char('/'));
  }
  return failed ? Listing::Failed : Listing::Ok;
}

void collect(QStringList& folders, VisitedFolders& visited) {
  QStringList fresh;
  for (qsizetype i = 0; i < folders.size();) {
    QCoreApplication::processEvents();
    const QString f = folders[i];
    if (listSubFolders(f, fresh, visited) == Listing::Denied) {
      folders.removeAt(i);  // its own files are not added either
      continue;
    }
    ++i;
  }
  if (!fresh.isEmpty()) collect(fresh, visited);
  folders.reserve(folders.size() + fresh.size());
  for (const QString& f : std::as_const(fresh)) {
    QCoreApplication::processEvents();
    folders.push_back(f);
  }
}

// A wildcard pattern prepared once for many names: its characters folded
// for the comparison, and the form without ".*" that names without a dot
// are also matched against.
class Pattern {
 public:
  explicit Pattern(const QString& text) : raw_(text), folded_(fold(text)) {
    if (text.endsWith(QLatin1String(".*"))) {
      bare_ = text.left(text.size() - 2);
      bareFolded_ = fold(bare_);
      hasBare_ = true;
    }
  }

  template <class Name>
  bool matches(const Name& name) const {
    if (globMatch(name, raw_, folded_)) return true;
    return hasBare_ && !name.hasDot() && globMatch(name, bare_, bareFolded_);
  }

 private:
  static QString fold(const QString& text) {
    QString out = text;
    for (QChar& c : out) c = c.toCaseFolded();
    return out;
  }

  // Iterative with one back-tracking point for the last "*": linear for
  // the patterns met here, never exponential. Wildcards are recognised in
  // the pattern as written, letters compared folded.
  template <class Name>
  static bool globMatch(const Name& name, const QString& pat, const QString& folded) {
    const qsizetype size = name.size();
    qsizetype ni = 0, pi = 0, starP = -1, starN = 0;
    while (ni < size) {
      if (pi < pat.size() && pat[pi] == QLatin1Char('*')) {
        starP = pi++;
        starN = ni;
      } else if (pi < pat.size() &&
                 (pat[pi] == QLatin1Char('?') || folded[pi].unicode() == name.foldedAt(ni))) {
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

  QString raw_, folded_, bare_, bareFolded_;
  bool hasBare_ = false;
};

// A decoded name as the pattern reads it.
struct TextName {
  const QString& text;
  qsizetype size() const { return text.size(); }
  char16_t foldedAt(qsizetype i) const { return text[i].toCaseFolded().unicode(); }
  bool hasDot() const { return text.contains(QLatin1Char('.')); }
};

// The bytes of an all-ASCII name, which decode one to one into the same
// characters: matched before any string is made, so the names a pattern
// leaves out cost no allocation.
struct AsciiName {
  const char* bytes;
  qsizetype length;
  qsizetype size() const { return length; }
  char16_t foldedAt(qsizetype i) const {
    const char c = bytes[i];
    return static_cast<char16_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  bool hasDot() const {
    return std::memchr(bytes, '.', static_cast<std::size_t>(length)) != nullptr;
  }
};

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
  // A folder path that does not encode back into itself names no file that
  // IsExistingFile would accept; each name then takes the whole-path test.
  const bool faithfulFolder = !dirBytes.contains('\0') && QFile::decodeName(dirBytes) == dirPath;
  const Pattern wanted(pattern);
  QStringList found;
  {
    DirHandle dir(::opendir(dirBytes.constData()));
    if (!dir.get()) return {};
    while (const dirent* e = ::readdir(dir.get())) {
      if (isDotOrDotDot(e->d_name) || e->d_type == DT_DIR) continue;
      const std::size_t length = std::strlen(e->d_name);
      const bool ascii = isAscii(e->d_name, length);
      QString n;
      if (ascii) {
        if (!wanted.matches(AsciiName{e->d_name, static_cast<qsizetype>(length)})) continue;
        n = QString::fromLatin1(e->d_name, static_cast<qsizetype>(length));
      } else {
        n = QFile::decodeName(e->d_name);
        if (!wanted.matches(TextName{n})) continue;
      }
      // The test of IsExistingFile, asked of the open folder: an existing
      // path (links followed) that is no folder. Opening it without rights
      // succeeds exactly when this look-up does. The name must encode back
      // into its own bytes, or the path of the row would name another file.
      const bool faithfulName = faithfulFolder && (ascii || QFile::encodeName(n) == e->d_name);
      if (faithfulName) {
        struct stat st {};
        if (::fstatat(dir.fd(), e->d_name, &st, 0) != 0 || S_ISDIR(st.st_mode)) continue;
      } else if (!IsExistingFile(dirPath + n)) {
        continue;  // also drops folders behind links
      }
      found.push_back(std::move(n));
    }
  }
  std::sort(found.begin(), found.end(), ListsBefore);

  std::vector<QString> names;
  names.reserve(100);
  for (QString& n : found) {
    if (names.size() == names.capacity()) names.reserve(names.capacity() + 50);
    names.push_back(std::move(n));
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
  return Pattern(pattern).matches(TextName{name});
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
