#include "recording/ExportName.h"

#include "recording/RecordingName.h"

namespace lentaro::recording {

QString ExportProposedPath(const QString& outputFolder, const QString& sourcePath, int tempo,
                           int pitch) {
  const QString base =
      RecordingBaseName(sourcePath).value_or(sourcePath.section(QLatin1Char('/'), -1));
  QString path = outputFolder;
  if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
  return path + base + QLatin1Char('_') + QString::number(tempo) + QLatin1Char('_') +
         QString::number(pitch) + QStringLiteral(".mp3");
}

std::optional<ExportFormat> ExportFormatOf(const QString& path) {
  const QString name = path.section(QLatin1Char('/'), -1);
  if (name.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive)) return ExportFormat::Mp3;
  if (name.endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive)) return ExportFormat::Wav;
  if (name.endsWith(QStringLiteral(".flac"), Qt::CaseInsensitive)) return ExportFormat::Flac;
  return std::nullopt;
}

bool ExportNameLacksExtension(const QString& path) {
  const QString name = path.section(QLatin1Char('/'), -1);
  return name.lastIndexOf(QLatin1Char('.')) <= 0;
}

QString ExportDialogFilter() {
  return QStringLiteral("MP3 (*.mp3);;WAV (*.wav);;FLAC (*.flac)");
}

}  // namespace lentaro::recording
