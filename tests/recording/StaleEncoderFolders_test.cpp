// Encoder folders left by earlier runs: which ones the start-up clean-up
// removes, and which it must leave (fresh, foreign, in use, not ours).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <ctime>

#include "recording/EncoderFile.h"
#include "recording/StaleEncoderFolders.h"

using namespace lentaro::recording;

namespace {

class StaleFolders : public ::testing::Test {
 protected:
  // A private folder as EncoderFile makes it, with an encoder file inside,
  // last changed `ageSeconds` ago.
  QString makeFolder(const QString& name, int ageSeconds, mode_t mode = 0700) {
    const QString path = root.filePath(name);
    EXPECT_TRUE(QDir().mkdir(path));
    QFile program(path + "/lame");
    EXPECT_TRUE(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\n");
    program.close();
    ::chmod(QFile::encodeName(path).constData(), mode);
    age(path, ageSeconds);
    return path;
  }
  static void age(const QString& path, int seconds) {
    const timespec when{std::time(nullptr) - seconds, 0};
    const timespec times[2] = {when, when};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
  }

  QTemporaryDir root;
};

TEST_F(StaleFolders, RemovesOldPrivateFoldersAndLeavesEverythingElse) {
  const QString stale = makeFolder("lentaro-Ab12Cd", 3600);
  const QString fresh = makeFolder("lentaro-Zz99Yy", 0);
  const QString open = makeFolder("lentaro-Open01", 3600, 0755);  // not private: not ours
  const QString other = makeFolder("lentaro-toolong1", 3600);     // not mkdtemp's name
  const QString crowded = makeFolder("lentaro-Keep01", 3600);
  QFile note(crowded + "/notes.txt");
  ASSERT_TRUE(note.open(QIODevice::WriteOnly));
  note.close();
  age(crowded, 3600);
  QTemporaryDir elsewhere;
  ASSERT_TRUE(QFile::link(elsewhere.path(), root.filePath("lentaro-Link01")));

  EXPECT_EQ(removeStaleEncoderFolders(root.path()), 1);

  EXPECT_FALSE(QFileInfo::exists(stale));
  EXPECT_TRUE(QFileInfo::exists(fresh + "/lame"));
  EXPECT_TRUE(QFileInfo::exists(open + "/lame"));
  EXPECT_TRUE(QFileInfo::exists(other + "/lame"));
  EXPECT_TRUE(QFileInfo::exists(crowded + "/notes.txt"));
  EXPECT_TRUE(QFileInfo::exists(elsewhere.path())) << "a link was followed";
}

TEST_F(StaleFolders, AFolderWhoseEncoderStillRunsIsKeptUntilItEnds) {
  const QString folder = makeFolder("lentaro-Run001", 3600);
  // A long-running program started from the folder, as a recording's
  // encoder is.
  const QString program = folder + "/lame";
  QFile::remove(program);
  ASSERT_TRUE(QFile::copy("/bin/sleep", program));
  age(folder, 3600);
  const QByteArray path = QFile::encodeName(program);
  char* argv[] = {const_cast<char*>(path.constData()), const_cast<char*>("30"), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, environ), 0);

  EXPECT_EQ(removeStaleEncoderFolders(root.path()), 0);
  EXPECT_TRUE(QFileInfo::exists(program));

  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  age(folder, 3600);
  EXPECT_EQ(removeStaleEncoderFolders(root.path()), 1);
  EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST(EncoderFileDiscard, RemovesTheFolderAndTheNextUseMakesANewOne) {
  QTemporaryDir root;
  EncoderFile file(root.path());
  file.write("#!/bin/sh\n");
  const QString first = file.folder();
  ASSERT_TRUE(QFileInfo::exists(first + "/lame"));

  file.discard();
  EXPECT_FALSE(QFileInfo::exists(first));
  EXPECT_TRUE(file.folder().isEmpty());

  file.write("#!/bin/sh\n");
  EXPECT_TRUE(QFileInfo::exists(file.folder() + "/lame"));
  EXPECT_NE(file.folder(), first);
}

}  // namespace
