#include "app/Form1.h"

#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <array>
#include <future>
#include <utility>

#include "AddDialogsHost.h"
#include "HoverRules.h"
#include "PictureButton.h"
#include "app/Skin.h"
#include "shell/UiHost.h"

#include "playlist/PlaylistView.h"

namespace lentaro {

namespace {
// Layout measures come in twips; the window is laid out at 15 twips to the
// pixel.
constexpr int px(int twips) {
  return (twips + 7) / 15;
}
QRect twips(int left, int top, int width, int height) {
  return {px(left), px(top), px(width), px(height)};
}

// The right edge of the value labels under the sliders, in frame twips: the
// slider's right end, so the right-aligned maximum sits under it.
constexpr int kValueLabelsRight = 7680;
constexpr int kLabelTop = 600;
constexpr int kLabelHeight = 225;
constexpr int kTimeLabelWidth = 3000;

QFont windowFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(9);
  font.setBold(true);
  return font;
}

QFont buttonFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(11.25);
  font.setBold(true);
  return font;
}

template <class Button = QPushButton>
Button* makeButton(QWidget* parent, const char* name, const char* caption, QRect place) {
  auto* button = new Button(QString::fromUtf8(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setFont(buttonFont());
  button->setGeometry(place);
  return button;
}

QGroupBox* makeFrame(QWidget* parent, const char* name, const char* caption, QRect place) {
  auto* frame = new QGroupBox(QString::fromUtf8(caption), parent);
  frame->setObjectName(QString::fromLatin1(name));
  frame->setGeometry(place);
  return frame;
}

QSlider* makeSlider(QWidget* frame, const char* name, int min, int max, int value, int page,
                    QRect place) {
  auto* slider = new QSlider(Qt::Horizontal, frame);
  slider->setObjectName(QString::fromLatin1(name));
  slider->setRange(min, max);
  slider->setValue(value);
  slider->setSingleStep(1);
  slider->setPageStep(page);
  slider->setTickPosition(QSlider::NoTicks);
  slider->setGeometry(place);
  return slider;
}

// A left-aligned label as wide as its text.
QLabel* makeLabel(QWidget* frame, const char* name, const char* text, int left) {
  auto* label = new QLabel(QString::fromUtf8(text), frame);
  label->setObjectName(QString::fromLatin1(name));
  label->adjustSize();
  label->setGeometry(px(left), px(kLabelTop), label->width(), px(kLabelHeight));
  return label;
}

// A right-aligned label from `left` to the sliders' right end.
QLabel* makeRightLabel(QWidget* frame, const char* name, const char* text, int left) {
  auto* label = new QLabel(QString::fromUtf8(text), frame);
  label->setObjectName(QString::fromLatin1(name));
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setGeometry(twips(left, kLabelTop, kValueLabelsRight - left, kLabelHeight));
  return label;
}
}  // namespace

Form1::Form1(StartupServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)), skin_(std::make_unique<SkinFramework>()) {
  Q_ASSERT(services_.ui);
  if (!services_.endProcess) {
    services_.endProcess = [](int status) {
      std::fflush(nullptr);
      std::_Exit(status);
    };
  }
  appDir_ = services_.appDir;
  setObjectName(QStringLiteral("Form1"));
}

Form1::~Form1() {
  // The frame is this widget's parent but this object's property: leave it
  // before it goes, so that it does not delete this a second time.
  if (frame_) frame_->takeCentralWidget();
}

void Form1::buildWindow() {
  built_ = true;
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(px(8040), px(9855));
  setFont(windowFont());
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setAutoFillBackground(true);

  // The move buttons' arrows are drawn on another thread meanwhile.
  auto arrows = std::async(std::launch::async, [] {
    return std::array<QImage, 2>{moveArrowPicture(true), moveArrowPicture(false)};
  });
  buildControls();
  const std::array<QImage, 2> pictures = arrows.get();
  PushButton5->setIcon(QIcon(QPixmap::fromImage(pictures[0])));
  PushButton6->setIcon(QIcon(QPixmap::fromImage(pictures[1])));
  setTabOrder();
  nameForScreenReaders();
  pointer_.setWindow(this);
  watchPointerRules();

  wirePlaylist();
  wirePlayback();
  wireRecording();
  buildFrame();

  Form_Load();
}

void Form1::buildControls() {
  ListView1 = new playlist::PlaylistView(this);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setGeometry(twips(120, 120, 6840, 2535));

  PushButton5 =
      makeButton<PictureButton>(this, "PushButton5", "Move Up", twips(7080, 120, 840, 1200));
  PushButton5->setIconSize({32, 32});
  PushButton6 =
      makeButton<PictureButton>(this, "PushButton6", "Move Down", twips(7080, 1440, 840, 1200));
  PushButton6->setIconSize({32, 32});

  PushButton8 = makeButton(this, "PushButton8", "Add MP3 File(s)", twips(120, 2760, 3840, 405));
  PushButton4 = makeButton(this, "PushButton4", "Add All MP3 File(s) In Folder",
                           twips(4080, 2760, 3840, 405));
  PushButton9 = makeButton(this, "PushButton9", "Clear List", twips(120, 3270, 3840, 405));
  PushButton10 =
      makeButton(this, "PushButton10", "Load Sample/Example Files", twips(4080, 3270, 3840, 405));
  PushButton1 = makeButton(this, "PushButton1", "Play", twips(120, 3780, 7800, 405));
  PushButton7 = makeButton(this, "PushButton7", "Play and Record", twips(120, 4290, 7800, 405));

  buildFrames();

  Timer2 = new QTimer(this);
  Timer2->setObjectName(QStringLiteral("Timer2"));
  Timer2->setInterval(100);
  Timer2->start();
}

void Form1::buildFrames() {
  Frame1 = makeFrame(this, "Frame1", "Pitch", twips(120, 4770, 7800, 975));
  sldTempo[1] = makeSlider(Frame1, "sldTempo1", -30, 30, 0, 5, twips(120, 240, 7560, 300));
  Label4 = makeLabel(Frame1, "Label4", "-30", 120);
  Label6 = makeLabel(Frame1, "Label6", "0", 3855);
  Label5 = makeRightLabel(Frame1, "Label5", "30", 7455);

  Frame3 = makeFrame(this, "Frame3", "Tempo", twips(120, 5790, 7800, 975));
  sldTempo[0] = makeSlider(Frame3, "sldTempo0", -200, 200, 0, 5, twips(120, 240, 7560, 300));
  Label9 = makeLabel(Frame3, "Label9", "-200", 120);
  Label7 = makeLabel(Frame3, "Label7", "0", 3855);
  Label8 = makeRightLabel(Frame3, "Label8", "200", 6510);

  Frame4 = makeFrame(this, "Frame4", "Volume", twips(120, 6840, 7800, 975));
  sldVolume = makeSlider(Frame4, "sldVolume", 0, 100, 100, 5, twips(120, 240, 7560, 300));
  Label1 = makeLabel(Frame4, "Label1", "0", 120);
  Label11 = makeLabel(Frame4, "Label11", "50", 3795);
  Label10 = makeRightLabel(Frame4, "Label10", "100", 7350);

  Frame2 = makeFrame(this, "Frame2", "Position", twips(120, 7890, 7800, 975));
  Slider1 = makeSlider(Frame2, "Slider1", 0, 1, 0, 1, twips(150, 240, 7545, 300));
  // The time labels are wider than their design size (465 and 930 twips),
  // which holds "Time:" and "Total Time:" only: the running texts ("Time: "
  // and minutes and seconds) must not be cut. Label3 keeps its left edge,
  // the right-aligned Label2 its right edge.
  Label3 = new QLabel(QStringLiteral("Time:"), Frame2);
  Label3->setObjectName(QStringLiteral("Label3"));
  Label3->setGeometry(twips(120, 600, kTimeLabelWidth, 225));
  Label2 = new QLabel(QStringLiteral("Total Time:"), Frame2);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Label2->setGeometry(twips(6615 + 930 - kTimeLabelWidth, 600, kTimeLabelWidth, 225));

  Frame5 =
      makeFrame(this, "Frame5", "Save Recorded MP3 To This Folder", twips(120, 8940, 7800, 800));
  Text1 = new QLineEdit(Frame5);
  Text1->setObjectName(QStringLiteral("Text1"));
  Text1->setGeometry(twips(240, 300, 6615, 345));
  connect(Text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
  PushButton3 = makeButton(Frame5, "PushButton3", "...", twips(6960, 300, 600, 345));
}

void Form1::setTabOrder() {
  // The playlist first, so the Delete key acts as soon as the window opens;
  // then the controls from top to bottom.
  const std::array<QWidget*, 15> order{ListView1,   PushButton5, PushButton6,  PushButton8,
                                       PushButton4, PushButton9, PushButton10, PushButton1,
                                       PushButton7, sldTempo[1], sldTempo[0],  sldVolume,
                                       Slider1,     Text1,       PushButton3};
  QWidget* previous = nullptr;
  for (QWidget* widget : order) {
    if (!widget) continue;
    if (previous)
      QWidget::setTabOrder(previous, widget);
    else
      firstFocus_ = widget;
    previous = widget;
  }
}

void Form1::nameForScreenReaders() {
  // Buttons and labels are named by their captions already. The sliders and
  // the text box have no caption of their own: they take their frame's
  // design caption, which stays put while the frame's visible caption shows
  // the current value. "..." says nothing when read aloud.
  const std::array<std::pair<QWidget*, const char*>, 8> names{{
      {ListView1, "MP3 File(s)"},
      {sldTempo[0], "Tempo"},
      {sldTempo[1], "Pitch"},
      {sldVolume, "Volume"},
      {Slider1, "Position"},
      {Text1, "Save Recorded MP3 To This Folder"},
      {PushButton3, "Choose the folder for recorded MP3 files"},
      {this, "Lentaro"},
  }};
  for (const auto& [widget, name] : names)
    if (widget) widget->setAccessibleName(QString::fromLatin1(name));
  // The list's hint is read out with it, not only shown on hovering.
  ListView1->setAccessibleDescription(ListView1->toolTip());
}

void Form1::watchPointerRules() {
  hoverRules_ = new HoverRules(pointer_, this);
  for (QPushButton* button : {PushButton1, PushButton3, PushButton4, PushButton5, PushButton6,
                              PushButton7, PushButton8, PushButton9, PushButton10})
    hoverRules_->watch(button, MainPointer::kCustom);
  hoverRules_->watch(this, MainPointer::kDefault);
  for (QGroupBox* frame : {Frame1, Frame2, Frame3, Frame4, Frame5})
    hoverRules_->watch(frame, MainPointer::kDefault);
  hoverRules_->watch(ListView1->viewport(), MainPointer::kDefault, true);
}

}  // namespace lentaro
