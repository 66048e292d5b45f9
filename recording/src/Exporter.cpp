#include "recording/Exporter.h"

#include <QDir>
#include <QLineEdit>
#include <QSlider>

#include "playlist/PlaylistView.h"
#include "recording/EncoderResource.h"
#include "recording/ExportName.h"
#include "shell/AppTitle.h"
#include "shell/UiHost.h"

namespace lentaro::recording {

namespace {

QString quotedName(const QString& path) {
  return QStringLiteral("\u201c") + path.section(QLatin1Char('/'), -1) + QStringLiteral("\u201d");
}

}  // namespace

Exporter::Exporter(UiHost& ui, const ExportWidgets& widgets, QObject* parent)
    : QObject(parent),
      ui_(ui),
      w_(widgets),
      encoderSource_(&LoadEncoderResource),
      encoderTempRoot_(QDir::tempPath()) {}

Exporter::~Exporter() {
  cancelAndWait();
}

void Exporter::cancelAndWait() {
  if (!worker_.joinable()) return;
  cancel_.store(true);
  worker_.join();
}

void Exporter::refuseWhileRunning() {
  ui_.messageBox(w_.owner,
                 QStringLiteral("An export is already running (%1). Wait for it to finish, or "
                                "cancel it on the status bar, before starting another.")
                     .arg(quotedName(current_.outputPath)),
                 AppTitle(), MsgButtons::Ok, MsgIcon::Information);
}

void Exporter::exportSelected() {
  if (running()) {
    refuseWhileRunning();
    return;
  }
  const std::optional<playlist::ListItem> selected = w_.ListView1->SelectedItem();
  if (!selected || selected->Text.isEmpty()) {
    ui_.messageBox(w_.owner, QStringLiteral("Select a file in the list to export."), AppTitle(),
                   MsgButtons::Ok, MsgIcon::None);
    return;
  }
  const QString source = selected->Text;
  const int tempo = w_.sldTempo[0]->value();
  const int pitch = w_.sldTempo[1]->value();
  SaveFileRequest request;
  request.title = QString::fromLatin1(kDialogTitle);
  request.filter = ExportDialogFilter();
  request.proposedPath = ExportProposedPath(w_.Text1->text(), source, tempo, pitch);
  QString path = ui_.getSaveFileName(w_.owner, request);
  if (path.isEmpty()) return;
  if (ExportNameLacksExtension(path)) path += QStringLiteral(".mp3");
  const std::optional<ExportFormat> format = ExportFormatOf(path);
  if (!format) {
    ui_.messageBox(w_.owner,
                   QStringLiteral("Lentaro exports MP3, WAV and FLAC files. Please end the file "
                                  "name with .mp3, .wav or .flac."),
                   AppTitle(), MsgButtons::Ok, MsgIcon::Exclamation);
    return;
  }
  ExportRequest r;
  r.sourcePath = source;
  r.outputPath = path;
  r.format = *format;
  // The values the sliders give the channel.
  r.tempo = static_cast<float>(tempo);
  r.pitch = static_cast<float>(pitch);
  r.volume = static_cast<float>(w_.sldVolume->value()) / 100.0f;
  if (loopRange_) {
    if (const std::optional<ExportRange> range = loopRange_(source)) {
      r.startByte = range->startByte;
      r.endByte = range->endByte;
    }
  }
  start(r);
}

bool Exporter::start(const ExportRequest& request) {
  if (running()) {
    refuseWhileRunning();
    return false;
  }
  current_ = request;
  cancel_.store(false);
  clock_.start();
  ExportJob job(request, encoderSource_, encoderTempRoot_);
  worker_ = std::thread([this, job = std::move(job)]() mutable {
    QElapsedTimer sincePosted;
    bool posted = false;
    const ExportOutcome outcome = job.run(cancel_, [&](double fraction) {
      if (posted && sincePosted.elapsed() < kProgressIntervalMs) return;
      posted = true;
      sincePosted.start();
      QMetaObject::invokeMethod(
          this, [this, fraction] { onProgress(fraction); }, Qt::QueuedConnection);
    });
    // The last thing the thread does: onFinished() joins it.
    QMetaObject::invokeMethod(
        this, [this, outcome] { onFinished(outcome); }, Qt::QueuedConnection);
  });
  Q_EMIT started(request.outputPath);
  return true;
}

void Exporter::cancel() {
  if (running()) cancel_.store(true);
}

void Exporter::onProgress(double fraction) {
  if (!running()) return;
  const double elapsed = static_cast<double>(clock_.elapsed()) / 1000.0;
  // Known once a little has been done: a steady rate from then on.
  const double left = fraction >= 0.02 && elapsed >= 0.3 ? elapsed * (1 - fraction) / fraction : -1;
  Q_EMIT progressed(fraction, left);
}

void Exporter::onFinished(const ExportOutcome& outcome) {
  if (!worker_.joinable()) return;  // ended by cancelAndWait()
  worker_.join();
  Q_EMIT finished(outcome);
  const QString name = quotedName(current_.sourcePath);
  switch (outcome.kind) {
    case ExportOutcome::Kind::Done:
      break;
    case ExportOutcome::Kind::Cancelled:
      ui_.messageBox(w_.owner,
                     QStringLiteral("The export of %1 was cancelled. Nothing was saved.").arg(name),
                     AppTitle(), MsgButtons::Ok, MsgIcon::Information);
      break;
    case ExportOutcome::Kind::Failed:
      ui_.messageBox(w_.owner,
                     QStringLiteral("%1 could not be exported.\n\n%2\n\nNothing was saved.")
                         .arg(name, outcome.reason),
                     AppTitle(), MsgButtons::Ok, MsgIcon::Exclamation);
      break;
  }
}

}  // namespace lentaro::recording
