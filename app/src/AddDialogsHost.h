// The dialogs seam as the playlist's adding commands see it: "Add MP3
// File(s)" and "Add All MP3 File(s) In Folder" open where the user last
// added from, or in the Music folder the first time; everything else passes
// through to the window's host unchanged.
//
// The folder is stored in the settings under "AddFrom" when a dialog
// returns a choice: the folder of the first file picked, or the folder
// chosen. A stored folder that no longer exists counts as none.
//
// Holds the window's host, which outlives it. Thread: user-interface thread.
#pragma once

#include "shell/UiHost.h"

namespace lentaro {

class AddDialogsHost : public UiHost {
 public:
  explicit AddDialogsHost(UiHost& host) : host_(host) {}

  static constexpr const char* kSettingsKey = "AddFrom";

  // Where the next adding dialog opens.
  static QString startFolder();

  MsgAnswer messageBox(QWidget* owner, const QString& text, const QString& title,
                       MsgButtons buttons, MsgIcon icon) override {
    return host_.messageBox(owner, text, title, buttons, icon);
  }
  QStringList getOpenFileNames(QWidget* owner, const OpenFilesRequest& request) override;
  QString getSaveFileName(QWidget* owner, const SaveFileRequest& request) override {
    return host_.getSaveFileName(owner, request);
  }
  QString browseForFolder(QWidget* owner, const QString& title) override;
  QString browseForFolderFrom(QWidget* owner, const QString& title,
                              const QString& startFolder) override {
    return host_.browseForFolderFrom(owner, title, startFolder);
  }
  bool openFolder(const QString& path) override { return host_.openFolder(path); }
  bool openUrl(const QUrl& url) override { return host_.openUrl(url); }

 private:
  UiHost& host_;
};

}  // namespace lentaro
