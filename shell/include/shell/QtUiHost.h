// The program's UiHost: real Qt dialogs, the desktop's file manager and web
// browser. Tests never construct it; they use the scripted host.
//
// Thread: user-interface thread only.
#pragma once

#include "shell/UiHost.h"

namespace lentaro {

class QtUiHost : public UiHost {
 public:
  MsgAnswer messageBox(QWidget* owner, const QString& text, const QString& title,
                       MsgButtons buttons, MsgIcon icon) override;
  QStringList getOpenFileNames(QWidget* owner, const OpenFilesRequest& request) override;
  QString getSaveFileName(QWidget* owner, const SaveFileRequest& request) override;
  QString browseForFolder(QWidget* owner, const QString& title) override;
  QString browseForFolderFrom(QWidget* owner, const QString& title,
                              const QString& startFolder) override;
  bool openFolder(const QString& path) override;
  bool openUrl(const QUrl& url) override;

  // Message texts carry Windows-style breaks ("\r\n", and lone "\r" in the
  // error report); a Qt label shows a lone "\r" as nothing, so every break
  // becomes "\n" for display. The text handed to the host stays unchanged.
  static QString displayText(const QString& text);
};

}  // namespace lentaro
