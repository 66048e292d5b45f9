#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>

#include "PlaylistTestSupport.h"

using namespace lentaro::playlist;
using namespace lentaro::playlist::testing;

namespace {

int selected(const PlaylistView& v) {
  const auto s = v.SelectedItem();
  return s ? s->Index : 0;
}

QPoint centre(const PlaylistView& v, int position) {
  return v.visualRect(v.model()->index(position - 1, 0)).center();
}

struct Shown : Rig {
  explicit Shown(const QStringList& texts, QSize size = {300, 200}) {
    add(texts);
    view->resize(size);
    view->show();
    QCoreApplication::processEvents();
  }
  // A press on a row as the list reports it: the list selects, then clicks.
  void pressOn(int position, Qt::MouseButton b = Qt::LeftButton) {
    commands->ListView1_MouseDown(b, centre(*view, position));
    view->Select(position);
    commands->ListView1_ItemClick(position);
  }
  void moveOver(int position) {
    commands->ListView1_MouseMove(Qt::LeftButton, centre(*view, position));
  }
};

}  // namespace

TEST(MoveButtons, MoveTheSelectedRowAndStopAtTheEnds) {
  Shown s({"a", "b", "c", "d"});
  s.view->Select(3);
  s.commands->PushButton5_Click();
  EXPECT_EQ(rows(*s.view), QStringList({"a", "c", "b", "d"}));
  EXPECT_EQ(selected(*s.view), 2);
  s.commands->PushButton5_Click();
  s.commands->PushButton5_Click();  // already on top: nothing moves
  EXPECT_EQ(rows(*s.view), QStringList({"c", "a", "b", "d"}));
  EXPECT_EQ(selected(*s.view), 1);

  s.view->Select(3);  // last but one becomes last
  s.commands->PushButton6_Click();
  EXPECT_EQ(rows(*s.view), QStringList({"c", "a", "d", "b"}));
  EXPECT_EQ(selected(*s.view), 4);
  s.commands->PushButton6_Click();
  EXPECT_EQ(rows(*s.view), QStringList({"c", "a", "d", "b"}));
  EXPECT_TRUE(s.ui.messages.empty());
}

TEST(MoveButtons, TheMovedRowIsVisibleAndARowOfEqualTextMovesToo) {
  QStringList many;
  for (int i = 1; i <= 200; ++i) many << QString::number(i);
  many[100] = many[101];
  Shown s(many);
  s.view->Select(102);
  s.commands->PushButton5_Click();
  EXPECT_EQ(selected(*s.view), 101);
  EXPECT_TRUE(s.view->viewport()->rect().contains(centre(*s.view, 101)));
  s.view->Select(200);
  s.view->scrollToTop();
  s.commands->PushButton5_Click();
  EXPECT_EQ(s.view->Text(199), "200");
  EXPECT_TRUE(s.view->viewport()->rect().contains(centre(*s.view, 199)));
}

TEST(MoveButtons, NothingSelectedEmptyOrBusyLeavesTheListAlone) {
  Rig r;
  r.commands->PushButton5_Click();
  r.commands->PushButton6_Click();
  r.commands->ListView1_KeyDown(Qt::Key_Delete, {});
  r.commands->PushButton9_Click();
  EXPECT_EQ(r.view->Count(), 0);

  r.add({"a", "b", "c"});
  r.view->clearSelection();  // as after a click on an empty part of the list
  ASSERT_FALSE(r.view->SelectedItem());
  r.commands->PushButton5_Click();
  r.commands->PushButton6_Click();
  r.commands->ListView1_KeyDown(Qt::Key_Delete, {});
  EXPECT_EQ(rows(*r.view), QStringList({"a", "b", "c"}));

  r.view->Select(2);
  r.busy.value = 11;
  r.commands->PushButton5_Click();
  r.commands->ListView1_KeyDown(Qt::Key_Delete, {});
  EXPECT_EQ(rows(*r.view), QStringList({"a", "b", "c"}));
  r.commands->PushButton9_Click();  // Clear is never refused
  EXPECT_EQ(r.view->Count(), 0);
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST(DeleteKey, RemovesTheSelectedRowOnly) {
  Rig r;
  r.add({"a", "b", "c"});
  r.view->Select(2);
  r.commands->ListView1_KeyDown(Qt::Key_Backspace, {});
  EXPECT_EQ(r.view->Count(), 3);
  QTest::keyClick(r.view.get(), Qt::Key_Delete);  // through the list's own key event
  EXPECT_EQ(rows(*r.view), QStringList({"a", "c"}));
}

TEST(ExchangeDrag, CarriesTheClickedTextByExchangesAndNeverSwapsEqualTexts) {
  Shown s({"a", "b", "c", "d", "b"});
  s.pressOn(1);
  s.moveOver(1);  // over itself: nothing
  s.moveOver(2);
  EXPECT_EQ(rows(*s.view), QStringList({"b", "a", "c", "d", "b"}));
  s.moveOver(3);
  EXPECT_EQ(rows(*s.view), QStringList({"b", "c", "a", "d", "b"}));
  EXPECT_EQ(selected(*s.view), 3);
  s.moveOver(1);  // a jump exchanges only the two rows concerned
  EXPECT_EQ(rows(*s.view), QStringList({"a", "c", "b", "d", "b"}));
  s.pressOn(3);
  s.moveOver(5);  // "b" over "b": never exchanged
  EXPECT_EQ(rows(*s.view), QStringList({"a", "c", "b", "d", "b"}));
  EXPECT_FALSE(s.commands->HoverItem.isValid());

  s.commands->ListView1_MouseUp(Qt::LeftButton, {});
  EXPECT_FALSE(s.commands->Dragging);
  s.moveOver(4);  // released: moves carry nothing
  EXPECT_EQ(rows(*s.view), QStringList({"a", "c", "b", "d", "b"}));
  // A press on empty space carries the row clicked last.
  s.commands->ListView1_MouseDown(Qt::MiddleButton, QPoint(5, 190));
  s.moveOver(4);
  EXPECT_EQ(rows(*s.view), QStringList({"a", "c", "d", "b", "b"}));
}

TEST(ExchangeDrag, RemovedOrRecreatedRowsAreNoLongerCarried) {
  Shown s({"a", "b", "c"});
  s.pressOn(2, Qt::RightButton);
  s.commands->ListView1_KeyDown(Qt::Key_Delete, {});
  s.moveOver(1);
  EXPECT_EQ(rows(*s.view), QStringList({"a", "c"}));
  s.pressOn(2);
  s.commands->PushButton5_Click();  // re-creates the row above
  s.moveOver(2);
  EXPECT_EQ(rows(*s.view), QStringList({"c", "a"}));
}

TEST(ExchangeDrag, ScrollsOnlyOutsideTheMiddleScreenBand) {
  QStringList many;
  for (int i = 1; i <= 60; ++i) many << QString::number(i);
  Shown s(many, {300, 120});
  s.view->EnsureVisible(30);
  const int visibleTop = s.view->HitTest(QPoint(5, 2));
  s.pressOn(visibleTop + 1);
  QScrollBar* bar = s.view->verticalScrollBar();
  const int before = bar->value();
  s.screen = {900, 305};
  s.moveOver(visibleTop);
  s.screen = {0, 364};
  s.moveOver(visibleTop + 1);
  EXPECT_EQ(bar->value(), before);
  s.screen = {0, 304};
  s.moveOver(visibleTop);  // the row above it comes into view
  EXPECT_EQ(s.view->HitTest(QPoint(5, 2)), visibleTop - 1);
  const int bottom = s.view->HitTest(QPoint(5, s.view->viewport()->height() - 2));
  s.screen = {0, 365};
  s.moveOver(bottom);
  EXPECT_TRUE(s.view->viewport()->rect().contains(centre(*s.view, bottom + 1)));
}

TEST(ExchangeDrag, ReadsTheDragPointerAtEveryClickAndResetsPointers) {
  Tree app;
  Rig r(app.root());
  r.add({"a", "b"});
  r.cursor = QCursor(Qt::CrossCursor);
  r.commands->ListView1_ItemClick(1);
  EXPECT_EQ(r.view->viewport()->cursor().shape(), Qt::CrossCursor);
  r.cursor.reset();  // unreadable file: the pointer stays, the row is still carried
  r.commands->ListView1_ItemClick(2);
  EXPECT_EQ(r.view->viewport()->cursor().shape(), Qt::CrossCursor);
  EXPECT_EQ(r.cursorReads, QStringList({app.path("drag.ico"), app.path("drag.ico")}));
  r.commands->ListView1_MouseUp(Qt::LeftButton, {});
  EXPECT_EQ(r.view->viewport()->cursor().shape(), Qt::ArrowCursor);

  r.busy.value = 99;
  r.commands->ListView1_MouseMove(Qt::NoButton, {});
  EXPECT_EQ(r.busy.value, 0);
}

TEST(ExchangeDrag, WorksWithTheRealMouseOnTheList) {
  Shown s({"a", "b", "c"});
  QTest::mousePress(s.view->viewport(), Qt::LeftButton, {}, centre(*s.view, 1));
  QMouseEvent move(QEvent::MouseMove, QPointF(centre(*s.view, 2)), QPointF(centre(*s.view, 2)),
                   Qt::NoButton, Qt::LeftButton, {});
  QCoreApplication::sendEvent(s.view->viewport(), &move);
  QTest::mouseRelease(s.view->viewport(), Qt::LeftButton, {}, centre(*s.view, 2));
  EXPECT_EQ(rows(*s.view), QStringList({"b", "a", "c"}));
  EXPECT_EQ(selected(*s.view), 2);
  EXPECT_FALSE(s.commands->Dragging);
}
