// Export in the window: File > Export... (before Quit) and the same entry
// in a context menu on the playlist's rows, and the export's progress on
// the status bar (percent, time left and a Cancel button) while it runs.
// The controls' area is not touched.
#include <lentaro/bass.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolButton>
#include <cmath>

#include "app/ActionTable.h"
#include "app/Form1.h"
#include "app/PlayerControl.h"
#include "playlist/PlaylistView.h"
#include "recording/Exporter.h"

namespace lentaro {

namespace {

constexpr int kDoneMessageMs = 8000;
constexpr int kProgressSteps = 1000;
// Room for the name on the one-line status bar, beside the playing file's.
constexpr int kNameWidth = 120;

QString minutesSeconds(double seconds) {
  const auto s = static_cast<long long>(std::llround(std::max(seconds, 0.0)));
  return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString fileName(const QString& path) {
  return path.section(QLatin1Char('/'), -1);
}

}  // namespace

void Form1::wireExport() {
  recording::ExportWidgets widgets;
  widgets.owner = this;
  widgets.Text1 = Text1;
  widgets.ListView1 = ListView1;
  widgets.sldTempo[0] = sldTempo[0];
  widgets.sldTempo[1] = sldTempo[1];
  widgets.sldVolume = sldVolume;
  exporter_ = new recording::Exporter(ui(), widgets, this);
  // The loop range of the file playing, when one is set on its channel.
  exporter_->setLoopRangeSource(
      [this](const QString& path) -> std::optional<recording::ExportRange> {
        if (path != player_->currentFile()) return std::nullopt;
        QWORD start = 0, end = 0;
        if (!BASS_Lentaro_ChannelGetLoop(player_->currentChannel(), &start, &end) || end <= start)
          return std::nullopt;
        return recording::ExportRange{start, end};
      });

  actions_->add({QStringLiteral("export"),
                 QStringLiteral("&File"),
                 QStringLiteral("Export..."),
                 {QKeySequence::fromString(QStringLiteral("Ctrl+E"), QKeySequence::PortableText)},
                 false,
                 false,
                 [this] { exporter_->exportSelected(); }},
                QStringLiteral("quit"));

  // A right click on a row selects it (the list does that itself); the
  // menu's entry then exports it.
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const int row = ListView1->HitTest(at);
    if (row == 0) return;
    ListView1->Select(row);
    auto* menu = new QMenu(ListView1);
    menu->setObjectName(QStringLiteral("playlistMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(actions_->action(QStringLiteral("export")));
    menu->popup(ListView1->viewport()->mapToGlobal(at));
  });
}

void Form1::showExportProgress() {
  // The progress: a name, a bar with percent and time left, and Cancel,
  // at the right of the status bar while an export runs. Its widgets are
  // made at the first export: most sessions never show them, and the
  // start-up does not make them on the way to the first window.
  connect(exporter_, &recording::Exporter::started, this, [this](const QString& out) {
    QWidget* status = exportProgressWidget();
    auto* label = status->findChild<QLabel*>(QStringLiteral("exportLabel"));
    auto* progress = status->findChild<QProgressBar*>(QStringLiteral("exportProgress"));
    // The name shortened in its middle when long; whole in the tip.
    label->setText(QStringLiteral("Exporting ") +
                   label->fontMetrics().elidedText(fileName(out), Qt::ElideMiddle, kNameWidth));
    label->setToolTip(out);
    progress->setValue(0);
    progress->setFormat(QStringLiteral("%p%"));
    status->show();
  });
  connect(exporter_, &recording::Exporter::progressed, this,
          [this](double fraction, double secondsLeft) {
            if (!exportStatus_) return;
            auto* progress =
                exportStatus_->findChild<QProgressBar*>(QStringLiteral("exportProgress"));
            progress->setValue(static_cast<int>(std::lround(fraction * kProgressSteps)));
            progress->setFormat(secondsLeft < 0
                                    ? QStringLiteral("%p%")
                                    : QStringLiteral("%p% \u00b7 ") + minutesSeconds(secondsLeft) +
                                          QStringLiteral(" left"));
          });
  connect(exporter_, &recording::Exporter::finished, this,
          [this](const recording::ExportOutcome& outcome) {
            if (exportStatus_) exportStatus_->hide();
            if (outcome.kind == recording::ExportOutcome::Kind::Done) {
              frame_->statusBar()->showMessage(
                  QStringLiteral("Exported ") + fileName(outcome.outputPath) +
                      QStringLiteral(" (") + minutesSeconds(outcome.seconds) + QStringLiteral(")"),
                  kDoneMessageMs);
            }
          });
}

QWidget* Form1::exportProgressWidget() {
  if (exportStatus_) return exportStatus_;
  QStatusBar* bar = frame_->statusBar();
  exportStatus_ = new QWidget(bar);
  exportStatus_->setObjectName(QStringLiteral("exportStatus"));
  auto* layout = new QHBoxLayout(exportStatus_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  auto* label = new QLabel(exportStatus_);
  label->setObjectName(QStringLiteral("exportLabel"));
  auto* progress = new QProgressBar(exportStatus_);
  progress->setObjectName(QStringLiteral("exportProgress"));
  progress->setRange(0, kProgressSteps);
  progress->setFixedWidth(150);
  progress->setMaximumHeight(bar->height() - 2);
  progress->setTextVisible(true);
  auto* cancel = new QToolButton(exportStatus_);
  cancel->setObjectName(QStringLiteral("exportCancel"));
  cancel->setText(QStringLiteral("Cancel"));
  cancel->setAutoRaise(true);
  cancel->setMaximumHeight(bar->height() - 2);
  cancel->setToolTip(QStringLiteral("Stop the export; nothing is saved"));
  layout->addWidget(label);
  layout->addWidget(progress);
  layout->addWidget(cancel);
  bar->addPermanentWidget(exportStatus_);
  connect(cancel, &QToolButton::clicked, exporter_, &recording::Exporter::cancel);
  return exportStatus_;
}

}  // namespace lentaro
