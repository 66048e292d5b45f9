// Practice loops in the window over the real engine on its manual output:
// the keys, menu entries and the position slider's menu set, nudge and
// clear the channel's loop; the band drawn over the slider; the status
// field; the tempo slider following the speed trainer; each file's
// settings remembered by its content.
#include <QContextMenuEvent>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

#include "DesktopFixture.h"
#include "LoopBand.h"
#include "PracticeController.h"
#include "app/PlayerControl.h"
#include "playback/WaveformView.h"

namespace lentaro::testing {
namespace {

using End = PracticeController::End;

class PracticeTest : public DesktopTest {
 protected:
  void prepareSettings() override { QDir(PracticeController::defaultFolder()).removeRecursively(); }

  PracticeController& practice() { return *f().practice_; }

  // Adds `path` to the list and plays it as a double-click does, then
  // waits for its stored settings to be looked up.
  void play(const QString& path) {
    f().ListView1->Add(path);
    f().ListView1->Select(f().ListView1->Count());
    QSignalSpy looked(&practice(), &PracticeController::memoryLoaded);
    f().playback_->ListView1_DblClick();
    practice().tick();
    ASSERT_NE(channel(), 0u);
    if (looked.isEmpty()) {
      ASSERT_TRUE(looked.wait(5000));
    }
  }

  double secondsOf(QWORD bytes) const { return BASS_ChannelBytes2Seconds(channel(), bytes); }
  std::pair<double, double> engineLoop() const {
    QWORD a = 1, b = 1;
    EXPECT_TRUE(BASS_Lentaro_ChannelGetLoop(channel(), &a, &b));
    return {secondsOf(a), secondsOf(b)};
  }
  QString statusField() {
    return frame()->findChild<QLabel*>(QStringLiteral("practiceStatus"))->text();
  }
  // A file of the same length whose content differs from first.mp3.
  QString alteredCopy(const QString& dir) {
    QFile in(data("first.mp3"));
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    bytes[bytes.size() - 100] = static_cast<char>(bytes[bytes.size() - 100] ^ 0x5a);
    QFile out(dir + QStringLiteral("/altered.mp3"));
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    return out.fileName();
  }
};

constexpr double kFrame = 1.0 / 44100;

TEST_F(PracticeTest, KeysSetNudgeAndClearTheChannelsLoop) {
  showActive();
  play(data("first.mp3"));
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr);

  // The end first, then a start after it: the ends are taken the right
  // way round.
  render(3.0);
  const double three = position();
  QTest::keyClick(focus, Qt::Key_BracketRight);
  EXPECT_EQ(engineLoop(), std::make_pair(0.0, 0.0)) << "one end alone sets nothing yet";
  render(2.0);
  const double five = position();
  QTest::keyClick(focus, Qt::Key_BracketLeft);
  auto [a, b] = engineLoop();
  EXPECT_NEAR(a, three, kFrame);
  EXPECT_NEAR(b, five, kFrame);

  // [ inside a set loop moves its start; the end stays.
  render(0.5);
  const double inside = position();
  ASSERT_GT(inside, three);
  QTest::keyClick(focus, Qt::Key_BracketLeft);
  std::tie(a, b) = engineLoop();
  EXPECT_NEAR(a, inside, kFrame);
  EXPECT_NEAR(b, five, kFrame);

  // The nudges, each by its own key.
  const struct {
    const char* key;
    double da, db;
  } nudges[] = {{"Alt+Shift+Left", -0.010, 0},    {"Alt+Shift+Right", 0.010, 0},
                {"Ctrl+Alt+Left", -0.100, 0},     {"Ctrl+Alt+Right", 0.100, 0},
                {"Ctrl+Shift+Left", 0, -0.010},   {"Ctrl+Shift+Right", 0, 0.010},
                {"Ctrl+Alt+Shift+Left", 0, -0.1}, {"Ctrl+Alt+Shift+Right", 0, 0.1}};
  for (const auto& n : nudges) {
    const auto [a0, b0] = engineLoop();
    const QKeyCombination k = QKeySequence(QString::fromLatin1(n.key))[0];
    QTest::keyClick(focus, k.key(), k.keyboardModifiers());
    const auto [a1, b1] = engineLoop();
    EXPECT_NEAR(a1 - a0, n.da, 2 * kFrame) << n.key;
    EXPECT_NEAR(b1 - b0, n.db, 2 * kFrame) << n.key;
  }

  // A nudge never lets the start pass the end.
  for (int i = 0; i < 40; ++i) table().trigger(QStringLiteral("loopStartLater100"));
  std::tie(a, b) = engineLoop();
  EXPECT_LT(a, b);
  EXPECT_NEAR(b - a, PracticeController::kMinLoopSeconds, 2 * kFrame);

  QTest::keyClick(focus, Qt::Key_Backslash);
  EXPECT_EQ(engineLoop(), std::make_pair(0.0, 0.0));
  EXPECT_FALSE(practice().data().loop.has_value());
}

TEST_F(PracticeTest, CommandsWithNothingPlayingDoNothing) {
  for (const char* id : {"loopStart", "loopEnd", "loopClear", "loopStartEarlier10",
                         "loopEndLater100", "addMarker", "trainerBackOff"})
    table().trigger(QString::fromLatin1(id));
  EXPECT_EQ(channel(), 0u);
  EXPECT_FALSE(practice().data().loop.has_value());
  EXPECT_TRUE(practice().data().markers.isEmpty());
  EXPECT_EQ(statusField(), QString());

  // Stopped with a channel: the keys still do nothing.
  add("first.mp3");
  f().ListView1->Select(1);
  f().PushButton1->click();
  f().PushButton1->click();  // "Stop"
  practice().tick();
  ASSERT_NE(channel(), 0u);
  table().trigger(QStringLiteral("loopStart"));
  table().trigger(QStringLiteral("loopEnd"));
  EXPECT_EQ(engineLoop(), std::make_pair(0.0, 0.0));
}

TEST_F(PracticeTest, MenuEntriesAndTheSlidersMenuSetTheLoopAndJumpToMarkers) {
  play(data("first.mp3"));
  refresh();  // the slider learns the file's length
  ASSERT_EQ(f().Slider1->maximum(), 30);

  // The Playback menu's entries are the same commands.
  render(1.0);
  table().trigger(QStringLiteral("loopStart"));
  render(1.0);
  table().trigger(QStringLiteral("loopEnd"));
  auto [a, b] = engineLoop();
  EXPECT_NEAR(a, 1.0, 0.01);
  EXPECT_NEAR(b, 2.0, 0.01);

  // The slider's menu acts at the place under the pointer.
  LoopBand* band = practice().band();
  const auto at = [&](double s) { return QPoint(static_cast<int>(std::lround(band->xOf(s))), 5); };
  const auto run = [&](const QPoint& p, const QString& text) {
    std::unique_ptr<QMenu> menu(practice().sliderMenu(p, f().Slider1));
    for (QAction* action : menu->actions()) {
      if (action->text().startsWith(text)) {
        ASSERT_TRUE(action->isEnabled()) << text.toStdString();
        action->trigger();
        return;
      }
    }
    FAIL() << "no entry " << text.toStdString();
  };
  // One pixel of the slider is about 30 s over its width.
  const double pixel = 30.0 / (band->xOf(30) - band->xOf(0));
  // A start past the loop's end: the old end becomes the start.
  run(at(10), QStringLiteral("Loop start here"));
  std::tie(a, b) = engineLoop();
  EXPECT_NEAR(a, 2, 0.01);
  EXPECT_NEAR(b, 10, pixel);
  run(at(20), QStringLiteral("Loop end here"));
  run(at(10), QStringLiteral("Loop start here"));
  std::tie(a, b) = engineLoop();
  EXPECT_NEAR(a, 10, pixel);
  EXPECT_NEAR(b, 20, pixel);

  // A marker at the playing place, listed in the menu, jumps back there.
  render(2.0);
  const double marked = position();
  table().trigger(QStringLiteral("addMarker"));
  ASSERT_EQ(practice().data().markers.size(), 1);
  EXPECT_EQ(practice().data().markers[0].name, "Marker 1");
  render(3.0);
  run(at(0), QStringLiteral("Marker 1"));
  EXPECT_NEAR(position(), marked, kFrame);

  run(at(0), QStringLiteral("Clear loop"));
  EXPECT_EQ(engineLoop(), std::make_pair(0.0, 0.0));
}

TEST_F(PracticeTest, RightClickOnTheSliderOpensItsMenuWithoutSeeking) {
  showActive();
  play(data("first.mp3"));
  refresh();
  render(4.3);  // the slider shows 4 s: a seek to it would move back
  refresh();
  const double before = position();
  QSlider* slider = f().Slider1;
  const QPoint far(slider->width() - 10, slider->height() / 2);
  QTest::mousePress(slider, Qt::RightButton, {}, far);
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, far, slider->mapToGlobal(far));
  QApplication::sendEvent(slider, &menuEvent);
  QTest::mouseRelease(slider, Qt::RightButton, {}, far);
  auto* menu = slider->findChild<QMenu*>(QStringLiteral("positionMenu"));
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->actions().size(), 3);
  menu->close();
  EXPECT_EQ(position(), before) << "a right click is not a click on the track";
  EXPECT_EQ(slider->value(), 4);
}

TEST_F(PracticeTest, BandIsDrawnOverTheSliderBetweenTheLoopsEnds) {
  showActive();
  play(data("first.mp3"));
  refresh();
  LoopBand* band = practice().band();
  EXPECT_EQ(band->geometry(), f().Slider1->geometry()) << "laid exactly over the slider";
  EXPECT_TRUE(band->testAttribute(Qt::WA_TransparentForMouseEvents));

  QWidget* frame2 = f().Frame2;
  const QImage before = frame2->grab().toImage();
  practice().setLoopStartAt(6);
  practice().setLoopEndAt(15);
  const QImage after = frame2->grab().toImage();
  ASSERT_EQ(before.size(), after.size());

  const int x0 = band->x() + static_cast<int>(std::floor(band->xOf(6)));
  const int x1 = band->x() + static_cast<int>(std::ceil(band->xOf(15)));
  int changedInside = 0;
  for (int x = 0; x < after.width(); ++x) {
    bool changed = false;
    for (int y = band->y(); y < band->y() + band->height(); ++y)
      changed = changed || before.pixel(x, y) != after.pixel(x, y);
    if (changed) {
      EXPECT_GE(x, x0 - 1) << "drawn left of the loop";
      EXPECT_LE(x, x1 + 1) << "drawn right of the loop";
      ++changedInside;
    }
  }
  EXPECT_GE(changedInside, x1 - x0 - 1) << "the band covers the loop";
  EXPECT_EQ(f().waveform_->loopRange(), practice().data().loop);
}

TEST_F(PracticeTest, StatusFieldShowsTheLoopThePassAndTheTrainersTempo) {
  play(data("first.mp3"));
  render(2.0);
  practice().setLoopStartHere();
  EXPECT_EQ(statusField(), QStringLiteral("Loop from 0:02.0"));
  render(0.5);
  practice().setLoopEndHere();
  EXPECT_EQ(statusField(), QStringLiteral("Loop 0:02.0 \u2013 0:02.5 \u00b7 pass 1"));
  render(1.1);  // past two seams
  practice().tick();
  EXPECT_EQ(statusField(), QStringLiteral("Loop 0:02.0 \u2013 0:02.5 \u00b7 pass 3"));

  practice().setTrainer({true, -35, 5, 4, 0});
  EXPECT_EQ(statusField(), QStringLiteral("Loop 0:02.0 \u2013 0:02.5 \u00b7 pass 3 \u00b7 trainer "
                                          "\u221235%"));
}

TEST_F(PracticeTest, TempoSliderAndCaptionFollowTheTrainerAtEachSeam) {
  play(data("first.mp3"));
  render(1.0);
  practice().setLoopStartHere();
  render(0.5);
  practice().setLoopEndHere();
  practice().setTrainer({true, -30, 10, 1, -10});
  EXPECT_EQ(f().sldTempo[0]->value(), -30);
  EXPECT_EQ(f().Frame3->title(), "Tempo + -30%");

  // A pass of 0.5 s of the file at -30 % takes about 0.71 s.
  for (int expected : {-20, -10, -10}) {
    render(0.75);
    practice().tick();
    refresh();
    EXPECT_EQ(attribute(BASS_ATTRIB_TEMPO), expected);
    EXPECT_EQ(f().sldTempo[0]->value(), expected);
    EXPECT_EQ(f().Frame3->title(), QStringLiteral("Tempo + %1%").arg(expected));
  }
  // Following it was not a user's move: nothing set the tempo again.
  EXPECT_EQ(BASS_Lentaro_ChannelGetTempoChanges(channel()), 3u);

  // Back off: one step down at once, shown at once.
  table().trigger(QStringLiteral("trainerBackOff"));
  EXPECT_EQ(attribute(BASS_ATTRIB_TEMPO), -20);
  EXPECT_EQ(f().sldTempo[0]->value(), -20);

  // A hand move while it runs becomes its step; the slider keeps it.
  f().player()->moveTo(f().sldTempo[0], -25);
  practice().tick();
  EXPECT_EQ(attribute(BASS_ATTRIB_TEMPO), -25);
  EXPECT_EQ(f().sldTempo[0]->value(), -25);
}

TEST_F(PracticeTest, EachFileGetsItsOwnSettingsBackByContent) {
  QTemporaryDir dir;
  const QString copy = dir.path() + QStringLiteral("/renamed.mp3");
  ASSERT_TRUE(QFile::copy(data("first.mp3"), copy));
  const QString altered = alteredCopy(dir.path());

  play(data("first.mp3"));
  practice().setLoopStartAt(4);
  practice().setLoopEndAt(9.5);
  render(0.3);
  practice().addMarker();
  practice().setCountIn({true, 2, 4, 0, false});
  f().player()->moveTo(f().sldTempo[0], 20);
  practice().waitForDisk();

  // The same content under another name: everything but the tempo.
  play(copy);
  auto [a, b] = engineLoop();
  EXPECT_NEAR(a, 4, kFrame);
  EXPECT_NEAR(b, 9.5, kFrame);
  ASSERT_EQ(practice().data().markers.size(), 1);
  EXPECT_NEAR(practice().data().markers[0].seconds, 4.3, 0.01);
  EXPECT_TRUE(practice().data().countIn.enabled);
  EXPECT_EQ(attribute(BASS_ATTRIB_TEMPO), 0) << "tempo is not restored by default";

  // Other content, same size: nothing comes back.
  play(altered);
  EXPECT_EQ(engineLoop(), std::make_pair(0.0, 0.0));
  EXPECT_TRUE(practice().data().markers.isEmpty());
  EXPECT_FALSE(practice().data().countIn.enabled);

  // With the option on, the tempo and pitch come back too.
  QAction* remember = table().action(QStringLiteral("rememberTempoPitch"));
  ASSERT_TRUE(remember->isCheckable());
  EXPECT_FALSE(remember->isChecked());
  remember->trigger();
  f().player()->moveTo(f().sldTempo[0], 15);
  f().player()->moveTo(f().sldTempo[1], -3);
  practice().tick();
  practice().waitForDisk();
  play(data("first.mp3"));
  EXPECT_EQ(attribute(BASS_ATTRIB_TEMPO), 0);
  play(altered);
  EXPECT_EQ(attribute(BASS_ATTRIB_TEMPO), 15);
  EXPECT_EQ(attribute(BASS_ATTRIB_TEMPO_PITCH), -3);
  EXPECT_EQ(f().Frame3->title(), "Tempo + 15%");
}

TEST_F(PracticeTest, PracticeDialogAppliesAtOnceAndIsRememberedAsDefaults) {
  play(data("first.mp3"));
  PracticeDialog* dialog = practice().showDialog();
  EXPECT_FALSE(dialog->isModal());
  EXPECT_EQ(table().action(QStringLiteral("practice"))->shortcut(), QKeySequence("Ctrl+P"));
  dialog->setValues({false, -40, 5, 2, -10}, {false, 3, 4, 0, false});
  dialog->trainerBox()->setChecked(true);
  EXPECT_EQ(attribute(BASS_ATTRIB_TEMPO), -40) << "the trainer starts at once";
  EXPECT_EQ(f().sldTempo[0]->value(), -40);
  dialog->trainerBox()->setChecked(false);
  dialog->close();

  // The values (not the switch) are the next file's defaults.
  play(data("second.mp3"));
  EXPECT_FALSE(practice().data().trainer.enabled);
  EXPECT_EQ(practice().data().trainer.startTempo, -40);
  EXPECT_EQ(practice().data().trainer.targetTempo, -10);
}

}  // namespace
}  // namespace lentaro::testing
