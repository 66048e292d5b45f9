// Per-file practice memory: what is kept comes back whole, a moved or
// renamed file is recognised, a changed file is not, and a damaged or
// foreign entry is ignored rather than misread.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "playback/PracticeMemory.h"

using namespace lentaro::playback;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

QByteArray pattern(int size, char seed) {
  QByteArray b(size, '\0');
  for (int i = 0; i < size; ++i) b[i] = static_cast<char>(seed + i * 7);
  return b;
}

TEST(PracticeMemory, KeepsEveryFieldAndForgetsAnEmptyEntry) {
  QTemporaryDir dir;
  PracticeMemory memory(dir.filePath("practice/nested"));
  PracticeData d;
  d.loop = std::make_pair(12.5, 19.25);
  d.markers = {{"verse", 3.5}, {"solo", 61.0}};
  d.trainer = {true, -40, 4, 3, -5};
  d.countIn = {true, 2, 8, 96.5, true};
  d.tempo = -25;
  d.pitch = 3;
  ASSERT_TRUE(memory.save("42-abc", d));
  EXPECT_EQ(memory.load("42-abc"), d);

  PracticeData plain;
  plain.loop = std::make_pair(0.0, 1.0);
  ASSERT_TRUE(memory.save("42-abc", plain));
  const auto back = memory.load("42-abc");
  ASSERT_TRUE(back);
  EXPECT_FALSE(back->tempo.has_value()) << "tempo kept although not asked for";
  EXPECT_EQ(*back, plain);

  ASSERT_TRUE(memory.save("42-abc", PracticeData{}));
  EXPECT_FALSE(memory.load("42-abc"));
  EXPECT_FALSE(QFile::exists(dir.filePath("practice/nested/42-abc.json")));
}

TEST(PracticeMemory, AFileIsKnownByItsContentNotItsName) {
  QTemporaryDir dir;
  const QByteArray song = pattern(300 * 1024, 1);
  writeFile(dir.filePath("song.mp3"), song);
  const QString key = PracticeMemory::keyOf(dir.filePath("song.mp3"));
  ASSERT_FALSE(key.isEmpty());

  ASSERT_TRUE(QFile::rename(dir.filePath("song.mp3"), dir.filePath("renamed.mp3")));
  EXPECT_EQ(PracticeMemory::keyOf(dir.filePath("renamed.mp3")), key);

  QByteArray newHead = song;
  newHead[100] = static_cast<char>(newHead[100] + 1);
  writeFile(dir.filePath("head.mp3"), newHead);
  EXPECT_NE(PracticeMemory::keyOf(dir.filePath("head.mp3")), key);

  QByteArray newTail = song;
  newTail[newTail.size() - 5] = static_cast<char>(newTail[newTail.size() - 5] + 1);
  writeFile(dir.filePath("tail.mp3"), newTail);
  EXPECT_NE(PracticeMemory::keyOf(dir.filePath("tail.mp3")), key);

  writeFile(dir.filePath("longer.mp3"), song + QByteArray(1, 'x'));
  EXPECT_NE(PracticeMemory::keyOf(dir.filePath("longer.mp3")), key);

  // A small file: every byte counts.
  writeFile(dir.filePath("small.mp3"), pattern(1000, 3));
  writeFile(dir.filePath("small2.mp3"), pattern(1000, 4));
  EXPECT_NE(PracticeMemory::keyOf(dir.filePath("small.mp3")),
            PracticeMemory::keyOf(dir.filePath("small2.mp3")));
  EXPECT_TRUE(PracticeMemory::keyOf(dir.filePath("missing.mp3")).isEmpty());
}

TEST(PracticeMemory, DamagedOrForeignEntriesAreIgnored) {
  QTemporaryDir dir;
  PracticeMemory memory(dir.path());
  writeFile(dir.filePath("1-a.json"), "{ not json");
  writeFile(dir.filePath("2-b.json"), R"({"format": 99, "loop": [1, 2]})");
  writeFile(dir.filePath("3-c.json"),
            R"({"format": 1, "loop": [5, 2], "markers": [{"seconds": -1}]})");
  EXPECT_FALSE(memory.load("1-a"));
  EXPECT_FALSE(memory.load("2-b"));
  const auto odd = memory.load("3-c");
  ASSERT_TRUE(odd);
  EXPECT_FALSE(odd->loop) << "a loop that ends before it starts";
  EXPECT_TRUE(odd->markers.isEmpty());
  EXPECT_FALSE(memory.load(""));
  EXPECT_FALSE(memory.save("", PracticeData{}));
}

}  // namespace
