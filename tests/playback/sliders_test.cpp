// Tempo, pitch and volume: when a move is applied, what the captions and
// the thumb's tip say, what is carried to the next file, and what is heard.
#include <QTest>
#include <QToolTip>

#include "PlaybackFixture.h"
#include "playback/ThumbTip.h"

namespace lentaro::playback::testing {
namespace {

// A move by the user: the slider position changes through an action, as a
// drag, a track click or a key does.
void userMove(QSlider* s, int value) {
  s->setSliderDown(true);
  s->setSliderPosition(value);
  s->setSliderDown(false);
}

TEST_F(PlaybackTest, NegativeValuesKeepTheirSignInCaptionsAndTips) {
  REQUIRE_ENGINE();
  add("tone440.mp3");
  pb->PushButton1_Click();
  userMove(w.sldTempo[0], -50);
  EXPECT_EQ(w.Frame3->title(), "Tempo + -50%");
  EXPECT_EQ(ThumbTip::textOf(w.sldTempo[0]), "-50%");
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), -50.f);
  userMove(w.sldTempo[1], -7);
  EXPECT_EQ(w.Frame1->title(), "Pitch  = -7 semitones");
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO_PITCH), -7.f);
  EXPECT_EQ(ThumbTip::textOf(w.sldTempo[1]), "");  // pitch has no tip
  userMove(w.sldVolume, 35);
  EXPECT_EQ(ThumbTip::textOf(w.sldVolume), "35%");
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_VOL), 0.35f);
  // Any other index of the array does nothing.
  w.sldTempo[0]->setValue(20);
  pb->sldTempo_Scroll(2);
  EXPECT_EQ(w.Frame3->title(), "Tempo + -50%");
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), -50.f);
}

TEST_F(PlaybackTest, TempoAndPitchWhileStoppedAreNotAppliedAndNewFilesStartNormal) {
  REQUIRE_ENGINE();
  add("tone440.mp3");
  add("tone660.mp3");
  userMove(w.sldTempo[0], 50);  // before any play
  EXPECT_EQ(w.Frame3->title(), "Tempo");
  EXPECT_EQ(ThumbTip::textOf(w.sldTempo[0]), "");
  pb->PushButton1_Click();
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), 0.f);
  EXPECT_EQ(w.sldTempo[0]->value(), 50);  // the slider keeps its place
  render(1.0);
  EXPECT_NEAR(position(), 1.0, 0.05);  // normal pace

  userMove(w.sldTempo[1], 5);  // applied while playing
  pb->PushButton1_Click();     // stop
  userMove(w.sldTempo[1], 9);  // not applied after "Stop"
  EXPECT_EQ(w.Frame1->title(), "Pitch  = 5 semitones");
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO_PITCH), 5.f);

  // The next file starts at normal tempo and pitch; the captions keep the
  // last text written.
  select(2);
  pb->ListView1_DblClick();
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), 0.f);
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO_PITCH), 0.f);
  EXPECT_EQ(w.Frame1->title(), "Pitch  = 5 semitones");
  render(0.3);
  EXPECT_NEAR(frequency(render(0.5)), 660, 5);
}

TEST_F(PlaybackTest, VolumeZeroIsSilenceAndCarriesToTheNextFile) {
  REQUIRE_ENGINE();
  add("tone440.mp3");
  add("tone660.mp3");
  pb->PushButton1_Click();
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_VOL), 1.f);  // start value: full volume
  EXPECT_GT(peak(render(0.3)), 10000);
  userMove(w.sldVolume, 0);
  EXPECT_EQ(ThumbTip::textOf(w.sldVolume), "0%");
  render(0.1);  // the volume ramp
  EXPECT_EQ(peak(render(0.3)), 0);
  select(2);
  pb->ListView1_DblClick();
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_VOL), 0.f);
  EXPECT_EQ(peak(render(0.3)), 0);

  // With no channel at all the volume handler still writes its tip.
  pb->PushButton1_Click();  // pause
  BASS_StreamFree(channel());
  st().CurrentChannel = 0;
  userMove(w.sldVolume, 80);
  EXPECT_EQ(ThumbTip::textOf(w.sldVolume), "80%");
}

TEST_F(PlaybackTest, OnlyTheUsersChangesRunTheHandlers) {
  REQUIRE_ENGINE();
  add("tone440.mp3");
  pb->PushButton1_Click();
  // The program's own setValue is not a scroll.
  w.sldTempo[0]->setValue(30);
  EXPECT_EQ(w.Frame3->title(), "Tempo");
  // A key is.
  w.sldTempo[0]->setFocus();
  QTest::keyClick(w.sldTempo[0], Qt::Key_Right);
  EXPECT_EQ(w.Frame3->title(), "Tempo + 31%");
  // A key at the end of the range changes nothing and runs nothing.
  w.sldTempo[1]->setValue(30);
  QTest::keyClick(w.sldTempo[1], Qt::Key_Right);
  EXPECT_EQ(w.Frame1->title(), "Pitch");
  // A click on the track, away from the thumb.
  const QPoint farLeft(3, w.sldVolume->height() / 2);
  QTest::mouseClick(w.sldVolume, Qt::LeftButton, {}, farLeft);
  EXPECT_LT(w.sldVolume->value(), 100);
  EXPECT_EQ(ThumbTip::textOf(w.sldVolume), QString::number(w.sldVolume->value()) + "%");
}

TEST_F(PlaybackTest, DraggingTheThumbShowsItsValueBesideIt) {
  REQUIRE_ENGINE();
  add("tone440.mp3");
  pb->PushButton1_Click();
  QSlider* s = w.sldTempo[0];
  const QPoint centre = ThumbTip::handleRect(s).center();
  QTest::mousePress(s, Qt::LeftButton, {}, centre);
  ASSERT_TRUE(s->isSliderDown());
  QTest::mouseMove(s, centre - QPoint(60, 0));
  const int v = s->value();
  EXPECT_LT(v, 0);
  EXPECT_EQ(w.Frame3->title(), "Tempo + " + QString::number(v) + "%");
  EXPECT_EQ(QToolTip::text(), QString::number(v) + "%");
  QTest::mouseRelease(s, Qt::LeftButton, {}, centre - QPoint(60, 0));
  EXPECT_FALSE(s->isSliderDown());
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), static_cast<float>(v));
}

TEST_F(PlaybackTest, TheSoundFollowsTheSliders) {
  REQUIRE_ENGINE();
  add("tone440.mp3");
  pb->PushButton1_Click();
  render(0.2);
  EXPECT_NEAR(frequency(render(0.5)), 440, 4);

  // Tempo -50: half the pace, the same key.
  userMove(w.sldTempo[0], -50);
  render(0.2);
  double before = position();
  const auto slow = render(2.0);
  EXPECT_NEAR(position() - before, 1.0, 0.05);
  EXPECT_NEAR(frequency(slow), 440, 6);

  // Pitch +12 while paused: an octave up once it continues, at the same pace.
  pb->ListView1_DblClick();  // afresh, at normal tempo: "Pause"
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), 0.f);
  pb->PushButton1_Click();  // pause
  userMove(w.sldTempo[1], 12);
  EXPECT_EQ(w.Frame1->title(), "Pitch  = 12 semitones");
  pb->PushButton1_Click();  // continue
  render(0.2);
  before = position();
  const auto high = render(1.0);
  EXPECT_NEAR(frequency(high), 880, 8);
  EXPECT_NEAR(position() - before, 1.0, 0.05);
}

}  // namespace
}  // namespace lentaro::playback::testing
