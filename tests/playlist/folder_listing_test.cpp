// ListFiles examines a folder's entries from the open folder and matches
// plain ASCII names before making strings of them; whatever it finds must
// be exactly what the path-by-path tests (MatchesPattern, IsExistingFile)
// accept. The walk looks folders up from their parent the same way.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>

#include "PlaylistTestSupport.h"
#include "playlist/AddFolder.h"

using namespace lentaro::playlist;
using lentaro::playlist::testing::Rig;
using lentaro::playlist::testing::rows;
using lentaro::playlist::testing::Tree;
namespace AF = lentaro::playlist::AddFolder;

namespace {

QStringList names(const FileNameArray& a) {
  QStringList out;
  for (int i = 1; i <= a.UBound(); ++i) out << a[i];
  return out;
}

void touchBytes(const QByteArray& path) {
  ::close(::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
}

// What ListFiles must give: every entry but folders and "." / "..",
// decoded, kept when the pattern matches it and IsExistingFile accepts its
// whole path; joined for readable failures.
QString expected(const QString& folder, const QString& pattern) {
  QStringList out;
  DIR* dir = ::opendir(QFile::encodeName(folder).constData());
  if (!dir) return {};
  while (const dirent* e = ::readdir(dir)) {
    const QString n = QFile::decodeName(e->d_name);
    if (n == "." || n == ".." || e->d_type == DT_DIR) continue;
    if (AF::MatchesPattern(n, pattern) && AF::IsExistingFile(folder + QLatin1Char('/') + n))
      out << n;
  }
  ::closedir(dir);
  std::sort(out.begin(), out.end(), AF::ListsBefore);
  return out.join(QLatin1Char('|'));
}

QString listed(const QString& folder, const QString& pattern) {
  return names(AF::ListFiles(folder, pattern)).join(QLatin1Char('|'));
}

}  // namespace

TEST(FolderListing, FindsWhatThePathByPathTestsAccept) {
  Tree t;
  t.files({"song.mp3", "LOUD.MP3", "Mixed.Mp3", u8"ÉTÉ.MP3", u8"été.mp3", u8"日本.mp3", "a1.mp3",
           "notes", "x.tar.gz", ".hidden.mp3", "~lock.mp3", "song.mp3.txt", "what?.mp3"});
  t.dir("folder.mp3");
  t.dir("plain");
  QFile::link(t.path("song.mp3"), t.path("link.mp3"));
  QFile::link(t.path("plain"), t.path("dirlink.mp3"));
  QFile::link(t.path("gone.mp3"), t.path("dangling.mp3"));
  ::mkfifo(QFile::encodeName(t.path("pipe.mp3")).constData(), 0644);
  const QByteArray root = QFile::encodeName(t.root());
  touchBytes(root + "/bad\xff.mp3");           // decodes to a name that is not on disk
  touchBytes(root + "/twin\xff.mp3");          // ... unless that name exists too
  touchBytes(root + "/twin\xef\xbf\xbd.mp3");  // the replacement character itself

  for (const QString& pattern :
       QStringList{"*.mp3", "*.MP3", "*.*", "*", "a?.mp3", "notes.*", u8"été.*"}) {
    SCOPED_TRACE(pattern.toStdString());
    EXPECT_EQ(listed(t.root(), pattern), expected(t.root(), pattern));
  }
  const QStringList mp3 = names(AF::ListFiles(t.root(), "*.mp3"));
  EXPECT_TRUE(mp3.contains(u8"ÉTÉ.MP3"));
  EXPECT_TRUE(mp3.contains("link.mp3"));
  EXPECT_TRUE(mp3.contains("pipe.mp3"));
  EXPECT_FALSE(mp3.contains("dirlink.mp3"));
  EXPECT_FALSE(mp3.contains("dangling.mp3"));
  EXPECT_FALSE(mp3.contains(QFile::decodeName("bad\xff.mp3")));
  // Both twins' rows would open the file named with the replacement character.
  EXPECT_EQ(mp3.count(QString::fromUtf8("twin\xef\xbf\xbd.mp3")), 2);
}

TEST(FolderListing, TheCommandExaminesOnlyDotNamesAgain) {
  Tree t;
  t.files({"a/.hidden.mp3", "a/.ro.mp3", "a/~skip.mp3", "a/Z.MP3", "a/y.mp3", ".top/x.mp3",
           u8"ü/Ä.mp3"});
  ::chmod(QFile::encodeName(t.path("a/.ro.mp3")).constData(), 0444);
  QFile::link(t.path("a/y.mp3"), t.path("a/.link.mp3"));  // a link is never plain hidden
  QFile::link(t.path(".top"), t.path("a/.dirlink"));      // a hidden link to a folder is walked
  Rig r;
  r.ui.folderResults = {t.root()};
  r.commands->PushButton4_Click();
  EXPECT_EQ(rows(*r.view),
            t.paths({".top/x.mp3", "a/.link.mp3", "a/.ro.mp3", "a/y.mp3", "a/Z.MP3", u8"ü/Ä.mp3"}));
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST(FolderListing, TheWalkEntersHiddenFoldersAndLinksOnce) {
  Tree t;
  t.dir(".hid/inner");
  t.dir("b");
  QFile::link(t.path(".hid"), t.path("b/toHid"));
  QStringList folders{t.path("")};
  AF::CollectSubFolders(folders);
  EXPECT_EQ(folders, t.paths({"", ".hid/", "b/", ".hid/inner/"}));
}
