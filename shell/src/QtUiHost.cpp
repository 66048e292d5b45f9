#include "shell/QtUiHost.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace lentaro {

namespace {
QMessageBox::Icon toQt(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Critical:
      return QMessageBox::Critical;
    case MsgIcon::Exclamation:
      return QMessageBox::Warning;
    case MsgIcon::Question:
      return QMessageBox::Question;
    case MsgIcon::Information:
      return QMessageBox::Information;
    case MsgIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}
}  // namespace

QString QtUiHost::displayText(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

MsgAnswer QtUiHost::messageBox(QWidget* owner, const QString& text, const QString& title,
                               MsgButtons buttons, MsgIcon icon) {
  const auto qtButtons = buttons == MsgButtons::YesNo
                             ? (QMessageBox::Yes | QMessageBox::No)
                             : QMessageBox::StandardButtons(QMessageBox::Ok);
  QMessageBox box(toQt(icon), title, displayText(text), qtButtons, owner);
  box.setTextFormat(Qt::PlainText);
  const int pressed = box.exec();
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  return pressed == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

QStringList QtUiHost::getOpenFileNames(QWidget* owner, const OpenFilesRequest& request) {
  if (request.multiSelect)
    return QFileDialog::getOpenFileNames(owner, request.title, request.startFolder, request.filter);
  const QString one =
      QFileDialog::getOpenFileName(owner, request.title, request.startFolder, request.filter);
  return one.isEmpty() ? QStringList() : QStringList{one};
}

QString QtUiHost::getSaveFileName(QWidget* owner, const SaveFileRequest& request) {
  return QFileDialog::getSaveFileName(owner, request.title, request.proposedPath, request.filter);
}

QString QtUiHost::browseForFolder(QWidget* owner, const QString& title) {
  return browseForFolderFrom(owner, title, QString());
}

QString QtUiHost::browseForFolderFrom(QWidget* owner, const QString& title,
                                      const QString& startFolder) {
  const QString picked = QFileDialog::getExistingDirectory(owner, title, startFolder);
  if (picked.isEmpty()) return {};
  const QString clean = QDir::cleanPath(picked);  // drops a trailing "/" except for the root
  return clean;
}

bool QtUiHost::openFolder(const QString& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtUiHost::openUrl(const QUrl& url) {
  return QDesktopServices::openUrl(url);
}

}  // namespace lentaro
