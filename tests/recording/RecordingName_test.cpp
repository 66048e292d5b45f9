#include "recording/RecordingName.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace lentaro::recording;

TEST(RecordingName, OnlyTheLastExtensionOfTheFileNameGoes) {
  struct Case {
    const char* path;
    std::optional<QString> base;
  };
  const Case cases[] = {
      {"/music/my.song.mp3", QString("my.song")},
      {"/music/.mp3", QString("")},
      {"/music/song.mp3", QString("song")},
      {"song.mp3", QString("song")},
      {"/music/a..mp3", QString("a.")},
      {"/music/ends.with.", QString("ends.with")},
      {"/music/song", std::nullopt},
      {"/mu.sic/song", std::nullopt},  // a dot in the folder does not count
      {"", std::nullopt},
      {"/music/-lead \"q\" 'q' ünï.mp3", QString("-lead \"q\" 'q' ünï")},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RecordingBaseName(QString::fromUtf8(c.path)), c.base) << c.path;
}

TEST(RecordingName, OutputFileGetsExactlyOneSeparator) {
  EXPECT_EQ(RecordingOutputFile("/out", "song"), "/out/song_recorded.mp3");
  EXPECT_EQ(RecordingOutputFile("/out/", "song"), "/out/song_recorded.mp3");
  EXPECT_EQ(RecordingOutputFile("/", "song"), "/song_recorded.mp3");
  EXPECT_EQ(RecordingOutputFile("/out/", ""), "/out/_recorded.mp3");
  EXPECT_EQ(RecordingOutputFile("/out/", "my.song"), "/out/my.song_recorded.mp3");
}

TEST(RecordingName, EncoderArgumentsNeverStartTheOutputWithADash) {
  EXPECT_EQ(EncoderArguments("/t/lame", "/out dir/a b_recorded.mp3"),
            (QStringList{"/t/lame", "-", "/out dir/a b_recorded.mp3"}));
  const QStringList relative = EncoderArguments("/t/lame", "-out/-x_recorded.mp3");
  ASSERT_EQ(relative.size(), 3);
  EXPECT_EQ(relative[2], QDir::current().absoluteFilePath("-out/-x_recorded.mp3"));
  EXPECT_TRUE(relative[2].startsWith('/'));
}
