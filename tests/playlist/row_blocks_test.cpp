// Rows arrive in blocks: AddRows appends many rows in one insertion, and
// the folder scans hand the list every row found since the last pass of
// the event loop just before the next one, so the list fills as it goes.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTimer>
#include <utility>
#include <vector>

#include "PlaylistTestSupport.h"
#include "playlist/PlaylistModel.h"

using namespace lentaro::playlist;
using namespace lentaro::playlist::testing;

namespace {

using Block = std::pair<int, int>;  // first and last row, 0-based

std::vector<Block> blocks(const QSignalSpy& inserted) {
  std::vector<Block> out;
  for (const QList<QVariant>& call : inserted) out.emplace_back(call[1].toInt(), call[2].toInt());
  return out;
}

}  // namespace

TEST(RowBlocks, AddRowsAppendsInOneInsertionAndSelectsLikeAdd) {
  PlaylistView v;
  QSignalSpy inserted(&v.listModel(), &QAbstractItemModel::rowsInserted);
  v.AddRows({});
  EXPECT_EQ(inserted.count(), 0);
  EXPECT_FALSE(v.SelectedItem());

  v.AddRows({"/a.mp3", "/b.mp3", "/c.mp3"});
  EXPECT_EQ(rows(v), QStringList({"/a.mp3", "/b.mp3", "/c.mp3"}));
  EXPECT_EQ(blocks(inserted), std::vector<Block>({{0, 2}}));
  EXPECT_EQ(v.SelectedItem()->Index, 1);  // into the empty list: its first row

  v.Select(2);
  v.AddRows({"/d.mp3", "/e.mp3"});
  EXPECT_EQ(rows(v), QStringList({"/a.mp3", "/b.mp3", "/c.mp3", "/d.mp3", "/e.mp3"}));
  EXPECT_EQ(blocks(inserted), std::vector<Block>({{0, 2}, {3, 4}}));
  EXPECT_EQ(v.SelectedItem()->Index, 2);  // otherwise the selection stays
}

TEST(RowBlocks, EveryEventPassSeesTheRowsOfTheFoldersListedBeforeIt) {
  Tree t;
  t.files({"a/1.mp3", "a/2.mp3", "b/3.mp3", "c/x.txt", "d/4.mp3"});
  Rig r;  // a pass before every folder
  QSignalSpy inserted(&r.view->listModel(), &QAbstractItemModel::rowsInserted);
  std::vector<int> countsAtPasses;
  QTimer watch;
  watch.setInterval(0);
  QObject::connect(&watch, &QTimer::timeout, [&] { countsAtPasses.push_back(r.view->Count()); });
  watch.start();
  r.ui.folderResults = {t.root()};
  r.commands->PushButton4_Click();
  watch.stop();
  EXPECT_EQ(rows(*r.view), t.paths({"a/1.mp3", "a/2.mp3", "b/3.mp3", "d/4.mp3"}));
  // One block per folder with files: handed over at the pass after it.
  EXPECT_EQ(blocks(inserted), std::vector<Block>({{0, 1}, {2, 2}, {3, 3}}));
  // The listing's passes come last: before the root, a, b, c and d.
  ASSERT_GE(countsAtPasses.size(), 5u);
  EXPECT_EQ(std::vector<int>(countsAtPasses.end() - 5, countsAtPasses.end()),
            std::vector<int>({0, 0, 2, 3, 3}));
  EXPECT_EQ(r.view->SelectedItem()->Index, 1);
}
