#include "recording/RecordingName.h"

#include <QDir>
#include <QFileInfo>

namespace lentaro::recording {

std::optional<QString> RecordingBaseName(const QString& sourcePath) {
  const QString fileName = sourcePath.split(QLatin1Char('/')).constLast();
  const QStringList pieces = fileName.split(QLatin1Char('.'));
  if (pieces.size() < 2) return std::nullopt;
  return pieces.mid(0, pieces.size() - 1).join(QLatin1Char('.'));
}

QString RecordingOutputFile(const QString& outputFolder, const QString& baseName) {
  QString file = outputFolder;
  if (!file.endsWith(QLatin1Char('/'))) file += QLatin1Char('/');
  return file + baseName + QLatin1String(kRecordedSuffix);
}

QStringList EncoderArguments(const QString& program, const QString& outputFile) {
  const QString output =
      QDir::isAbsolutePath(outputFile) ? outputFile : QDir::current().absoluteFilePath(outputFile);
  return {program, QStringLiteral("-"), output};
}

}  // namespace lentaro::recording
