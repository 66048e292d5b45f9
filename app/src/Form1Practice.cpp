// Practice loops, markers, the speed trainer and the count-in: their
// commands in the Playback menu (with keys the user may reassign), the
// status bar field and the drawing over the position slider
// (PracticeController).
#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "PracticeController.h"
#include "app/ActionTable.h"
#include "app/Form1.h"
#include "playlist/PlaylistView.h"

namespace lentaro {

namespace {
const QString kPlayback = QStringLiteral("&Playback");

QList<QKeySequence> keys(std::initializer_list<const char*> portable) {
  QList<QKeySequence> out;
  for (const char* k : portable)
    out.append(QKeySequence::fromString(QString::fromLatin1(k), QKeySequence::PortableText));
  return out;
}
}  // namespace

void Form1::addPracticeCommands() {
  practice_ = new PracticeController(*this, PracticeController::defaultFolder());
  PracticeController& p = *practice_;
  ActionTable& t = *actions_;
  using End = PracticeController::End;
  const auto nudge = [&p](End end, int ms) { return [&p, end, ms] { p.nudge(end, ms); }; };

  t.add({QStringLiteral("loopStart"), kPlayback, QStringLiteral("Loop Start Here"), keys({"["}),
         true, false, [&p] { p.setLoopStartHere(); }});
  t.add({QStringLiteral("loopEnd"), kPlayback, QStringLiteral("Loop End Here"), keys({"]"}), false,
         false, [&p] { p.setLoopEndHere(); }});
  t.add({QStringLiteral("loopClear"), kPlayback, QStringLiteral("Clear Loop / Loop the Whole File"),
         keys({"\\"}), false, false, [&p] { p.clearLoop(); }});
  t.add({QStringLiteral("loopStartEarlier10"), kPlayback,
         QStringLiteral("Loop Start 10 ms Earlier"), keys({"Alt+Shift+Left"}), false, true,
         nudge(End::Start, -10)});
  t.add({QStringLiteral("loopStartLater10"), kPlayback, QStringLiteral("Loop Start 10 ms Later"),
         keys({"Alt+Shift+Right"}), false, true, nudge(End::Start, 10)});
  t.add({QStringLiteral("loopStartEarlier100"), kPlayback,
         QStringLiteral("Loop Start 100 ms Earlier"), keys({"Ctrl+Alt+Left"}), false, true,
         nudge(End::Start, -100)});
  t.add({QStringLiteral("loopStartLater100"), kPlayback, QStringLiteral("Loop Start 100 ms Later"),
         keys({"Ctrl+Alt+Right"}), false, true, nudge(End::Start, 100)});
  t.add({QStringLiteral("loopEndEarlier10"), kPlayback, QStringLiteral("Loop End 10 ms Earlier"),
         keys({"Ctrl+Shift+Left"}), false, true, nudge(End::End, -10)});
  t.add({QStringLiteral("loopEndLater10"), kPlayback, QStringLiteral("Loop End 10 ms Later"),
         keys({"Ctrl+Shift+Right"}), false, true, nudge(End::End, 10)});
  t.add({QStringLiteral("loopEndEarlier100"), kPlayback, QStringLiteral("Loop End 100 ms Earlier"),
         keys({"Ctrl+Alt+Shift+Left"}), false, true, nudge(End::End, -100)});
  t.add({QStringLiteral("loopEndLater100"), kPlayback, QStringLiteral("Loop End 100 ms Later"),
         keys({"Ctrl+Alt+Shift+Right"}), false, true, nudge(End::End, 100)});
  t.add({QStringLiteral("addMarker"), kPlayback, QStringLiteral("Add Marker"), keys({"M"}), true,
         false, [&p] { p.addMarker(); }});
  t.add({QStringLiteral("trainerBackOff"), kPlayback, QStringLiteral("Back Off One Step"),
         keys({"B"}), false, false, [&p] { p.backOff(); }});
  t.add({QStringLiteral("practice"), kPlayback, QStringLiteral("Practice..."), keys({"Ctrl+P"}),
         false, false, [&p] { p.showDialog(); }});
  QAction* remember = t.add({QStringLiteral("rememberTempoPitch"),
                             kPlayback,
                             QStringLiteral("Remember Tempo and Pitch per File"),
                             {},
                             false,
                             false,
                             {}});
  remember->setCheckable(true);
  remember->setChecked(p.rememberTempoPitch());
  connect(remember, &QAction::toggled, &p, [&p](bool on) { p.setRememberTempoPitch(on); });
}

void Form1::wirePractice() {
  auto* field = new QLabel(frame_.get());
  field->setObjectName(QStringLiteral("practiceStatus"));
  frame_->statusBar()->addPermanentWidget(field);
  practice_->attach(field);
  // A new channel is noticed at once after the openings the window makes
  // itself, and at every tick for the rest.
  connect(PushButton1, &QPushButton::clicked, practice_, [this] { practice_->tick(); });
  connect(ListView1, &playlist::PlaylistView::DblClick, practice_, [this] { practice_->tick(); });
  connect(Timer2, &QTimer::timeout, practice_, [this] { practice_->tick(); });
}

}  // namespace lentaro
