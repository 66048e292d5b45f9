// The position slider and the time labels: following playback, long files,
// and seeking by dragging and releasing the slider.
#include <QTest>

#include "PlaybackFixture.h"
#include "playback/ThumbTip.h"

namespace lentaro::playback::testing {
namespace {

// Nothing plays but what a test renders, so positions are exact up to the
// rounding of frames to seconds.
constexpr double kFrameExact = 0.001;  // seconds

// Drags Slider1's thumb with the mouse until it shows `target`; returns the
// point where the mouse stands, button still held.
QPoint dragTo(QSlider* s, int target) {
  const QPoint start = ThumbTip::handleRect(s).center();
  QTest::mousePress(s, Qt::LeftButton, {}, start);
  QPoint at = start;
  for (int x = start.x(); x < s->width() && s->sliderPosition() != target; ++x) {
    at = QPoint(x, start.y());
    QTest::mouseMove(s, at);
  }
  return at;
}

TEST_F(PlaybackTest, ThreeMinuteFileAt75Seconds) {
  REQUIRE_ENGINE();
  add("song180.mp3");
  pb->PushButton1_Click();
  render(75.2);
  pb->Timer2_Timer();
  EXPECT_EQ(w.Label3->text(), "Time: 01:15");
  EXPECT_EQ(w.Label2->text(), "Total Time: 03:00");
  EXPECT_EQ(w.Slider1->maximum(), 180);
  // The value is written before the maximum, so the first tick over the
  // start range of 0..1 leaves it at 1; the next one puts it in place.
  EXPECT_EQ(w.Slider1->value(), 1);
  pb->Timer2_Timer();
  EXPECT_EQ(w.Slider1->value(), 75);
}

TEST_F(PlaybackTest, LongFilesShowMinutesWithinTheHourAndKeepTheirLength) {
  REQUIRE_ENGINE();
  add("hour.mp3");       // 1 h 2 min 5 s
  add("ninehours.mp3");  // nine of it: 33525 s, past 32767
  pb->PushButton1_Click();
  pb->Timer2_Timer();
  EXPECT_EQ(w.Label2->text(), "Total Time: 02:05");
  EXPECT_EQ(w.Slider1->maximum(), 3725);

  select(2);
  pb->ListView1_DblClick();
  pb->Timer2_Timer();
  EXPECT_EQ(w.Label2->text(), "Total Time: 18:47");
  EXPECT_EQ(w.Slider1->maximum(), 33527);
  EXPECT_EQ(w.Label3->text(), "Time: 00:00");
  // Seeking past the 16-bit mark lands where the slider says.
  w.Slider1->setValue(33000);
  pb->Slider1_MouseDown();
  pb->Slider1_MouseUp();
  EXPECT_NEAR(position(), 33000.0, 0.01);
  render(0.5);
  pb->Timer2_Timer();
  EXPECT_EQ(w.Slider1->value(), 33000);
  EXPECT_EQ(w.Label3->text(), "Time: 10:00");
}

TEST_F(PlaybackTest, DragHoldReleaseSeeksToTheReleasedSecond) {
  REQUIRE_ENGINE();
  add("song180.mp3");
  pb->PushButton1_Click();
  render(2.0);
  pb->Timer2_Timer();
  pb->Timer2_Timer();
  ASSERT_EQ(w.Slider1->maximum(), 180);
  ASSERT_EQ(w.Label3->text(), "Time: 00:02");

  const QPoint at = dragTo(w.Slider1, 42);
  ASSERT_EQ(w.Slider1->sliderPosition(), 42);
  EXPECT_FALSE(w.Timer2->isActive());
  EXPECT_EQ(w.Timer2->interval(), 0);
  // Held: playback goes on, the display does not.
  render(1.5);
  letARefreshTickPass();
  EXPECT_EQ(w.Label3->text(), "Time: 00:02");
  EXPECT_EQ(w.Slider1->value(), 42);
  EXPECT_NEAR(position(), 3.5, kFrameExact);

  QTest::mouseRelease(w.Slider1, Qt::LeftButton, {}, at);
  EXPECT_NEAR(position(), 42.0, 0.01);
  EXPECT_TRUE(w.Timer2->isActive());
  EXPECT_EQ(w.Timer2->interval(), Playback::kRefreshMs);
  render(0.3);
  // The timer's own ticks bring the display to the sound.
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.Label3->text() == "Time: 00:42"; }))
      << w.Label3->text().toStdString();
  EXPECT_EQ(w.Slider1->value(), 42);

  // A click on the track right of the thumb: one page step (a second), and
  // the release seeks there.
  const QPoint right(w.Slider1->width() - 3, w.Slider1->height() / 2);
  QTest::mouseClick(w.Slider1, Qt::LeftButton, {}, right);
  EXPECT_EQ(w.Slider1->value(), 43);
  EXPECT_NEAR(position(), 43.0, 0.01);
}

TEST_F(PlaybackTest, KeysMoveThePositionSliderButDoNotSeek) {
  REQUIRE_ENGINE();
  add("song180.mp3");
  pb->PushButton1_Click();
  render(5.0);
  pb->Timer2_Timer();
  pb->Timer2_Timer();
  ASSERT_EQ(w.Slider1->value(), 5);
  QTest::keyClick(w.Slider1, Qt::Key_End);
  EXPECT_EQ(w.Slider1->value(), 180);
  EXPECT_NEAR(position(), 5.0, kFrameExact);
  pb->Timer2_Timer();
  EXPECT_EQ(w.Slider1->value(), 5);
}

TEST_F(PlaybackTest, ReleaseWithNothingPlayingChangesNothingVisible) {
  // With no channel the seek is passed on and ignored.
  const QPoint mid(w.Slider1->width() / 2, w.Slider1->height() / 2);
  QTest::mousePress(w.Slider1, Qt::LeftButton, {}, mid);
  EXPECT_FALSE(w.Timer2->isActive());
  QTest::mouseRelease(w.Slider1, Qt::LeftButton, {}, mid);
  EXPECT_TRUE(w.Timer2->isActive());
  EXPECT_EQ(w.Timer2->interval(), Playback::kRefreshMs);
  letARefreshTickPass();
  EXPECT_EQ(w.Label3->text(), "Time:");
  EXPECT_EQ(w.Label2->text(), "Total Time:");
  EXPECT_TRUE(shown().empty());
  EXPECT_EQ(channel(), 0u);
}

}  // namespace
}  // namespace lentaro::playback::testing
