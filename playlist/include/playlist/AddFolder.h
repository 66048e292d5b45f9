// The folder operations behind "Add All MP3 File(s) In Folder", the drop of
// folders and the sample files: choosing a folder, the breadth-first walk
// of its subfolders, and the listing of a folder's files by a wildcard.
//
// Paths use "/" as the separator. A folder list holds folder paths that end
// in exactly one "/"; a file path is its folder and its name joined by
// exactly one "/".
//
// Attributes are the platform-neutral bits the walk compares as whole
// numbers. On this platform they are derived as follows:
//   read-only 1   a file the user may not write, or whose mode grants no
//                 write permission to anyone (so a root user sees 0444 files
//                 as read-only too); never set on folders
//   hidden    2   a name that begins with "."
//   system    4   never
//   folder   16   a folder, or a link to one
//   archive  32   every regular file (also through a link)
//   reparse 1024  a symbolic link
// A plain hidden file is therefore 34 and skipped by the walk; since system
// is never set, no folder is ever refused for being 22 or 1046.
//
// Thread: user-interface thread (CollectSubFolders processes events).
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

class QWidget;

namespace lentaro {
class UiHost;
}

namespace lentaro::playlist {

inline constexpr int kAttrReadOnly = 1;
inline constexpr int kAttrHidden = 2;
inline constexpr int kAttrSystem = 4;
inline constexpr int kAttrFolder = 16;
inline constexpr int kAttrArchive = 32;
inline constexpr int kAttrReparsePoint = 1024;

// The names ListFiles found, indexed from 1 to UBound(). When nothing was
// found UBound() is 0 and index 0 holds one empty name, so that a loop from
// 1 to UBound() does nothing.
class FileNameArray {
 public:
  FileNameArray() = default;
  explicit FileNameArray(std::vector<QString> names) : names_(std::move(names)) {}

  int LBound() const { return names_.empty() ? 0 : 1; }
  int UBound() const { return static_cast<int>(names_.size()); }
  // 1..UBound(), or 0 for the empty array's one empty name.
  const QString& operator[](int index) const;

  // The room the array holds (its growth is part of its contract: 100 to
  // start, 50 more whenever full, cut to the count at the end).
  std::size_t capacity() const { return names_.capacity(); }

 private:
  std::vector<QString> names_;
  QString empty_;
};

namespace AddFolder {

// The folder browser through the UI seam. The chosen folder without a
// trailing "/" (the root stays "/"), or empty when cancelled or when the
// answer names no existing folder.
QString BrowseForFolder(UiHost& ui, QWidget* owner, const QString& title);

// Breadth-first: appends to `folders` every qualifying folder below those
// already in it (children, then grandchildren, ...), each level in the order
// of its parents and, within one parent, in listing order. Events are
// processed once for every folder looked at and once for every subfolder
// met. Subfolders whose names have unusable characters are skipped with
// everything below them. A listed folder whose listing is denied is removed
// from `folders`; any other listing failure leaves it in. Nothing is
// appended to `folders` before the whole walk below it has finished.
//
// Each real folder (device and inode) is visited at most once per walk, so
// a link that leads back into the tree cannot make the walk endless; a
// folder reached through two routes is listed at the first one met.
void CollectSubFolders(QStringList& folders);

// Codes below 32, the range 127..159 and the replacement character (which a
// name with invalid UTF-8 decodes to) are unusable. "?" is usable here.
bool HasUnusableChars(const QString& name);

// The names of the existing non-folder entries of `folder` (given with or
// without a trailing "/") that match `pattern`, hidden files included, in
// listing order. A folder that cannot be listed gives an empty array.
FileNameArray ListFiles(const QString& folder, const QString& pattern);

// True for an existing path that is not a folder and that can be opened
// (without asking for read or write rights). A path whose text does not
// encode back into the same file-name bytes never counts.
bool IsExistingFile(const QString& path);

// The attribute bits above. Throws lentaro::Failure when the path cannot be
// examined (missing, no rights on its folder).
int FileAttributes(const QString& path);

// Case-insensitive wildcard match: "*" any run of characters, "?" any one.
// A pattern ending in ".*" also matches a name without a dot ("*.*" matches
// every name).
bool MatchesPattern(const QString& name, const QString& pattern);

// Listing order: case-insensitive by name, ties broken by exact text, so a
// walk is the same on every run and every file system.
bool ListsBefore(const QString& a, const QString& b);

// `folder` with exactly one "/" at its end ("/" stays "/").
QString WithTrailingSlash(const QString& folder);
// `folder` without its trailing "/" ("/" becomes "", so that joining a name
// with "/" gives "/name").
QString WithoutTrailingSlash(const QString& folder);

}  // namespace AddFolder

}  // namespace lentaro::playlist
