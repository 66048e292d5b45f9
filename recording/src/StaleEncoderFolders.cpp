#include "recording/StaleEncoderFolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cstring>
#include <ctime>
#include <set>
#include <string>

#include "recording/EncoderFile.h"

namespace lentaro::recording {

namespace {

constexpr const char* kPrefix = "lentaro-";
constexpr std::size_t kSuffixLength = 6;  // mkdtemp's XXXXXX

bool looksLikeOurs(const char* name) {
  const std::size_t prefix = std::strlen(kPrefix);
  return std::strncmp(name, kPrefix, prefix) == 0 && std::strlen(name) == prefix + kSuffixLength;
}

std::string readLink(const std::string& path) {
  char buffer[4096];
  const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<std::size_t>(n));
}

// The folders that running processes execute from or work in. The kernel
// names a deleted executable "<path> (deleted)"; the folder part is the
// same either way.
std::set<std::string> foldersInUse() {
  std::set<std::string> used;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return used;
  while (const dirent* entry = ::readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const std::string base = std::string("/proc/") + entry->d_name;
    const std::string exe = readLink(base + "/exe");
    if (const auto slash = exe.rfind('/'); slash != std::string::npos && slash > 0)
      used.insert(exe.substr(0, slash));
    const std::string cwd = readLink(base + "/cwd");
    if (!cwd.empty()) used.insert(cwd);
  }
  ::closedir(proc);
  return used;
}

}  // namespace

int removeStaleEncoderFolders(const QString& tempRoot, std::chrono::seconds minAge) {
  const QByteArray root = QFile::encodeName(tempRoot);
  const int rootFd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFd < 0) return 0;
  DIR* dir = ::fdopendir(rootFd);
  if (dir == nullptr) {
    ::close(rootFd);
    return 0;
  }
  const std::time_t now = std::time(nullptr);
  std::set<std::string> used;
  bool usedKnown = false;
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (!looksLikeOurs(entry->d_name)) continue;
    struct stat st {};
    if (::fstatat(rootFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) continue;
    if (now - st.st_mtime < minAge.count()) continue;
    if (!usedKnown) {
      used = foldersInUse();
      usedKnown = true;
    }
    const std::string path = std::string(root.constData()) + "/" + entry->d_name;
    if (used.count(path) != 0) continue;
    const int folderFd =
        ::openat(rootFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0) continue;
    ::unlinkat(folderFd, EncoderFile::kProgramName, 0);
    ::close(folderFd);
    // Fails, and keeps the folder, when anything else is in it.
    if (::unlinkat(rootFd, entry->d_name, AT_REMOVEDIR) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

}  // namespace lentaro::recording
