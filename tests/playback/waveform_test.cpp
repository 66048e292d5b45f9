// The waveform overview: the envelope of known signals, a long file that
// never holds up the window, the caches, and a click or drag on the
// overview doing what it does on Slider1.
#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <functional>
#include <numbers>

#include "PlaybackFixture.h"
#include "playback/ThumbTip.h"
#include "playback/WaveformPeaks.h"
#include "playback/WaveformView.h"

namespace lentaro::playback::testing {
namespace {

constexpr int kColumns = WaveformPeaksSource::kColumns;

QString playbackData(const char* name) {
  return qEnvironmentVariable("LENTARO_TEST_DATA") + QStringLiteral("/playback/") +
         QString::fromLatin1(name);
}

// A 16-bit mono WAV file of `seconds` at 44.1 kHz with samples f(frame).
QString writeWav(const QTemporaryDir& dir, const char* name, double seconds,
                 const std::function<double(int)>& f) {
  const int frames = static_cast<int>(seconds * 44100);
  const QString path = dir.filePath(QString::fromLatin1(name));
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  QDataStream out(&file);
  out.setByteOrder(QDataStream::LittleEndian);
  out.writeRawData("RIFF", 4);
  out << quint32(36 + 2 * frames);
  out.writeRawData("WAVEfmt ", 8);
  out << quint32(16) << quint16(1) << quint16(1) << quint32(44100) << quint32(88200) << quint16(2)
      << quint16(16);
  out.writeRawData("data", 4);
  out << quint32(2 * frames);
  for (int i = 0; i < frames; ++i) out << qint16(std::lround(std::clamp(f(i), -1.0, 1.0) * 32767));
  return path;
}

WaveformPeaks peaksOf(WaveformPeaksSource& source, const QString& path) {
  bool ok = false, done = false;
  const QMetaObject::Connection c = QObject::connect(&source, &WaveformPeaksSource::finished,
                                                     [&](bool r) { ok = r, done = true; });
  source.request(path);
  EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 20000));
  QObject::disconnect(c);
  EXPECT_TRUE(ok);
  return source.peaks();
}

TEST(WaveformPeaks, EnvelopesOfKnownSignals) {
  QTemporaryDir dir;
  WaveformPeaksSource source{QString()};
  const WaveformPeaks silence =
      peaksOf(source, writeWav(dir, "silence.wav", 4, [](int) { return 0.0; }));
  ASSERT_TRUE(silence.complete());
  EXPECT_NEAR(silence.seconds, 4.0, 1e-6);
  for (int i = 0; i < kColumns; ++i) ASSERT_TRUE(silence.mins[i] == 0 && silence.maxs[i] == 0) << i;

  // 441 Hz: every column (about 7 ms) holds three periods.
  const WaveformPeaks sine =
      peaksOf(source, writeWav(dir, "sine.wav", 8, [](int i) {
                return 0.5 * std::sin(2 * std::numbers::pi * 441 * i / 44100.0);
              }));
  for (int i = 0; i < kColumns; ++i) {
    ASSERT_NEAR(sine.maxs[i], 0.5, 0.01) << i;
    ASSERT_NEAR(sine.mins[i], -0.5, 0.01) << i;
  }

  // A 20 ms burst every 1.25 s over 10 s: 8 bursts, 128 columns apart.
  const WaveformPeaks clicks =
      peaksOf(source, writeWav(dir, "clicks.wav", 10, [](int i) {
                const int k = i % 55125;
                return k < 882 ? 0.8 * std::sin(2 * std::numbers::pi * 1000 * k / 44100.0) : 0.0;
              }));
  for (int i = 0; i < kColumns; ++i) {
    const bool burst = i % 128 <= 2;  // 20 ms spans up to three columns
    if (!burst) {
      ASSERT_EQ(clicks.maxs[i], 0.0f) << i;
    }
    if (i % 128 == 0) {
      ASSERT_NEAR(clicks.maxs[i], 0.8, 0.02) << i;
    }
  }
}

// An hour-long file and one of nine hours: asking returns at once, the
// columns fill in while the event loop runs freely, and going on to
// another file drops the first at once.
TEST(WaveformPeaks, LongFileNeverHoldsUpTheWindow) {
  WaveformPeaksSource source{QString()};
  int changes = 0, partial = 0;
  QObject::connect(&source, &WaveformPeaksSource::peaksChanged, [&] {
    ++changes;
    if (source.peaks().filled > 0 && !source.peaks().complete()) ++partial;
  });
  QElapsedTimer asked;
  asked.start();
  source.request(playbackData("ninehours.mp3"));
  EXPECT_LT(asked.elapsed(), 100) << "the request waited for the file";
  EXPECT_TRUE(source.computing());

  // A 10 ms timer keeps firing while the worker decodes.
  int ticks = 0;
  qint64 longestGap = 0, last = 0;
  QElapsedTimer clock;
  clock.start();
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    ++ticks;
    longestGap = std::max(longestGap, clock.elapsed() - last);
    last = clock.elapsed();
  });
  tick.start(10);
  ASSERT_TRUE(QTest::qWaitFor([&] { return partial >= 3; }, 60000)) << "no columns came";
  EXPECT_TRUE(source.computing());
  EXPECT_GT(ticks, 3);
  EXPECT_LT(longestGap, 250) << "the window stalled";
  const int filledBefore = source.peaks().filled;
  EXPECT_LT(filledBefore, kColumns);

  source.request(playbackData("tone440.mp3"));
  EXPECT_EQ(source.peaks().filled, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !source.computing(); }, 60000));
  EXPECT_TRUE(source.peaks().complete());
  EXPECT_NEAR(source.peaks().seconds, 6.0, 0.01);
  EXPECT_NEAR(source.peaks().maxs[kColumns / 2], 0.5, 0.05);
}

// Finished peaks come back from memory, and from the disk folder for a
// new source (the next run of the program).
TEST(WaveformPeaks, CachedPeaksComeBackWhole) {
  QTemporaryDir dir, cache;
  const QString path = writeWav(dir, "ramp.wav", 3, [](int i) { return i / (3.0 * 44100); });
  WaveformPeaks first;
  {
    WaveformPeaksSource source{cache.path()};
    first = peaksOf(source, path);
  }
  ASSERT_EQ(QDir(cache.path()).entryList({"*.peaks"}).size(), 1);
  WaveformPeaksSource again{cache.path()};
  int changes = 0;
  QObject::connect(&again, &WaveformPeaksSource::peaksChanged, [&] { ++changes; });
  const WaveformPeaks second = peaksOf(again, path);
  EXPECT_EQ(second.mins, first.mins);
  EXPECT_EQ(second.maxs, first.maxs);
  EXPECT_EQ(second.seconds, first.seconds);
  EXPECT_EQ(changes, 2) << "emptied, then whole at once";
  EXPECT_NEAR(second.maxs[kColumns - 1], 1.0, 0.01);
}

// The envelope lies under the thumb's places: a single loud column at a
// quarter of the file is drawn where the thumb stands at a quarter.
TEST_F(PlaybackTest, EnvelopeIsDrawnWhereTheThumbStandsForThatPlace) {
  auto* view = new WaveformView(w.Slider1, &window);
  view->setGeometry(w.Slider1->x(), w.Slider1->y() - 8, w.Slider1->width(),
                    w.Slider1->height() + 16);
  view->stackUnder(w.Slider1);
  w.Slider1->setRange(0, 100);
  WaveformPeaks p;
  p.mins.fill(0.0f, kColumns);
  p.maxs.fill(0.0f, kColumns);
  p.mins[kColumns / 4] = -0.9f;
  p.maxs[kColumns / 4] = 0.9f;
  p.filled = kColumns;
  p.seconds = 100;
  view->setPeaks(p);
  const QImage image = view->grab().toImage();
  const QColor background = image.pixelColor(1, 1);
  w.Slider1->setValue(25);
  const double thumb = ThumbTip::handleRect(w.Slider1).center().x() + w.Slider1->x() - view->x();
  // A column that straddles two pixels inks both.
  int inked = 0;
  for (int x = 0; x < image.width(); ++x) {
    if (image.pixelColor(x, 2) == background) continue;
    ++inked;
    EXPECT_NEAR(x, thumb, 1.5);
  }
  EXPECT_GE(inked, 1);
  EXPECT_LE(inked, 2);
}

// A click on the overview, off the slider itself, does what a click on
// the slider's track does there; a drag from the thumb's place seeks at
// the release.
TEST_F(PlaybackTest, ClickAndDragOnTheWaveformAreTheSlidersOwn) {
  REQUIRE_ENGINE();
  auto* view = new WaveformView(w.Slider1, &window);
  view->setGeometry(w.Slider1->x(), w.Slider1->y() - 8, w.Slider1->width(),
                    w.Slider1->height() + 16);
  view->stackUnder(w.Slider1);
  view->show();
  add("song180.mp3");
  pb->PushButton1_Click();
  render(2.0);
  pb->Timer2_Timer();
  pb->Timer2_Timer();
  ASSERT_EQ(w.Slider1->value(), 2);
  ASSERT_EQ(window.childAt(view->x() + 5, view->y() + 2), view) << "the band above the slider";

  // Right of the thumb, in the band above the slider: a page step.
  QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(view->width() - 3, 2));
  EXPECT_EQ(w.Slider1->value(), 3);
  EXPECT_NEAR(position(), 3.0, 0.01);
  EXPECT_TRUE(w.Timer2->isActive());

  // From the thumb's place, below the slider: a drag, heard at the release.
  pb->Timer2_Timer();
  const int thumbX = ThumbTip::handleRect(w.Slider1).center().x() + w.Slider1->x() - view->x();
  const int below = view->height() - 2;
  QTest::mousePress(view, Qt::LeftButton, {}, QPoint(thumbX, below));
  EXPECT_FALSE(w.Timer2->isActive()) << "the refresh holds while the thumb is held";
  int x = thumbX;
  while (w.Slider1->sliderPosition() < 90 && x < view->width())
    QTest::mouseMove(view, QPoint(++x, below));
  const int target = w.Slider1->sliderPosition();
  ASSERT_GE(target, 90);
  EXPECT_NEAR(position(), 3.0, 0.01) << "no seek before the release";
  QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(x, below));
  EXPECT_NEAR(position(), target, 0.01);
  EXPECT_TRUE(w.Timer2->isActive());
}

}  // namespace
}  // namespace lentaro::playback::testing
