// Everything that would wait for a person or leave the program goes through
// this one interface: message boxes, the file and folder dialogs, the file
// manager and the web browser. The program uses QtUiHost; tests use a
// scripted host that records what was asked and answers as told, so that
// nothing modal ever waits in a test.
//
// Thread: user-interface thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

namespace lentaro {

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Critical, Exclamation, Question, Information };
enum class MsgAnswer { Ok, Yes, No };

struct OpenFilesRequest {
  QString title;
  QString filter;  // Qt form: "MP3 Files (*.mp3)"
  bool multiSelect = true;
  // The folder the dialog opens in; empty: the current folder.
  QString startFolder;
};

struct SaveFileRequest {
  QString title;
  QString filter;  // Qt form: "MP3 (*.mp3);;WAV (*.wav)"
  // The path the dialog offers: its folder, and its name to keep or edit.
  QString proposedPath;
};

class UiHost {
 public:
  virtual ~UiHost() = default;

  // Modal; returns the button pressed.
  virtual MsgAnswer messageBox(QWidget* owner, const QString& text, const QString& title,
                               MsgButtons buttons, MsgIcon icon) = 0;

  // Modal file-open dialog. The picked paths in the dialog's order; empty
  // when cancelled.
  virtual QStringList getOpenFileNames(QWidget* owner, const OpenFilesRequest& request) = 0;

  // Modal file-save dialog, which asks before replacing a file. The chosen
  // path, or empty when cancelled.
  virtual QString getSaveFileName(QWidget* owner, const SaveFileRequest& request) = 0;

  // Modal folder browser. The chosen folder (no trailing separator unless it
  // is the root "/"), or empty when cancelled.
  virtual QString browseForFolder(QWidget* owner, const QString& title) = 0;

  // The same browser opened at startFolder (empty: where browseForFolder
  // opens). Hosts that cannot place it fall back to browseForFolder.
  virtual QString browseForFolderFrom(QWidget* owner, const QString& title,
                                      const QString& startFolder) {
    (void)startFolder;
    return browseForFolder(owner, title);
  }

  // Shows a folder in the desktop's file manager. False when nothing could
  // be started; callers that must stay silent ignore it.
  virtual bool openFolder(const QString& path) = 0;

  // Opens an address in the web browser, minimised where the desktop allows.
  virtual bool openUrl(const QUrl& url) = 0;
};

}  // namespace lentaro
