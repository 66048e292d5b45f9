#include "recording/EncoderFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "recording/EncoderResource.h"

using namespace lentaro::recording;

namespace {

struct stat lstatOf(const QString& path) {
  struct stat st {};
  ::lstat(QFile::encodeName(path).constData(), &st);
  return st;
}

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(EncoderResource, IsTheBuildMachinesLameAndRunsOnceWrittenOut) {
  const QByteArray program = LoadEncoderResource();
  EXPECT_EQ(program, readAll(LENTARO_LAME_PROGRAM));
  EXPECT_EQ(EncoderResourcePath(), ":/CUSTOM/101");

  QTemporaryDir root;
  EncoderFile file(root.path());
  file.write(program);
  QProcess lame;
  lame.start(file.path(), {"--version"});
  ASSERT_TRUE(lame.waitForFinished(10000));
  EXPECT_EQ(lame.exitCode(), 0);
  EXPECT_TRUE(lame.readAllStandardOutput().contains("LAME"));
}

TEST(EncoderFile, LivesInAnOwnerOnlyFolderOfOursAsAnOwnerOnlyProgram) {
  QTemporaryDir root;
  EncoderFile file(root.path());
  const QString path = file.path();
  EXPECT_EQ(QFileInfo(path).fileName(), "lame");
  EXPECT_EQ(QFileInfo(file.folder()).absolutePath(), QDir(root.path()).absolutePath());
  const struct stat folder = lstatOf(file.folder());
  EXPECT_TRUE(S_ISDIR(folder.st_mode));
  EXPECT_EQ(folder.st_mode & 07777, 0700u);
  EXPECT_EQ(folder.st_uid, ::geteuid());

  file.write(QByteArray(5000, 'x'));
  file.write("#!/bin/sh\n");
  EXPECT_EQ(readAll(path), QByteArray("#!/bin/sh\n")) << "a shorter program keeps no old tail";
  const struct stat program = lstatOf(path);
  EXPECT_TRUE(S_ISREG(program.st_mode));
  EXPECT_EQ(program.st_mode & 07777, 0700u);
  EXPECT_EQ(file.path(), path) << "the same folder serves every press";

  file.remove();
  EXPECT_FALSE(QFileInfo::exists(path));
  EXPECT_TRUE(QFileInfo(file.folder()).isDir());
}

TEST(EncoderFile, TwoInstancesNeverShareTheProgram) {
  QTemporaryDir root;
  EncoderFile a(root.path());
  EncoderFile b(root.path());
  EXPECT_NE(a.path(), b.path());
  a.write("a");
  b.write("b");
  b.remove();
  EXPECT_EQ(readAll(a.path()), QByteArray("a"));
}

TEST(EncoderFile, AFolderNoLongerOursIsNeverUsed) {
  QTemporaryDir root;
  EncoderFile file(root.path());
  file.path();
  const QString first = file.folder();

  // Opened to others: given up for a fresh folder.
  ASSERT_EQ(::chmod(QFile::encodeName(first).constData(), 0777), 0);
  file.path();
  const QString second = file.folder();
  EXPECT_NE(second, first);

  // Replaced by a link to someone else's folder: given up too.
  QTemporaryDir elsewhere;
  ASSERT_TRUE(QDir(root.path()).rename(QFileInfo(second).fileName(), "moved"));
  ASSERT_TRUE(QFile::link(elsewhere.path(), second));
  file.write("mine");
  EXPECT_NE(file.folder(), second);
  EXPECT_FALSE(QFileInfo::exists(elsewhere.filePath("lame")));
  EXPECT_EQ(readAll(file.path()), QByteArray("mine"));
}

TEST(EncoderFile, PlantedFileOrLinkAtTheProgramsPlaceIsReplacedNotRun) {
  QTemporaryDir root;
  EncoderFile file(root.path());
  const QString path = file.path();
  const QString victim = root.filePath("victim");
  {
    QFile v(victim);
    ASSERT_TRUE(v.open(QIODevice::WriteOnly));
    v.write("victim's data");
  }
  ASSERT_TRUE(QFile::link(victim, path));
  file.write("#!/bin/sh\n");
  EXPECT_FALSE(QFileInfo(path).isSymLink());
  EXPECT_EQ(readAll(victim), QByteArray("victim's data"));
  EXPECT_EQ(readAll(path), QByteArray("#!/bin/sh\n"));
}

TEST(EncoderFile, DestructionRemovesProgramAndFolder) {
  QTemporaryDir root;
  QString folder;
  {
    EncoderFile file(root.path());
    file.write("x");
    folder = file.folder();
    ASSERT_TRUE(QFileInfo(folder).isDir());
  }
  EXPECT_FALSE(QFileInfo::exists(folder));
}
