#include "AddDialogsHost.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "UserSettings.h"

namespace lentaro {

namespace {

void remember(const QString& folder) {
  if (folder.isEmpty()) return;
  QSettings settings = lentaroSettings();
  settings.setValue(QString::fromLatin1(AddDialogsHost::kSettingsKey), folder);
  settings.sync();
}

}  // namespace

QString AddDialogsHost::startFolder() {
  const QString stored = lentaroSettings().value(QString::fromLatin1(kSettingsKey)).toString();
  if (!stored.isEmpty() && QFileInfo(stored).isDir()) return stored;
  const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  return QFileInfo(music).isDir() ? music : QDir::homePath();
}

QStringList AddDialogsHost::getOpenFileNames(QWidget* owner, const OpenFilesRequest& request) {
  OpenFilesRequest placed = request;
  if (placed.startFolder.isEmpty()) placed.startFolder = startFolder();
  const QStringList picked = host_.getOpenFileNames(owner, placed);
  if (!picked.isEmpty()) remember(QFileInfo(picked.front()).absolutePath());
  return picked;
}

QString AddDialogsHost::browseForFolder(QWidget* owner, const QString& title) {
  const QString chosen = host_.browseForFolderFrom(owner, title, startFolder());
  if (!chosen.isEmpty()) remember(chosen);
  return chosen;
}

}  // namespace lentaro
