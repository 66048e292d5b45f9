#include <gtest/gtest.h>

#include <QHeaderView>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "playlist/PlaylistView.h"

using lentaro::playlist::PlaylistView;

namespace {

QStringList texts(const PlaylistView& v) {
  QStringList out;
  for (int i = 1; i <= v.Count(); ++i) out << v.Text(i);
  return out;
}

int selected(const PlaylistView& v) {
  const auto s = v.SelectedItem();
  return s ? s->Index : 0;
}

QPoint rowCentre(const PlaylistView& v, int position) {
  return v.visualRect(v.model()->index(position - 1, 0)).center();
}

}  // namespace

TEST(PlaylistView, RowsKeepOrderAndDuplicatesAndOnlyTheFirstOfAnEmptyListIsSelected) {
  PlaylistView v;
  EXPECT_FALSE(v.SelectedItem());
  v.Add("/m/a.mp3");
  EXPECT_EQ(selected(v), 1);
  v.Add("/m/b.mp3");
  v.Add("/m/a.mp3");
  EXPECT_EQ(texts(v), QStringList({"/m/a.mp3", "/m/b.mp3", "/m/a.mp3"}));
  v.Select(3);
  v.Add(1, "/top.mp3");  // inserting above moves the selected row with it
  EXPECT_EQ(v.SelectedItem()->Index, 4);
  EXPECT_EQ(v.SelectedItem()->Text, "/m/a.mp3");
  v.Add(v.Count() + 1, "/end.mp3");
  EXPECT_EQ(v.Text(5), "/end.mp3");
  EXPECT_THROW(v.Add(7, "x"), std::out_of_range);
  EXPECT_THROW(v.Remove(0), std::out_of_range);

  v.Remove(4);
  EXPECT_EQ(texts(v), QStringList({"/top.mp3", "/m/a.mp3", "/m/b.mp3", "/end.mp3"}));
  v.Clear();
  EXPECT_EQ(v.Count(), 0);
  v.Add(1, "/again.mp3");
  EXPECT_EQ(selected(v), 1);
}

TEST(PlaylistView, RowReferencesFollowTheirRowAndGoStaleWhenItLeaves) {
  PlaylistView v;
  for (const char* t : {"a", "b", "c"}) v.Add(t);
  const auto b = v.Item(2);
  v.Add(1, "z");
  EXPECT_EQ(v.PositionOf(b), 3);
  v.Remove(1);
  EXPECT_EQ(v.PositionOf(b), 2);
  v.Remove(2);
  EXPECT_EQ(v.PositionOf(b), 0);
  const auto c = v.Item(2);
  v.Clear();
  EXPECT_EQ(v.PositionOf(c), 0);
  EXPECT_EQ(v.PositionOf(v.Item(1)), 0);  // no row, no reference
}

TEST(PlaylistView, ColumnIsNarrowerThanTheListAndWidensPastIt) {
  PlaylistView v;
  v.resize(PlaylistView::kWidthPx, PlaylistView::kHeightPx);
  v.AddColumnHeader("MP3 File(s)");
  v.SetColumnWidth(6500);
  EXPECT_EQ(v.model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "MP3 File(s)");
  EXPECT_EQ(v.header()->sectionSize(0), 433);
  EXPECT_TRUE(v.toolTip().startsWith("Drag and drop files here. "));
  EXPECT_TRUE(v.toolTip().endsWith(" Move bar to right and out of window to reveal full names."));
  v.Add(QString(300, 'x'));
  v.show();
  v.header()->resizeSection(0, 2000);  // the user drags the divider
  QCoreApplication::processEvents();
  EXPECT_EQ(v.header()->sectionSize(0), 2000);
  EXPECT_GT(v.horizontalScrollBar()->maximum(), 0);
}

TEST(PlaylistView, HitTestAndEnsureVisibleWorkInViewportCoordinates) {
  PlaylistView v;
  v.resize(PlaylistView::kWidthPx, PlaylistView::kHeightPx);
  for (int i = 1; i <= 500; ++i) v.Add(QString::number(i));
  v.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(v.HitTest(rowCentre(v, 2)), 2);
  v.horizontalScrollBar()->setValue(0);
  v.EnsureVisible(400);
  EXPECT_TRUE(v.viewport()->rect().contains(rowCentre(v, 400)));
  EXPECT_EQ(v.HitTest(rowCentre(v, 400)), 400);
  PlaylistView few;
  few.resize(300, 300);
  few.Add("only");
  few.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(few.HitTest(QPoint(10, 250)), 0);  // below the last row
}

TEST(PlaylistView, RaisesKeyAndMouseEventsAndKeepsItsOwnArrowKeys) {
  PlaylistView v;
  v.resize(300, 200);
  for (const char* t : {"a", "b", "c"}) v.Add(t);
  v.show();
  QCoreApplication::processEvents();
  QSignalSpy keys(&v, &PlaylistView::KeyDown), downs(&v, &PlaylistView::MouseDown),
      clicks(&v, &PlaylistView::ItemClick), moves(&v, &PlaylistView::MouseMove),
      ups(&v, &PlaylistView::MouseUp), dbl(&v, &PlaylistView::DblClick);

  QTest::keyClick(&v, Qt::Key_Down);
  EXPECT_EQ(selected(v), 2);
  QTest::keyClick(&v, Qt::Key_Delete);
  EXPECT_EQ(v.Count(), 3);  // the view alone removes nothing
  ASSERT_EQ(keys.size(), 2);
  EXPECT_EQ(keys.at(1).at(0).toInt(), int(Qt::Key_Delete));

  QTest::mousePress(v.viewport(), Qt::RightButton, {}, rowCentre(v, 3));
  EXPECT_EQ(downs.size(), 1);
  ASSERT_EQ(clicks.size(), 1);
  EXPECT_EQ(clicks.at(0).at(0).toInt(), 3);
  QMouseEvent move(QEvent::MouseMove, QPointF(rowCentre(v, 1)), QPointF(rowCentre(v, 1)),
                   Qt::NoButton, Qt::RightButton, {});
  QCoreApplication::sendEvent(v.viewport(), &move);
  EXPECT_EQ(moves.size(), 1);
  EXPECT_EQ(selected(v), 3);  // a held button never drags the selection along
  QTest::mouseRelease(v.viewport(), Qt::RightButton, {}, rowCentre(v, 1));
  EXPECT_EQ(ups.size(), 1);

  QTest::mousePress(v.viewport(), Qt::LeftButton, {}, QPoint(10, 190));
  EXPECT_EQ(downs.size(), 2);
  EXPECT_EQ(clicks.size(), 1);  // no row there
  QTest::mouseRelease(v.viewport(), Qt::LeftButton, {}, QPoint(10, 190));
  QTest::mouseDClick(v.viewport(), Qt::LeftButton, {}, rowCentre(v, 2));
  ASSERT_EQ(dbl.size(), 1);
  EXPECT_EQ(dbl.at(0).at(0).toInt(), 2);
}

TEST(PlaylistView, RefusesDropsNobodyAccepts) {
  PlaylistView v;
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile("/x.mp3")});
  QDragMoveEvent over(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
  QCoreApplication::sendEvent(v.viewport(), &over);
  EXPECT_FALSE(over.isAccepted());
}
