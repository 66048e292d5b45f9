#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTimer>

#include "PlaylistTestSupport.h"

using namespace lentaro::playlist;
using namespace lentaro::playlist::testing;
using lentaro::MsgAnswer;
using lentaro::MsgButtons;
using lentaro::MsgIcon;

namespace {

QMimeData* urlData(const QStringList& paths) {
  auto* d = new QMimeData;
  QList<QUrl> urls;
  for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
  d->setUrls(urls);
  return d;
}

// Drops through the list widget, as a file manager would, and waits for the
// deferred adding to finish.
void drop(Rig& r, QMimeData* data) {
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton, {});
  QCoreApplication::sendEvent(r.view->viewport(), &enter);
  QDropEvent ev(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, {});
  QSignalSpy done(r.commands.get(), &PlaylistCommands::dropAdded);
  QCoreApplication::sendEvent(r.view->viewport(), &ev);
  if (ev.isAccepted()) done.wait(5000);
  delete data;
}

// Runs `step` from inside the next event processing, re-queued until it
// returns true.
void whenEventsRun(const std::function<bool()>& step) {
  QTimer::singleShot(0, qApp, [step] {
    if (!step()) whenEventsRun(step);
  });
}

}  // namespace

TEST(AddFilesDialog, AppendsThePickedPathsUnchangedInTheDialogsOrder) {
  Rig r;
  r.add({"/old.mp3"});
  r.commands->PushButton8_Click();  // cancelled
  EXPECT_EQ(rows(*r.view), QStringList({"/old.mp3"}));
  ASSERT_EQ(r.ui.fileRequests.size(), 1u);
  EXPECT_EQ(r.ui.fileRequests[0].title,
            "Add File(s) - Hold Ctrl or Shift to select multiple files");
  EXPECT_EQ(r.ui.fileRequests[0].filter, "MP3 Files (*.mp3)");
  EXPECT_TRUE(r.ui.fileRequests[0].multiSelect);

  r.ui.fileResults = {
      {"/m/z.mp3", "/m/a.mp3", "/m/~lock.MP3"}, {"/root.mp3", "/x.txt"}, {"/m/a.mp3"}};
  for (int i = 0; i < 3; ++i) r.commands->PushButton8_Click();
  EXPECT_EQ(rows(*r.view), QStringList({"/old.mp3", "/m/z.mp3", "/m/a.mp3", "/m/~lock.MP3",
                                        "/root.mp3", "/x.txt", "/m/a.mp3"}));
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST(AddFolderCommand, AddsLevelByLevelWithTheWalksFileRules) {
  Tree t;
  t.files({"top.mp3", "B/b1.mp3", "a/a1.MP3", "a/~skip.mp3", "a/x~keep.mp3", "a/deep/d.mp3",
           "a/.hidden.mp3", "a/.ro.mp3", "a/notes.txt", "a/song.mp3.txt", "b2/z.mp3",
           "bad\x02/hidden-below.mp3"});
  ::chmod(QFile::encodeName(t.path("a/.ro.mp3")).constData(), 0444);
  ::mkfifo(QFile::encodeName(t.path("a/.pipe.mp3")).constData(), 0644);
  t.dir("a/folder.mp3");
  Rig r;
  r.ui.folderResults = {t.root(), t.root() + "/"};
  r.commands->PushButton4_Click();
  const QStringList once = t.paths({"top.mp3", "a/.pipe.mp3", "a/.ro.mp3", "a/a1.MP3",
                                    "a/x~keep.mp3", "B/b1.mp3", "b2/z.mp3", "a/deep/d.mp3"});
  EXPECT_EQ(rows(*r.view), once);
  EXPECT_EQ(r.ui.folderTitles, QStringList({"Please select folder:"}));
  EXPECT_EQ(r.busy.history, std::vector<int>({11, 0}));
  r.commands->PushButton4_Click();  // the same folder again: every file twice
  EXPECT_EQ(rows(*r.view), once + once);
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST(AddFolderCommand, CancelOrNothingFoundChangesNothingVisible) {
  Tree t;
  t.files({"x.txt", "sub/y.wav"});
  Rig r;
  r.commands->PushButton4_Click();  // cancelled
  EXPECT_TRUE(r.busy.history.empty());
  r.ui.folderResults = {t.root()};
  r.commands->PushButton4_Click();
  EXPECT_EQ(r.view->Count(), 0);
  EXPECT_EQ(r.busy.value, 0);
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST(AddFolderCommand, ClearDuringAWalkEmptiesAtOnceAndMovesAndDeleteAreRefused) {
  Tree t;
  for (int i = 0; i < 5; ++i) t.file(QString("f%1/song.mp3").arg(i));
  Rig r;
  r.add({"/keep1.mp3", "/keep2.mp3", "/keep3.mp3"});
  r.view->Select(2);
  r.ui.folderResults = {t.root()};
  int busyAtClear = -1;
  QStringList afterRefusals;
  whenEventsRun([&] {
    if (r.view->Count() < 4) return false;  // wait for the walk's first row
    busyAtClear = r.busy.value;
    r.commands->PushButton5_Click();
    r.commands->PushButton6_Click();
    r.commands->ListView1_KeyDown(Qt::Key_Delete, {});
    r.commands->ListView1_MouseMove(Qt::NoButton, {});  // the wait pointer stays
    afterRefusals = rows(*r.view);
    r.commands->PushButton9_Click();
    return true;
  });
  r.commands->PushButton4_Click();
  EXPECT_EQ(busyAtClear, 11);
  EXPECT_EQ(afterRefusals,
            QStringList({"/keep1.mp3", "/keep2.mp3", "/keep3.mp3", t.path("f0/song.mp3")}));
  EXPECT_EQ(rows(*r.view), t.paths({"f1/song.mp3", "f2/song.mp3", "f3/song.mp3", "f4/song.mp3"}));
  EXPECT_EQ(r.view->SelectedItem()->Index, 1);  // the emptied list selects its new first row
  EXPECT_EQ(r.busy.history, std::vector<int>({11, 0}));
}

TEST(DropOnList, FilesAreTakenAsTheyAreAndFoldersAreWalkedForEveryType) {
  Tree t;
  t.files({"one/song.mp3", "one/cover.jpg", "one/~lock.tmp", "one/.hid", "one/sub/more.txt",
           "two/x.wav", "loose/notes.txt", "loose/~a.mp3"});
  Rig r;
  r.add({"/old.mp3"});
  drop(r, urlData({t.path("one"), t.path("loose/notes.txt"), t.path("two/"), t.path("loose/~a.mp3"),
                   "/not/there.mp3", t.path("loose/notes.txt")}));
  EXPECT_EQ(rows(*r.view), QStringList({"/old.mp3"}) +
                               t.paths({"one/cover.jpg", "one/song.mp3", "one/sub/more.txt",
                                        "loose/notes.txt", "two/x.wav", "loose/~a.mp3"}) +
                               QStringList({"/not/there.mp3"}) + t.paths({"loose/notes.txt"}));
  EXPECT_TRUE(r.busy.history.empty());  // a drop shows no wait pointer
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST(DropOnList, DataWithoutLocalFilesIsRefused) {
  Rig r;
  QMimeData text;
  text.setText("/looks/like/a/path.mp3");
  QMimeData web;
  web.setUrls({QUrl("https://example.org/a.mp3")});
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile("/a.mp3")});
  for (QMimeData* d : {&text, &web, &files}) {
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, d, Qt::LeftButton, {});
    QCoreApplication::sendEvent(r.view->viewport(), &enter);
    EXPECT_EQ(enter.isAccepted(), d == &files);
  }
  auto* webDrop = new QMimeData;
  webDrop->setUrls({QUrl("https://example.org/a.mp3")});
  drop(r, webDrop);
  QCoreApplication::processEvents();
  EXPECT_EQ(r.view->Count(), 0);
}

TEST(SampleFiles, EveryFileIsAddedEachClickThenTheFolderIsOffered) {
  Tree app;
  app.files({"Samples/piano.mp3", "Samples/voice.mp3", "Samples/~note.txt"});
  Rig r(app.root());
  r.ui.answers = {MsgAnswer::No, MsgAnswer::Yes};
  r.commands->PushButton10_Click();
  r.commands->PushButton10_Click();
  const QStringList once =
      app.paths({"Samples/piano.mp3", "Samples/voice.mp3", "Samples/~note.txt"});
  EXPECT_EQ(rows(*r.view), once + once);
  EXPECT_EQ(r.view->SelectedItem()->Index, 1);
  ASSERT_EQ(r.ui.messages.size(), 2u);
  EXPECT_EQ(r.ui.messages[0].text,
            "Would you like this software to open the folder where these sample files are "
            "stored (so that you can view them before working with them)?");
  EXPECT_EQ(r.ui.messages[0].title, "Lentaro");
  EXPECT_EQ(r.ui.messages[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(r.ui.messages[0].icon, MsgIcon::None);
  EXPECT_EQ(r.ui.openedFolders, QStringList({app.path("Samples/")}));  // only after Yes

  Rig bare(app.path("nowhere"));
  bare.commands->PushButton10_Click();  // no folder: no rows, the question all the same
  EXPECT_EQ(bare.view->Count(), 0);
  EXPECT_EQ(bare.ui.messages.size(), 1u);
}
