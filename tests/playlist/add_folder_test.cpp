#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/fsuid.h>

#include <QDir>
#include <QFile>

#include "PlaylistTestSupport.h"
#include "playlist/AddFolder.h"
#include "shell/ErrorTrap.h"

using namespace lentaro::playlist;
using lentaro::playlist::testing::Tree;
namespace AF = lentaro::playlist::AddFolder;

namespace {

QStringList names(const FileNameArray& a) {
  QStringList out;
  for (int i = 1; i <= a.UBound(); ++i) out << a[i];
  return out;
}

// Runs `body` with the file-system rights of the user "nobody" on this
// thread (the walk runs here), then takes root's rights back. False when
// the rights cannot be changed.
bool asNobody(const std::function<void()>& body) {
  const passwd* nobody = ::getpwnam("nobody");
  const uid_t uid = nobody ? nobody->pw_uid : 65534;
  const gid_t gid = nobody ? nobody->pw_gid : 65534;
  ::setfsgid(gid);
  ::setfsuid(uid);
  const bool changed = int(::setfsuid(uid_t(-1))) == int(uid);
  if (changed) body();
  ::setfsuid(0);
  ::setfsgid(0);
  return changed;
}

}  // namespace

TEST(AddFolder, WildcardsIgnoreCaseAndStarDotStarTakesNamesWithoutADot) {
  EXPECT_TRUE(AF::MatchesPattern("Song.MP3", "*.mp3"));
  EXPECT_TRUE(AF::MatchesPattern(".mp3", "*.mp3"));
  EXPECT_FALSE(AF::MatchesPattern("song.mp3.txt", "*.mp3"));
  EXPECT_FALSE(AF::MatchesPattern("song.mp", "*.mp3"));
  EXPECT_TRUE(AF::MatchesPattern("a1.mp3", "a?.mp3"));
  EXPECT_FALSE(AF::MatchesPattern("a.mp3", "a?.mp3"));
  EXPECT_TRUE(AF::MatchesPattern("README", "*.*"));
  EXPECT_TRUE(AF::MatchesPattern("x.tar.gz", "*.*"));
  EXPECT_TRUE(AF::MatchesPattern("notes", "notes.*"));
  EXPECT_TRUE(AF::MatchesPattern(u8"ÉTÉ.Mp3", u8"été.mp3"));
  EXPECT_TRUE(AF::MatchesPattern("aXbXb", "*b*b"));
}

TEST(AddFolder, UnusableCharactersAreControlsC1AndUndecodableBytes) {
  EXPECT_TRUE(AF::HasUnusableChars(QString("a") + QChar(1)));
  EXPECT_TRUE(AF::HasUnusableChars(QString(QChar(127))));
  EXPECT_TRUE(AF::HasUnusableChars(QString("it") + QChar(0x92) + "s"));
  EXPECT_TRUE(AF::HasUnusableChars(QString(QChar(159))));
  EXPECT_TRUE(AF::HasUnusableChars(QFile::decodeName("bad\xff")));
  EXPECT_FALSE(AF::HasUnusableChars(QString(QChar(160))));
  EXPECT_FALSE(AF::HasUnusableChars(u8"what? it’s été 日本"));
  EXPECT_FALSE(AF::HasUnusableChars(""));
}

TEST(AddFolder, AttributesMapToTheWalksBits) {
  Tree t;
  t.files({"plain.mp3", ".hidden.mp3", ".ro.mp3"});
  ::chmod(QFile::encodeName(t.path(".ro.mp3")).constData(), 0444);
  ::mkfifo(QFile::encodeName(t.path(".fifo")).constData(), 0644);
  t.dir("sub");
  t.dir(".hid");
  QFile::link(t.path("plain.mp3"), t.path("link.mp3"));
  QFile::link(t.path("sub"), t.path("linkdir"));
  EXPECT_EQ(AF::FileAttributes(t.path("plain.mp3")), 32);
  EXPECT_EQ(AF::FileAttributes(t.path(".hidden.mp3")), 34);
  EXPECT_EQ(AF::FileAttributes(t.path(".ro.mp3")), 35);
  EXPECT_EQ(AF::FileAttributes(t.path(".fifo")), 2);
  EXPECT_EQ(AF::FileAttributes(t.path("sub")), 16);
  EXPECT_EQ(AF::FileAttributes(t.path(".hid") + "/"), 18);
  EXPECT_EQ(AF::FileAttributes(t.path("link.mp3")), 1024 + 32);
  EXPECT_EQ(AF::FileAttributes(t.path("linkdir")), 1024 + 16);
  EXPECT_THROW(AF::FileAttributes(t.path("missing")), lentaro::Failure);
}

TEST(AddFolder, ExistingFileNeedsAnOpenableNonFolderWithFaithfulName) {
  Tree t;
  t.files({"a.mp3", "what?.mp3", "locked.mp3"});
  ::chmod(QFile::encodeName(t.path("locked.mp3")).constData(), 0);
  t.dir("d.mp3");
  QFile::link(t.path("gone.mp3"), t.path("dangling.mp3"));
  const QByteArray bad = QFile::encodeName(t.root()) + "/bad\xff.mp3";
  ::close(::open(bad.constData(), O_CREAT | O_WRONLY, 0644));
  EXPECT_TRUE(AF::IsExistingFile(t.path("a.mp3")));
  EXPECT_TRUE(AF::IsExistingFile(t.path("what?.mp3")));
  EXPECT_TRUE(AF::IsExistingFile(t.path("locked.mp3")));  // no rights are asked for
  EXPECT_FALSE(AF::IsExistingFile(t.path("d.mp3")));
  EXPECT_FALSE(AF::IsExistingFile(t.path("missing.mp3")));
  EXPECT_FALSE(AF::IsExistingFile(t.path("dangling.mp3")));
  EXPECT_FALSE(AF::IsExistingFile(QFile::decodeName(bad)));
  EXPECT_FALSE(AF::IsExistingFile(t.path("a.mp3") + QChar(0)));
  EXPECT_FALSE(AF::IsExistingFile(""));
  // The undecodable name is not listed either: its row could never be opened.
  EXPECT_EQ(names(AF::ListFiles(t.root(), "*.mp3")),
            QStringList({"a.mp3", "locked.mp3", "what?.mp3"}));
}

TEST(AddFolder, ListFilesIsOneBasedExactAndEmptyAtIndexZero) {
  Tree t;
  t.dir("none");
  const FileNameArray empty = AF::ListFiles(t.path("none"), "*.mp3");
  EXPECT_EQ(empty.UBound(), 0);
  EXPECT_EQ(empty.LBound(), 0);
  EXPECT_EQ(empty[0], "");
  EXPECT_EQ(AF::ListFiles(t.path("missing"), "*.*").UBound(), 0);

  for (int i = 0; i < 120; ++i) t.file(QString("many/%1.mp3").arg(i, 3, 10, QChar('0')));
  t.files({"many/.hidden.mp3", "many/B.mp3", "many/a.MP3", "many/skip.txt"});
  t.dir("many/folder.mp3");
  QFile::link(t.path("none"), t.path("many/dirlink.mp3"));
  const FileNameArray many = AF::ListFiles(t.path("many") + "/", "*.mp3");
  ASSERT_EQ(many.UBound(), 123);
  EXPECT_EQ(many.LBound(), 1);
  EXPECT_EQ(many.capacity(), 123u);
  EXPECT_EQ(many[1], ".hidden.mp3");
  EXPECT_EQ(many[2], "000.mp3");
  EXPECT_EQ(many[122], "a.MP3");
  EXPECT_EQ(many[123], "B.mp3");
  EXPECT_THROW(many[124], lentaro::Failure);
  EXPECT_EQ(names(AF::ListFiles(t.path("many"), "*.mp3")), names(many));
}

TEST(AddFolder, RootPathsKeepOneSlash) {
  EXPECT_EQ(AF::WithTrailingSlash("/"), "/");
  EXPECT_EQ(AF::WithTrailingSlash("/music//"), "/music/");
  EXPECT_EQ(AF::WithoutTrailingSlash("/"), "");
  EXPECT_EQ(names(AF::ListFiles("", "*")), names(AF::ListFiles("/", "*")));
  lentaro::testing::ScriptedUiHost ui;
  ui.folderResults = {"/", "/definitely/not/here", ""};
  EXPECT_EQ(AF::BrowseForFolder(ui, nullptr, "t"), "/");
  EXPECT_EQ(AF::BrowseForFolder(ui, nullptr, "t"), "");
  EXPECT_EQ(AF::BrowseForFolder(ui, nullptr, "t"), "");
}

TEST(AddFolder, WalkIsBreadthFirstInListingOrderAndSkipsUnusableNames) {
  Tree t;
  for (const char* d : {"b/z", "A/y", "A/x/deep", "c", "A/it’s", "bad\x01name/below"}) t.dir(d);
  t.dir(QString("c/euro") + QChar(0x80) + "/below");
  QStringList folders{t.path("")};
  AF::CollectSubFolders(folders);
  EXPECT_EQ(folders,
            t.paths({"", "A/", "b/", "c/", "A/it’s/", "A/x/", "A/y/", "b/z/", "A/x/deep/"}));
  // The caller's own folder is taken whatever its name.
  t.dir("bad\x01name/below");
  QStringList own{t.path("bad\x01name/")};
  AF::CollectSubFolders(own);
  EXPECT_EQ(own, t.paths({"bad\x01name/", "bad\x01name/below/"}));
}

TEST(AddFolder, LinksLeadingBackIntoTheTreeAreWalkedOnce) {
  Tree t;
  t.dir("a/b");
  t.dir("outside");
  QFile::link(t.path(""), t.path("a/b/toRoot"));
  QFile::link(t.path("a"), t.path("a/b/toA"));
  QFile::link(t.path("a/b"), t.path("a/b/self"));
  QStringList folders{t.path("a/")};
  AF::CollectSubFolders(folders);
  // Only the link to the root reaches a folder not yet met; from there the
  // walk meets "a" again and stops.
  EXPECT_EQ(folders, t.paths({"a/", "a/b/", "a/b/toRoot/", "a/b/toRoot/outside/"}));
}

TEST(AddFolder, DeniedFoldersAreDroppedAndTheWalkGoesOn) {
  Tree t;
  t.files({"ok/sub/1.mp3", "no/2.mp3", "no/inner/3.mp3", "z/4.mp3"});
  for (const char* d : {"", "ok", "ok/sub", "z"})
    ::chmod(QFile::encodeName(t.path(d)).constData(), 0755);
  ::chmod(QFile::encodeName(t.path("no")).constData(), 0);
  QByteArray out;
  const auto walk = [&] {
    QStringList folders{t.path("")};
    AF::CollectSubFolders(folders);
    out = folders.join('\n').toUtf8() + "\n#" +
          QByteArray::number(AF::ListFiles(t.path("no"), "*").UBound());
  };
  if (::geteuid() != 0)
    walk();
  else if (!asNobody(walk))
    GTEST_SKIP() << "running as root and cannot take the rights of 'nobody': a folder with "
                    "mode 000 cannot be denied here";
  ::chmod(QFile::encodeName(t.path("no")).constData(), 0755);
  EXPECT_EQ(QString::fromUtf8(out), t.paths({"", "ok/", "z/", "ok/sub/"}).join('\n') + "\n#0");
}
