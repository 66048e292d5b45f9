#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSlider>

#include "Form1Fixture.h"
#include "app/Skin.h"
#include "playlist/PlaylistView.h"

namespace lentaro::testing {
namespace {

// A pointer move with no button held, delivered as the window system would:
// to the widget under the pointer, passed to its parents while ignored.
void moveOver(QWidget* widget, QPoint at = {2, 2}) {
  QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(widget->mapToGlobal(at)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &move);
}

TEST_F(Form1Test, ButtonsAskForTheHandOtherAreasForTheArrow) {
  Form1& f = started();
  MainPointer& pointer = f.pointer();
  ASSERT_TRUE(pointer.hasCustomCursor());

  for (QPushButton* b : {f.PushButton1, f.PushButton3, f.PushButton4, f.PushButton5, f.PushButton6,
                         f.PushButton7, f.PushButton8, f.PushButton9, f.PushButton10}) {
    pointer.setMousePointer(0);
    moveOver(b);
    EXPECT_EQ(pointer.MousePointer(), 99) << b->objectName().toStdString();
  }
  EXPECT_EQ(f.cursor().shape(), Qt::BitmapCursor);  // the hand, from HAND-M.CUR
  EXPECT_EQ(f.cursor().hotSpot(), QPoint(6, 0));

  // From a button straight onto a slider, a label or the text box: the hand
  // stays until the pointer crosses a frame or the background.
  moveOver(f.sldTempo[0]);
  moveOver(f.Label9);
  moveOver(f.Text1);
  EXPECT_EQ(pointer.MousePointer(), 99);

  moveOver(f.Frame3, {f.Frame3->width() / 2, f.Frame3->height() - 3});
  EXPECT_EQ(pointer.MousePointer(), 0);

  moveOver(f.PushButton1);
  moveOver(&f, {f.width() - 2, f.height() - 2});  // the window's own background
  EXPECT_EQ(pointer.MousePointer(), 0);

  moveOver(f.PushButton1);
  moveOver(f.ListView1->viewport());
  EXPECT_EQ(pointer.MousePointer(), 0);
}

TEST_F(Form1Test, BusyWindowKeepsTheWaitPointerEverywhere) {
  Form1& f = started();
  f.pointer().setMousePointer(11);
  moveOver(f.PushButton4);
  moveOver(f.Frame1, {f.Frame1->width() / 2, f.Frame1->height() - 3});
  moveOver(&f, {f.width() - 2, f.height() - 2});
  moveOver(f.ListView1->viewport());
  EXPECT_EQ(f.pointer().MousePointer(), 11);
  EXPECT_TRUE(f.pointer().busy());
  EXPECT_EQ(f.cursor().shape(), Qt::WaitCursor);

  f.pointer().setMousePointer(0);
  moveOver(f.PushButton4);
  EXPECT_EQ(f.pointer().MousePointer(), 99);
}

TEST_F(Form1Test, WithoutTheHandFileButtonsShowTheArrow) {
  QTemporaryDir empty;
  appDir = empty.path();
  Form1& f = started();
  moveOver(f.PushButton1);
  EXPECT_EQ(f.pointer().MousePointer(), 99);
  EXPECT_EQ(f.cursor().shape(), Qt::ArrowCursor);
}

QColor background(QWidget* w) {
  return w->palette().color(QPalette::Window);
}

TEST_F(Form1Test, SkinFilePresentRecoloursAndStylesTheWindow) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("x")));
  QFile sheet(skinFilePath(dir.path()));
  ASSERT_TRUE(sheet.open(QIODevice::WriteOnly));
  sheet.write("QPushButton { color: #123456; font-size: 30pt; }\n");
  sheet.close();
  appDir = dir.path();

  Form1& f = started();
  const QColor face = QApplication::palette().color(QPalette::Active, QPalette::Button);
  EXPECT_EQ(background(&f), face);
  for (QWidget* w : std::initializer_list<QWidget*>{f.Frame1, f.Frame5, f.Label2, f.Label8})
    EXPECT_EQ(background(w), face) << w->objectName().toStdString();
  EXPECT_TRUE(f.skin().ApplyOptions & SkinFramework::kApplyStyleSheet);
  // The sheet is on the window; its font rule is dropped so the control
  // table's fonts stay.
  EXPECT_TRUE(f.styleSheet().contains(QStringLiteral("color: #123456")));
  EXPECT_FALSE(f.styleSheet().contains(QStringLiteral("font-size")));
  EXPECT_DOUBLE_EQ(f.PushButton1->font().pointSizeF(), 11.25);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Form1Test, SkinMissingOrNotAFileLeavesTheWindowAsItIs) {
  QTemporaryDir dir;
  appDir = dir.path();
  {
    Form1& f = started();
    EXPECT_EQ(background(&f), QColor(Qt::white));
    EXPECT_EQ(background(f.Frame1), QColor(Qt::white));
    EXPECT_TRUE(f.styleSheet().isEmpty());
    EXPECT_FALSE(f.skin().ApplyOptions & SkinFramework::kApplyStyleSheet);
  }
  form.reset();

  // A folder named like the skin file is no skin.
  ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("x/o.cjs")));
  Form1& f = started();
  EXPECT_TRUE(f.styleSheet().isEmpty());
  EXPECT_EQ(background(&f), QColor(Qt::white));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Form1Test, ShippedSkinLoadsAndKeepsTheFonts) {
  Form1& f = started();  // the build's application folder carries x/o.cjs
  EXPECT_FALSE(f.styleSheet().isEmpty());
  EXPECT_TRUE(f.styleSheet().contains(QStringLiteral("QPushButton")));
  EXPECT_EQ(f.PushButton1->font().family(), QStringLiteral("Arial"));
  EXPECT_TRUE(ui.messages.empty());
}

// The font rules a skin loses: every property whose name is font or font-
// and lower-case letters, with its value up to and with the semicolon. The
// scan must drop exactly what this pattern matches.
QString byPattern(const QString& sheet) {
  static const QRegularExpression fontRule(QStringLiteral(R"(\bfont(-[a-z]+)?\s*:[^;}]*;?)"));
  return QString(sheet).remove(fontRule);
}

TEST(SkinSheet, FontRulesGoAndEverythingElseStays) {
  const struct {
    const char* sheet;
    const char* kept;
  } cases[] = {
      {"QLabel { color: red; font-size: 30pt; }", "QLabel { color: red;  }"},
      {"QLabel{font:bold 12pt Arial}", "QLabel{}"},
      {"a { font-family :\tSerif ;b: 1 }", "a { b: 1 }"},
      {"a { font-weight: bold", "a { "},
      // Not font rules: another word ending in font, a longer name, a name
      // with a digit or a capital, no colon.
      {"a { myfont: 1; fonts: 2; font-x2: 3; font-Size: 4; font; }",
       "a { myfont: 1; fonts: 2; font-x2: 3; font-Size: 4; font; }"},
      {"a { -font: 1; _font: 2; font-: 3 }", "a { - _font: 2; font-: 3 }"},
      {"QFont { font: 1 } font: x;font:y", "QFont { } "},
      {"", ""},
  };
  for (const auto& c : cases) {
    const QString sheet = QString::fromUtf8(c.sheet);
    EXPECT_EQ(withoutFontRules(sheet), QString::fromUtf8(c.kept)) << c.sheet;
    EXPECT_EQ(withoutFontRules(sheet), byPattern(sheet)) << c.sheet;
  }

  // Sheets made of the pieces a rule is told apart by.
  const char* pieces[] = {"font", "-", "size", "x",  "Q", ":", ";",
                          "}",    "{", " ",    "\n", "_", "9", "\u00e9"};
  QRandomGenerator random(7);
  for (int round = 0; round < 5000; ++round) {
    QString sheet;
    const int count = random.bounded(1, 12);
    for (int i = 0; i < count; ++i)
      sheet += QString::fromUtf8(pieces[random.bounded(int(std::size(pieces)))]);
    ASSERT_EQ(withoutFontRules(sheet), byPattern(sheet)) << sheet.toStdString();
  }
}

}  // namespace
}  // namespace lentaro::testing
