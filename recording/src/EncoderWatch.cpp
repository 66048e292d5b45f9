#include "recording/EncoderWatch.h"

#include <algorithm>

#include "shell/AppTitle.h"
#include "shell/UiHost.h"

namespace lentaro::recording {

EncoderWatch::EncoderWatch(UiHost& ui, QWidget* owner, QObject* parent)
    : QObject(parent), ui_(ui), owner_(owner) {
  poll_.setInterval(kPollMs);
  connect(&poll_, &QTimer::timeout, this, &EncoderWatch::check);
}

void EncoderWatch::started(HENCODE encoder, const QString& outputFile) {
  if (encoder != 0) entries_.push_back({encoder, outputFile, false});
}

void EncoderWatch::ended(HENCODE encoder) {
  for (Entry& e : entries_)
    if (e.encoder == encoder) e.ended = true;
  check();
}

QString EncoderWatch::failureText(const QString& outputFile, const BASS_ENCODE_STATUS& status) {
  QString cause;
  if (status.termSignal != 0)
    cause = QStringLiteral("(the encoder was ended by signal ") +
            QString::number(status.termSignal) + QLatin1Char(')');
  else if (status.exitStatus >= 0)
    cause = QStringLiteral("(encoder exit status: ") + QString::number(status.exitStatus) +
            QLatin1Char(')');
  else
    cause = QStringLiteral("(the encoder stopped taking the sound)");
  return QStringLiteral("The recording could not be completed:\r\n") + outputFile +
         QStringLiteral("\r\n\r\n") + cause;
}

void EncoderWatch::check() {
  // Collected first: the message box below lets events run, and they may
  // start or end other recordings.
  std::vector<std::pair<QString, BASS_ENCODE_STATUS>> failures;
  for (auto it = entries_.begin(); it != entries_.end();) {
    BASS_ENCODE_STATUS status{};
    const bool known = BASS_Encode_GetStatus(it->encoder, &status) != 0;
    if (!it->ended || (known && !status.failed && status.running)) {
      ++it;
      continue;
    }
    if (known && status.failed) failures.emplace_back(it->outputFile, status);
    it = entries_.erase(it);
  }
  const bool finishing =
      std::any_of(entries_.begin(), entries_.end(), [](const Entry& e) { return e.ended; });
  if (finishing && !poll_.isActive()) poll_.start();
  if (!finishing) poll_.stop();
  for (const auto& [file, status] : failures)
    ui_.messageBox(owner_, failureText(file, status), AppTitle(), MsgButtons::Ok,
                   MsgIcon::Exclamation);
}

}  // namespace lentaro::recording
