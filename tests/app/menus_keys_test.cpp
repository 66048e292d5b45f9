// The menu bar and the status bar around the controls' area, the commands'
// default keys and their effect on the captions and the engine, the keys a
// focused control keeps, and the keyboard shortcuts dialog.
#include <QAccessible>
#include <QAction>
#include <QGroupBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <map>

#include "DesktopFixture.h"
#include "app/ShortcutsDialog.h"
#include "playback/ThumbTip.h"

namespace lentaro::testing {
namespace {

QStringList entriesOf(QAction* menu) {
  QStringList texts;
  for (QAction* a : menu->menu()->actions()) texts << (a->isSeparator() ? "--" : a->text());
  return texts;
}

QList<QKeySequence> keys(std::initializer_list<const char*> portable) {
  QList<QKeySequence> out;
  for (const char* k : portable) out << QKeySequence(QString::fromLatin1(k));
  return out;
}

void press(QWidget* target, const char* key) {
  const QKeyCombination k = QKeySequence(QString::fromLatin1(key))[0];
  QTest::keyClick(target, k.key(), k.keyboardModifiers());
}

TEST_F(DesktopTest, OuterWindowIsTheControlsAreaBetweenAMenuBarAndAStatusLine) {
  f().hWnd();
  QMainWindow* w = frame();
  ASSERT_EQ(f().window(), w);
  const int menuHeight = w->menuBar()->height();
  const int statusHeight = w->statusBar()->height();
  EXPECT_EQ(f().size(), QSize(536, 657));
  EXPECT_EQ(f().geometry().topLeft(), QPoint(0, menuHeight));
  EXPECT_EQ(w->size(), QSize(536, menuHeight + 657 + statusHeight));
  EXPECT_EQ(statusHeight, menuHeight);  // one line; the area lies at half the extra height
  EXPECT_EQ(w->minimumSize(), w->maximumSize());
  EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Lentaro"));

  const QList<QAction*> menus = w->menuBar()->actions();
  ASSERT_EQ(menus.size(), 3);
  EXPECT_EQ(menus[0]->text() + menus[1]->text() + menus[2]->text(), "&File&Playback&Help");
  EXPECT_EQ(entriesOf(menus[0]),
            (QStringList{"Add MP3 File(s)...", "Add All MP3 File(s) In Folder...",
                         "Load Sample/Example Files", "Export...", "--", "Quit"}));
  EXPECT_EQ(entriesOf(menus[1]), (QStringList{"Play/Pause",
                                              "Stop",
                                              "Play and Record",
                                              "--",
                                              "Tempo Faster by 1",
                                              "Tempo Slower by 1",
                                              "Tempo Faster by 5",
                                              "Tempo Slower by 5",
                                              "--",
                                              "Pitch Up One Semitone",
                                              "Pitch Down One Semitone",
                                              "--",
                                              "Volume Up",
                                              "Volume Down",
                                              "--",
                                              "Back 5 s",
                                              "Forward 5 s",
                                              "--",
                                              "Loop Start Here",
                                              "Loop End Here",
                                              "Clear Loop / Loop the Whole File",
                                              "Loop Start 10 ms Earlier",
                                              "Loop Start 10 ms Later",
                                              "Loop Start 100 ms Earlier",
                                              "Loop Start 100 ms Later",
                                              "Loop End 10 ms Earlier",
                                              "Loop End 10 ms Later",
                                              "Loop End 100 ms Earlier",
                                              "Loop End 100 ms Later",
                                              "--",
                                              "Add Marker",
                                              "Back Off One Step",
                                              "Practice...",
                                              "Remember Tempo and Pitch per File",
                                              "--",
                                              "Sound quality"}));
  EXPECT_EQ(entriesOf(menus[2]), (QStringList{"Keyboard Shortcuts...", "About Lentaro"}));
}

// A command added later (an Export... in File) takes its place before Quit.
TEST(ActionTable, ALaterCommandTakesItsPlaceInItsMenu) {
  QWidget window;
  QMenuBar bar;
  ActionTable table(&window);
  table.add({"add", "&File", "Add", {}, false, false, {}});
  table.add({"quit", "&File", "Quit", {}, true, false, {}});
  table.add({"export", "&File", "Export...", {}, false, false, {}}, "quit");
  table.buildMenus(&bar);
  EXPECT_EQ(entriesOf(bar.actions().value(0)), (QStringList{"Add", "Export...", "--", "Quit"}));
  EXPECT_EQ(window.actions().size(), 3);  // their keys work in the window
}

// An entry and its button, given the same dialog answers, do the same.
TEST_F(DesktopTest, FileEntriesRunWhatTheirButtonsRun) {
  ui.fileResults = {{"/songs/a.mp3"}, {"/songs/a.mp3"}};
  f().PushButton8->click();
  table().trigger("addFiles");
  ASSERT_EQ(ui.fileRequests.size(), 2u);
  EXPECT_EQ(ui.fileRequests[0].title, ui.fileRequests[1].title);
  EXPECT_EQ(f().ListView1->Count(), 2);
  table().trigger("addFolder");
  EXPECT_EQ(ui.folderTitles, QStringList{"Please select folder:"});

  table().trigger("loadSamples");
  const int samples = f().ListView1->Count() - 2;
  EXPECT_GT(samples, 0);
  f().PushButton10->click();
  EXPECT_EQ(f().ListView1->Count(), 2 + 2 * samples);
  ASSERT_EQ(ui.messages.size(), 2u);  // the question about opening the folder, twice
  EXPECT_EQ(ui.messages[0].text, ui.messages[1].text);
}

TEST_F(DesktopTest, PlayPauseAndStopKeysRunThePlayButtonsBranches) {
  showActive();
  QWidget* list = f().ListView1;
  list->setFocus();
  press(list, "Space");  // empty list: what the button says
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Add song first."));
  const auto active = [this] { return BASS_ChannelIsActive(channel()); };

  add("first.mp3");
  press(list, "Space");
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Stop"));
  EXPECT_EQ(active(), DWORD(BASS_ACTIVE_PLAYING));
  EXPECT_EQ(frame()->findChild<QLabel*>("statusLine")->text(), QStringLiteral("Playing: first"));
  render(1.0);
  press(list, "Space");  // pauses, where the button would stop
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Play"));
  EXPECT_EQ(active(), DWORD(BASS_ACTIVE_PAUSED));
  const DWORD paused = channel();
  press(list, "Space");  // the same channel goes on
  EXPECT_EQ(channel(), paused);
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Stop"));
  EXPECT_NEAR(position(), 1.0, 0.1);

  press(list, "S");
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Play"));
  EXPECT_EQ(f().Label3->text(), QStringLiteral("Time: "));
  EXPECT_TRUE(f().playback_->state().PlayRestart);
  EXPECT_EQ(active(), DWORD(BASS_ACTIVE_STOPPED));

  // Stop from a pause ends it too; with nothing playing it does nothing.
  press(list, "Space");
  press(list, "Space");
  ASSERT_EQ(active(), DWORD(BASS_ACTIVE_PAUSED));
  press(list, "S");
  EXPECT_EQ(active(), DWORD(BASS_ACTIVE_STOPPED));
  EXPECT_TRUE(f().playback_->state().PlayRestart);
  f().Label2->setText("Total Time: 00:30");
  press(list, "S");
  EXPECT_EQ(f().Label2->text(), QStringLiteral("Total Time: 00:30"));

  // After a double-click the button reads "Pause"; Stop still stops.
  Q_EMIT f().ListView1->DblClick(1);
  ASSERT_EQ(f().PushButton1->text(), QStringLiteral("Pause"));
  press(list, "S");
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Play"));
  EXPECT_EQ(active(), DWORD(BASS_ACTIVE_STOPPED));
  EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(DesktopTest, TempoPitchAndVolumeKeysAreUserMovesOfTheirSliders) {
  add("first.mp3");
  showActive();
  f().PushButton1->click();
  QWidget* list = f().ListView1;
  list->setFocus();

  for (const char* key : {"+", "=", "Ctrl++"}) press(list, key);
  EXPECT_EQ(f().sldTempo[0]->value(), 7);
  EXPECT_EQ(f().Frame3->title(), QStringLiteral("Tempo + 7%"));
  EXPECT_EQ(playback::ThumbTip::textOf(f().sldTempo[0]), QStringLiteral("7%"));
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), 7.0f);
  EXPECT_EQ(frame()->statusBar()->currentMessage(), QStringLiteral("Tempo + 7%"));
  for (const char* key : {"-", "Ctrl+-", "Ctrl+-"}) press(list, key);
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), -4.0f);

  for (const char* key : {"Ctrl+Up", "Ctrl+Up", "Ctrl+Down"}) press(list, key);
  EXPECT_EQ(f().Frame1->title(), QStringLiteral("Pitch  = 1 semitones"));
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO_PITCH), 1.0f);

  press(list, "Ctrl+Shift+Down");
  press(list, "Ctrl+Shift+Down");
  EXPECT_EQ(f().sldVolume->value(), 90);
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_VOL), 0.9f);
  EXPECT_EQ(frame()->statusBar()->currentMessage(), QStringLiteral("Volume 90%"));
  // Up alone where the focused control has no use for it.
  f().PushButton9->setFocus();
  press(f().PushButton9, "Up");
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_VOL), 0.95f);
}

TEST_F(DesktopTest, SeekKeysMoveThePositionSliderAndTheChannel) {
  add("first.mp3");
  showActive();
  QWidget* button = f().PushButton1;
  button->setFocus();
  press(button, "Right");  // nothing plays: nothing to seek
  EXPECT_EQ(f().Slider1->value(), 0);

  f().PushButton1->click();
  press(button, "Right");
  EXPECT_EQ(f().Slider1->value(), 5);
  EXPECT_NEAR(position(), 5.0, 0.05);
  EXPECT_EQ(frame()->statusBar()->currentMessage(), QStringLiteral("Time: 00:05"));
  for (const char* key : {"Right", "Alt+Right", "Left"}) press(button, key);
  EXPECT_NEAR(position(), 10.0, 0.05);
  render(2.0);
  press(f().ListView1, "Alt+Left");  // from where it plays now, 12 s
  EXPECT_NEAR(position(), 7.0, 0.05);
  for (int i = 0; i < 4; ++i) press(button, "Left");
  EXPECT_NEAR(position(), 0.0, 0.05);
}

TEST_F(DesktopTest, FocusedControlsKeepTheKeysTheyUse) {
  add("first.mp3");
  add("second.mp3");
  add("first.mp3");
  showActive();
  // Delete given to Stop as well: the list keeps it.
  ASSERT_EQ(table().setKeys("stop", keys({"Delete"})), QString());
  f().PushButton1->click();
  playlist::PlaylistView* list = f().ListView1;
  list->setFocus();
  list->Select(1);

  for (const char* key : {"Down", "Down", "Up"}) press(list, key);
  EXPECT_EQ(list->SelectedItem()->Index, 2);
  EXPECT_EQ(f().sldVolume->value(), 100);
  press(list, "Delete");
  EXPECT_EQ(list->Count(), 2);
  EXPECT_EQ(BASS_ChannelIsActive(channel()), DWORD(BASS_ACTIVE_PLAYING));
  press(list, "Right");  // the list's, not a seek
  EXPECT_NEAR(position(), 0.0, 0.05);

  QSlider* tempo = f().sldTempo[0];
  tempo->setFocus();
  press(tempo, "Right");  // the slider's own step, still a user's move
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), 1.0f);
  EXPECT_NEAR(position(), 0.0, 0.05);

  // Space presses the focused button; Move Down moves the selected row.
  list->Select(1);
  f().PushButton6->setFocus();
  press(f().PushButton6, "Space");
  EXPECT_EQ(list->SelectedItem()->Index, 2);
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Stop"));
}

TEST_F(DesktopTest, ShortcutsDialogReassignsAndClearsKeysAndTheyAreKept) {
  add("first.mp3");
  showActive();
  ShortcutsDialog* dialog = f().showShortcutsDialog();
  EXPECT_FALSE(dialog->isModal());
  EXPECT_EQ(f().showShortcutsDialog(), dialog);  // one at a time
  for (const QString& id : table().ids())
    EXPECT_EQ(dialog->editor(id, 0)->keySequence(), table().keys(id).value(0));
  QKeySequenceEdit* stopKey = dialog->editor("stop", 0);
  stopKey->setKeySequence(QKeySequence("P"));
  Q_EMIT stopKey->editingFinished();
  EXPECT_EQ(table().keys("stop"), keys({"P", "Media Stop"}));

  frame()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame()));
  f().PushButton1->click();
  press(f().ListView1, "S");
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Stop"));  // S is nobody's now
  press(f().ListView1, "P");
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Play"));

  // Cleared with the field's clear button: the alternate moves up.
  stopKey->clear();
  QCoreApplication::processEvents();
  EXPECT_EQ(stopKey->keySequence(), QKeySequence("Media Stop"));
  stopKey->clear();
  QCoreApplication::processEvents();
  EXPECT_TRUE(table().keys("stop").isEmpty());
  dialog->editor("playPause", 1)->setKeySequence(QKeySequence("S"));
  Q_EMIT dialog->editor("playPause", 1)->editingFinished();
  EXPECT_TRUE(ui.messages.empty());

  // A new start finds them as they were left; untouched commands store nothing.
  form.reset();
  BASS_Free();
  start();
  EXPECT_TRUE(table().keys("stop").isEmpty());
  EXPECT_EQ(table().keys("playPause"), keys({"Space", "S"}));
  QSettings settings = lentaroTestSettings();
  EXPECT_EQ(settings.value("Shortcuts/playPause").toStringList(), (QStringList{"Space", "S"}));
  EXPECT_FALSE(settings.contains("Shortcuts/pitchUp"));
}

TEST_F(DesktopTest, ShortcutsDialogRefusesAKeyAnotherCommandHolds) {
  ShortcutsDialog* dialog = f().showShortcutsDialog();
  QKeySequenceEdit* edit = dialog->editor("playPause", 0);
  edit->setKeySequence(QKeySequence("Ctrl+Up"));  // Pitch Up's
  Q_EMIT edit->editingFinished();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].icon, MsgIcon::Exclamation);
  const QString text = ui.messages[0].text;
  EXPECT_TRUE(text.contains("Pitch Up One Semitone") &&
              text.contains(QKeySequence("Ctrl+Up").toString(QKeySequence::NativeText)))
      << text.toStdString();
  EXPECT_EQ(edit->keySequence(), QKeySequence("Space"));
  EXPECT_EQ(table().keys("playPause"), keys({"Space", "Media Play"}));
  EXPECT_EQ(table().keys("pitchUp"), keys({"Ctrl+Up"}));
  EXPECT_FALSE(lentaroTestSettings().contains("Shortcuts/playPause"));
}

TEST_F(DesktopTest, ResetToDefaultsGivesBackEveryKeyAndForgetsTheStoredOnes) {
  std::map<QString, QList<QKeySequence>> defaults;
  for (const QString& id : table().ids()) defaults[id] = table().keys(id);
  ShortcutsDialog* dialog = f().showShortcutsDialog();
  ASSERT_EQ(table().setKeys("stop", {}), QString());
  ASSERT_EQ(table().setKeys("playPause", keys({"S"})), QString());
  ASSERT_EQ(table().setKeys("about", keys({"F1"})), QString());
  EXPECT_EQ(dialog->editor("about", 0)->keySequence(), QKeySequence("F1"));

  dialog->resetButton()->click();
  for (const QString& id : table().ids())
    EXPECT_EQ(table().keys(id), defaults[id]) << id.toStdString();
  EXPECT_EQ(dialog->editor("stop", 0)->keySequence(), QKeySequence("S"));
  QSettings settings = lentaroTestSettings();
  settings.beginGroup("Shortcuts");
  EXPECT_TRUE(settings.childKeys().isEmpty());
}

// A key the user stored wins over another command's default at the start.
class StoredKeysTest : public DesktopTest {
 protected:
  void prepareSettings() override {
    lentaroTestSettings().setValue("Shortcuts/stop", QStringList{"Space"});
  }
};

TEST_F(StoredKeysTest, StoredKeysWinOverDefaultsAtTheStart) {
  EXPECT_EQ(table().keys("stop"), keys({"Space"}));
  EXPECT_EQ(table().keys("playPause"), keys({"Media Play"}));
}

TEST_F(DesktopTest, AboutNamesTheVersionTheLicenceAndTheLibraries) {
  table().trigger("about");
  ASSERT_EQ(ui.messages.size(), 1u);
  for (const char* part : {"Lentaro 1.0.0", "GPL-3.0-or-later", "Qt 6", "SDL2", "libmpg123",
                           "libsndfile", "libopenmpt", "SoundTouch", "Rubber Band", "LAME"})
    EXPECT_TRUE(ui.messages[0].text.contains(QString::fromLatin1(part))) << part;
}

}  // namespace
}  // namespace lentaro::testing
