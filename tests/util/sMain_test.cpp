#include "util/sMain.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>

#include "shell/ErrorTrap.h"

using namespace lentaro;

namespace {

QByteArray readAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

QStringList entries(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

class WriteBytes : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString path(const QString& name) const { return dir.filePath(name); }
};

}  // namespace

TEST_F(WriteBytes, NewFileHoldsExactlyTheBytesAndShorterWriteLeavesNoTail) {
  const QString p = path("lame");
  sMain::WriteBytesToFile(QByteArray(1000, 'a'), p);
  EXPECT_EQ(readAll(p), QByteArray(1000, 'a'));
  sMain::WriteBytesToFile("short", p);
  EXPECT_EQ(readAll(p), QByteArray("short"));
  sMain::WriteBytesToFile({}, p);
  EXPECT_TRUE(QFileInfo::exists(p));
  EXPECT_EQ(QFileInfo(p).size(), 0);
  EXPECT_EQ(entries(dir.path()), QStringList{"lame"}) << "no fresh file left beside it";
}

TEST_F(WriteBytes, ExecutableIsOwnerOnlyWhateverTheUmask) {
  const QString p = path("prog");
  const mode_t old = ::umask(0077);
  sMain::WriteExecutableFile("#!/bin/sh\n", p);
  ::umask(0022);
  sMain::WriteExecutableFile("#!/bin/sh\nexit 0\n", p);
  ::umask(old);
  struct stat st {};
  ASSERT_EQ(::lstat(QFile::encodeName(p).constData(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  sMain::WriteBytesToFile("data", path("plain"));
  ASSERT_EQ(::stat(QFile::encodeName(path("plain")).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0111, 0u);
}

TEST_F(WriteBytes, PlantedLinkIsReplacedNotFollowed) {
  const QString target = path("victim");
  sMain::WriteBytesToFile("keep me", target);
  const QString p = path("lame");
  ASSERT_TRUE(QFile::link(target, p));
  sMain::WriteExecutableFile("new program", p);
  EXPECT_EQ(readAll(target), QByteArray("keep me"));
  EXPECT_FALSE(QFileInfo(p).isSymLink());
  EXPECT_EQ(readAll(p), QByteArray("new program"));
}

TEST_F(WriteBytes, RunningProgramIsReplacedWithoutError) {
  // Writing into a running executable fails (text file busy); a fresh file
  // renamed over it does not, and the running program goes on.
  const QString p = path("sleeper");
  sMain::WriteExecutableFile(readAll("/bin/sleep"), p);
  const QByteArray exe = QFile::encodeName(p);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl(exe.constData(), "sleeper", "5", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::usleep(200 * 1000);
  EXPECT_NO_THROW(sMain::WriteExecutableFile("#!/bin/sh\n", p));
  EXPECT_EQ(readAll(p), QByteArray("#!/bin/sh\n"));
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0) << "the old program still runs";
  ::kill(child, SIGKILL);
  ::waitpid(child, &status, 0);
}

TEST_F(WriteBytes, FailuresThrowAndLeaveNothingBehind) {
  EXPECT_THROW(sMain::WriteBytesToFile("x", path("missing/lame")), Failure);
  ASSERT_TRUE(QDir(dir.path()).mkdir("taken"));
  try {
    sMain::WriteBytesToFile("x", path("taken"));
    ADD_FAILURE() << "a folder at the path must not be replaced";
  } catch (const Failure& e) {
    EXPECT_FALSE(QString::fromUtf8(e.what()).isEmpty());
  }
  EXPECT_TRUE(QFileInfo(path("taken")).isDir());
  EXPECT_EQ(entries(dir.path()), QStringList{"taken"});
}

TEST(sMainPaths, IsDirectoryOnlyForExistingFolders) {
  QTemporaryDir dir;
  const QString file = dir.filePath("f.mp3");
  sMain::WriteBytesToFile("x", file);
  EXPECT_TRUE(sMain::IsDirectory(dir.path()));
  EXPECT_TRUE(sMain::IsDirectory(dir.path() + "/"));
  EXPECT_TRUE(sMain::IsDirectory("/"));
  EXPECT_FALSE(sMain::IsDirectory(file));
  EXPECT_FALSE(sMain::IsDirectory(dir.filePath("nothing")));
  EXPECT_FALSE(sMain::IsDirectory(""));
  EXPECT_TRUE(sMain::FileDateReadable(file));
  EXPECT_FALSE(sMain::FileDateReadable(dir.filePath("nothing")));
  EXPECT_FALSE(sMain::FileDateReadable(""));
}

TEST(sMainPaths, DesktopFolderIsAnExistingFolderWithTrailingSeparator) {
  QTemporaryDir home;
  const QByteArray oldHome = qgetenv("HOME");
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("HOME", QFile::encodeName(home.path()));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));

  // No desktop folder yet: the home stands in for it.
  EXPECT_EQ(sMain::GetSpecialFolderPath(sMain::kDesktopFolder), QString());
  EXPECT_EQ(sMain::GetDesktopFolder(), QDir(home.path()).canonicalPath() + "/");

  ASSERT_TRUE(QDir(home.path()).mkdir("Desktop"));
  const QString desktop = sMain::GetSpecialFolderPath(sMain::kDesktopFolder);
  EXPECT_TRUE(desktop.endsWith("/Desktop")) << desktop.toStdString();
  EXPECT_EQ(sMain::GetDesktopFolder(), desktop + "/");
  EXPECT_EQ(sMain::GetSpecialFolderPath(5), QString());

  qputenv("HOME", oldHome);
  if (oldConfig.isNull())
    qunsetenv("XDG_CONFIG_HOME");
  else
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST(sMainPaths, DeleteFileQuietlyRunsPendingEventsFirstAndNeverFails) {
  QTemporaryDir dir;
  const QString file = dir.filePath("lame");
  sMain::WriteBytesToFile("x", file);
  bool ran = false;
  bool fileStillThere = false;
  QTimer::singleShot(0, [&] {
    ran = true;
    fileStillThere = QFileInfo::exists(file);
  });
  sMain::DeleteFileQuietly(file);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(fileStillThere);
  EXPECT_FALSE(QFileInfo::exists(file));
  EXPECT_NO_THROW(sMain::DeleteFileQuietly(file));
  EXPECT_NO_THROW(sMain::DeleteFileQuietly(""));
}
