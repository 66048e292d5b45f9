#include <QAccessible>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "Form1Fixture.h"
#include "playlist/PlaylistView.h"

namespace lentaro::testing {
namespace {

struct Placement {
  const char* name;
  int left, top, width, height;  // twips, in the parent's client area
  const char* parent;
};

// The control table, in twips as the window's designer gave it.
const Placement kPlacements[] = {
    {"ListView1", 120, 120, 6840, 2535, "Form1"},
    {"PushButton5", 7080, 120, 840, 1200, "Form1"},
    {"PushButton6", 7080, 1440, 840, 1200, "Form1"},
    {"PushButton8", 120, 2760, 3840, 405, "Form1"},
    {"PushButton4", 4080, 2760, 3840, 405, "Form1"},
    {"PushButton9", 120, 3270, 3840, 405, "Form1"},
    {"PushButton10", 4080, 3270, 3840, 405, "Form1"},
    {"PushButton1", 120, 3780, 7800, 405, "Form1"},
    {"PushButton7", 120, 4290, 7800, 405, "Form1"},
    {"Frame1", 120, 4770, 7800, 975, "Form1"},
    {"sldTempo1", 120, 240, 7560, 300, "Frame1"},
    {"Frame3", 120, 5790, 7800, 975, "Form1"},
    {"sldTempo0", 120, 240, 7560, 300, "Frame3"},
    {"Frame4", 120, 6840, 7800, 975, "Form1"},
    {"sldVolume", 120, 240, 7560, 300, "Frame4"},
    {"Frame2", 120, 7890, 7800, 975, "Form1"},
    {"Slider1", 150, 240, 7545, 300, "Frame2"},
    // The time labels hold the running time, not only their start texts:
    // widened from 465 and 930 twips, Label3 from its left, Label2 to its right.
    {"Label3", 120, 600, 3000, 225, "Frame2"},
    {"Label2", 4545, 600, 3000, 225, "Frame2"},
    {"Frame5", 120, 8940, 7800, 800, "Form1"},
    {"Text1", 240, 300, 6615, 345, "Frame5"},
    {"PushButton3", 6960, 300, 600, 345, "Frame5"},
};

int px(int twips) {
  return (twips + 7) / 15;
}

TEST_F(Form1Test, EveryControlStandsAtItsPlaceInItsParent) {
  Form1& f = make();
  f.hWnd();
  EXPECT_EQ(f.size(), QSize(536, 657));
  EXPECT_EQ(f.minimumSize(), f.maximumSize());  // fixed: not resizable
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(f.windowTitle(), QStringLiteral("Lentaro"));

  for (const Placement& p : kPlacements) {
    SCOPED_TRACE(p.name);
    auto* w = f.findChild<QWidget*>(QString::fromLatin1(p.name));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(p.parent));
    EXPECT_EQ(w->geometry(), QRect(px(p.left), px(p.top), px(p.width), px(p.height)));
  }
  EXPECT_EQ(f.findChild<QWidget*>(QStringLiteral("PushButton2")), nullptr);
}

TEST_F(Form1Test, CaptionsAndValueLabelsReadAsDesigned) {
  Form1& f = make();
  f.hWnd();
  const std::pair<QPushButton*, const char*> buttons[] = {
      {f.PushButton1, "Play"},
      {f.PushButton3, "..."},
      {f.PushButton4, "Add All MP3 File(s) In Folder"},
      {f.PushButton5, "Move Up"},
      {f.PushButton6, "Move Down"},
      {f.PushButton7, "Play and Record"},
      {f.PushButton8, "Add MP3 File(s)"},
      {f.PushButton9, "Clear List"},
      {f.PushButton10, "Load Sample/Example Files"}};
  for (const auto& [button, caption] : buttons)
    EXPECT_EQ(button->text(), QString::fromUtf8(caption));
  EXPECT_EQ(f.PushButton5->iconSize(), QSize(32, 32));
  // Up has its wide head at the top and down at the bottom.
  const QImage up = f.PushButton5->icon().pixmap(32, 32).toImage();
  const QImage down = f.PushButton6->icon().pixmap(32, 32).toImage();
  ASSERT_EQ(up.size(), QSize(32, 32));
  ASSERT_EQ(down.size(), QSize(32, 32));
  EXPECT_GT(qAlpha(up.pixel(9, 12)), 0);
  EXPECT_EQ(qAlpha(up.pixel(9, 20)), 0);
  EXPECT_EQ(qAlpha(down.pixel(9, 12)), 0);
  EXPECT_GT(qAlpha(down.pixel(9, 20)), 0);

  const std::pair<QGroupBox*, const char*> frames[] = {
      {f.Frame1, "Pitch"},
      {f.Frame2, "Position"},
      {f.Frame3, "Tempo"},
      {f.Frame4, "Volume"},
      {f.Frame5, "Save Recorded MP3 To This Folder"}};
  for (const auto& [frame, caption] : frames) EXPECT_EQ(frame->title(), QString::fromUtf8(caption));

  struct LabelRow {
    QLabel* label;
    const char* text;
    QWidget* frame;
    int left;  // twips
    bool right;
  };
  const LabelRow labels[] = {
      {f.Label4, "-30", f.Frame1, 120, false},        {f.Label6, "0", f.Frame1, 3855, false},
      {f.Label5, "30", f.Frame1, 7455, true},         {f.Label9, "-200", f.Frame3, 120, false},
      {f.Label7, "0", f.Frame3, 3855, false},         {f.Label8, "200", f.Frame3, 6510, true},
      {f.Label1, "0", f.Frame4, 120, false},          {f.Label11, "50", f.Frame4, 3795, false},
      {f.Label10, "100", f.Frame4, 7350, true},       {f.Label3, "Time:", f.Frame2, 120, false},
      {f.Label2, "Total Time:", f.Frame2, 4545, true}};
  for (const LabelRow& row : labels) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(row.label->text(), QString::fromUtf8(row.text));
    EXPECT_EQ(row.label->parentWidget(), row.frame);
    EXPECT_EQ(row.label->x(), px(row.left));
    EXPECT_EQ(row.label->y(), px(600));
    EXPECT_EQ(bool(row.label->alignment() & Qt::AlignRight), row.right);
    // The text fits its label.
    EXPECT_LE(row.label->fontMetrics().horizontalAdvance(row.label->text()), row.label->width());
  }
  // The running texts of the time display fit as well.
  const QFontMetrics metrics = f.Label3->fontMetrics();
  EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("Time: 59:59")), f.Label3->width());
  EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("Total Time: 59:59")), f.Label2->width());
  EXPECT_LT(f.Label3->geometry().right(), f.Label2->geometry().left() + f.Label2->width() / 2);

  EXPECT_EQ(f.ListView1->model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
            QStringLiteral("MP3 File(s)"));
  EXPECT_EQ(f.ListView1->header()->sectionSize(0), 433);
}

TEST_F(Form1Test, SlidersHaveTheirRangesStepsAndStartValues) {
  Form1& f = make();
  f.hWnd();
  struct SliderRow {
    QSlider* slider;
    const char* name;
    int min, max, value, page;
  };
  const SliderRow rows[] = {{f.sldTempo[0], "sldTempo0", -200, 200, 0, 5},
                            {f.sldTempo[1], "sldTempo1", -30, 30, 0, 5},
                            {f.sldVolume, "sldVolume", 0, 100, 100, 5},
                            {f.Slider1, "Slider1", 0, 1, 0, 1}};
  for (const SliderRow& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.slider->objectName(), QString::fromLatin1(r.name));
    EXPECT_EQ(r.slider->orientation(), Qt::Horizontal);
    EXPECT_EQ(r.slider->tickPosition(), QSlider::NoTicks);
    EXPECT_EQ(r.slider->minimum(), r.min);
    EXPECT_EQ(r.slider->maximum(), r.max);
    EXPECT_EQ(r.slider->value(), r.value);
    EXPECT_EQ(r.slider->singleStep(), 1);
    EXPECT_EQ(r.slider->pageStep(), r.page);
  }
  EXPECT_EQ(f.Timer2->interval(), 100);
  EXPECT_TRUE(f.Timer2->isActive());
}

TEST_F(Form1Test, FontsAreArialBoldInTwoSizes) {
  Form1& f = make();
  f.hWnd();
  auto expectFont = [](QWidget* w, qreal points) {
    SCOPED_TRACE(w->objectName().toStdString());
    EXPECT_EQ(w->font().family(), QStringLiteral("Arial"));
    EXPECT_TRUE(w->font().bold());
    EXPECT_DOUBLE_EQ(w->font().pointSizeF(), points);
  };
  for (QWidget* w : std::initializer_list<QWidget*>{&f, f.ListView1, f.Frame1, f.Frame5, f.Label2,
                                                    f.Label4, f.Text1})
    expectFont(w, 9);
  for (QPushButton* b : f.findChildren<QPushButton*>()) expectFont(b, 11.25);
  // Arial resolves to a real face (Liberation Sans stands in on Linux).
  EXPECT_TRUE(QFontInfo(f.PushButton1->font()).bold());
}

TEST_F(Form1Test, TabOrderStartsAtThePlaylistAndRunsTopToBottom) {
  Form1& f = make();
  f.hWnd();
  const std::vector<QWidget*> expected{f.ListView1,   f.PushButton5, f.PushButton6,  f.PushButton8,
                                       f.PushButton4, f.PushButton9, f.PushButton10, f.PushButton1,
                                       f.PushButton7, f.sldTempo[1], f.sldTempo[0],  f.sldVolume,
                                       f.Slider1,     f.Text1,       f.PushButton3};
  for (size_t i = 0; i + 1 < expected.size(); ++i) {
    QWidget* next = expected[i]->nextInFocusChain();
    while (next && next->focusPolicy() == Qt::NoFocus && next != expected[i + 1])
      next = next->nextInFocusChain();
    EXPECT_EQ(next, expected[i + 1]) << "after " << expected[i]->objectName().toStdString();
  }

  f.showCentred();
  EXPECT_EQ(f.focusWidget(), f.ListView1);
}

// What a screen reader says for each control: the caption, or for sliders
// and the text box the frame's design caption, which must not follow the
// frame's changing value caption.
TEST_F(Form1Test, ScreenReadersNameEveryControl) {
  Form1& f = make();
  f.hWnd();
  auto spoken = [](QWidget* w) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Name).toStdString() : std::string("<none>");
  };
  f.Frame3->setTitle(QStringLiteral("Tempo + -50%"));
  EXPECT_EQ(spoken(f.sldTempo[0]), "Tempo");
  EXPECT_EQ(spoken(f.sldTempo[1]), "Pitch");
  EXPECT_EQ(spoken(f.sldVolume), "Volume");
  EXPECT_EQ(spoken(f.Slider1), "Position");
  EXPECT_EQ(spoken(f.Text1), "Save Recorded MP3 To This Folder");
  EXPECT_EQ(spoken(f.ListView1), "MP3 File(s)");
  EXPECT_EQ(spoken(f.PushButton7), "Play and Record");
  EXPECT_EQ(spoken(f.PushButton3), "Choose the folder for recorded MP3 files");
  for (QPushButton* b : f.findChildren<QPushButton*>())
    EXPECT_NE(spoken(b), "") << b->objectName().toStdString();
}

}  // namespace
}  // namespace lentaro::testing
