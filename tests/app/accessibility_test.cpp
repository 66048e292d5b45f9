// What assistive technology and the desktop see: sliders moved through the
// accessibility interface are the user's moves (captions, tips, engine),
// the program's own value changes are not; the window is an application
// window and the list describes itself; the adding dialogs open where the
// user last added from.
#include <QAccessible>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "DesktopFixture.h"
#include "playback/ThumbTip.h"

namespace lentaro::testing {
namespace {

// What a screen reader does: set a value, or take an action.
void setValue(QSlider* slider, int value) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(slider);
  QAccessibleValueInterface* v = a ? a->valueInterface() : nullptr;
  ASSERT_NE(v, nullptr) << slider->objectName().toStdString();
  EXPECT_EQ(a->role(), QAccessible::Slider);
  v->setCurrentValue(value);
}

void act(QSlider* slider, bool increase) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(slider);
  QAccessibleActionInterface* actions = a ? a->actionInterface() : nullptr;
  ASSERT_NE(actions, nullptr) << slider->objectName().toStdString();
  actions->doAction(increase ? QAccessibleActionInterface::increaseAction()
                             : QAccessibleActionInterface::decreaseAction());
}

TEST_F(DesktopTest, ScreenReaderSetsEachSliderAsTheUserMovesIt) {
  add("first.mp3");
  f().PushButton1->click();
  refresh();
  setValue(f().sldTempo[0], 25);
  EXPECT_EQ(f().Frame3->title(), QStringLiteral("Tempo + 25%"));
  EXPECT_EQ(playback::ThumbTip::textOf(f().sldTempo[0]), QStringLiteral("25%"));
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), 25.0f);

  setValue(f().sldTempo[1], -3);
  EXPECT_EQ(f().Frame1->title(), QStringLiteral("Pitch  = -3 semitones"));
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO_PITCH), -3.0f);

  setValue(f().sldVolume, 40);
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_VOL), 0.4f);

  setValue(f().Slider1, 12);
  EXPECT_NEAR(position(), 12.0, 0.05);
  EXPECT_TRUE(f().Timer2->isActive());  // the refresh goes on afterwards
  refresh();
  EXPECT_EQ(f().Label3->text(), QStringLiteral("Time: 00:12"));

  setValue(f().sldTempo[0], 900);  // as far as the slider goes
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), 200.0f);
}

TEST_F(DesktopTest, IncreaseAndDecreaseActionsAreUserMoves) {
  add("first.mp3");
  f().PushButton1->click();
  act(f().sldTempo[0], true);
  act(f().sldTempo[0], true);
  EXPECT_EQ(f().Frame3->title(), QStringLiteral("Tempo + 2%"));
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), 2.0f);
  act(f().sldTempo[1], false);
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO_PITCH), -1.0f);
  act(f().sldVolume, false);
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_VOL), 0.99f);

  render(3.0);
  refresh();
  refresh();
  act(f().Slider1, true);
  EXPECT_NEAR(position(), 4.0, 0.05);
  act(f().Slider1, false);
  EXPECT_NEAR(position(), 3.0, 0.05);

  // A disabled slider cannot be moved by anyone.
  f().sldTempo[0]->setEnabled(false);
  act(f().sldTempo[0], true);
  setValue(f().sldTempo[0], 50);
  EXPECT_EQ(f().sldTempo[0]->value(), 2);
}

TEST_F(DesktopTest, TheProgramsOwnValueChangesAreNoUserMoves) {
  add("first.mp3");
  f().PushButton1->click();
  setValue(f().sldTempo[0], 10);
  f().sldTempo[0]->setValue(50);
  EXPECT_EQ(f().Frame3->title(), QStringLiteral("Tempo + 10%"));
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), 10.0f);

  // The refresh shows 2.6 s of output (2.86 s of the file at +10 %) as
  // 3 and leaves the sound where it is.
  render(2.6);
  const double playing = position();
  refresh();
  refresh();  // the first one sets the range after the value
  ASSERT_EQ(f().Slider1->value(), 3);
  EXPECT_DOUBLE_EQ(position(), playing);

  // The reset of the display (as at Stop) does not seek either.
  f().Slider1->setValue(0);
  EXPECT_DOUBLE_EQ(position(), playing);
  EXPECT_EQ(f().Timer2->interval(), playback::Playback::kRefreshMs);
}

TEST_F(DesktopTest, WindowIsAnApplicationWindowAndTheListDescribesItself) {
  f().hWnd();
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(frame());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->role(), QAccessible::Window);
  EXPECT_EQ(window->text(QAccessible::Name), QStringLiteral("Lentaro"));

  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(f().ListView1);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->text(QAccessible::Name), QStringLiteral("MP3 File(s)"));
  EXPECT_TRUE(list->text(QAccessible::Description).contains("Double-click a file to play it"));
}

QString musicOrHome() {
  const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  return QFileInfo(music).isDir() ? music : QDir::homePath();
}

TEST_F(DesktopTest, AddingDialogsOpenWhereTheUserLastAddedFrom) {
  QTemporaryDir root;
  ASSERT_TRUE(QDir(root.path()).mkpath("a") && QDir(root.path()).mkpath("b"));
  const QString a = root.filePath("a"), b = root.filePath("b");

  f().PushButton8->click();  // first time, cancelled: nothing remembered
  f().PushButton4->click();
  EXPECT_EQ(ui.fileRequests.back().startFolder, musicOrHome());
  EXPECT_EQ(ui.folderStartFolders, QStringList{musicOrHome()});

  ui.fileResults.push_back({a + "/one.mp3", a + "/two.mp3"});
  f().PushButton8->click();  // picks two files in a
  f().PushButton4->click();
  EXPECT_EQ(ui.folderStartFolders.back(), a);

  ui.folderResults.push_back(b);
  table().trigger("addFolder");  // chooses b
  f().PushButton8->click();
  EXPECT_EQ(ui.fileRequests.back().startFolder, b);

  // The output folder's browser is not an adding dialog.
  f().PushButton3->click();
  EXPECT_EQ(ui.folderStartFolders.size(), 3);
  EXPECT_EQ(ui.folderTitles.size(), 4);

  QDir(b).removeRecursively();  // a remembered folder that is gone counts as none
  f().PushButton8->click();
  EXPECT_EQ(ui.fileRequests.back().startFolder, musicOrHome());
}

}  // namespace
}  // namespace lentaro::testing
