// A UiHost for tests: records every request and answers from a script.
// Message boxes answer with the next queued answer (Ok / No by default),
// dialogs with the next queued result (cancel by default).
#pragma once

#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>
#include <vector>

#include "shell/UiHost.h"

namespace lentaro::testing {

struct ShownMessage {
  QString text;
  QString title;
  MsgButtons buttons;
  MsgIcon icon;
};

class ScriptedUiHost : public UiHost {
 public:
  MsgAnswer messageBox(QWidget*, const QString& text, const QString& title, MsgButtons buttons,
                       MsgIcon icon) override {
    messages.push_back({text, title, buttons, icon});
    if (onMessage) onMessage(messages.back());
    if (!answers.empty()) {
      MsgAnswer a = answers.front();
      answers.pop_front();
      return a;
    }
    return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
  }

  QStringList getOpenFileNames(QWidget*, const OpenFilesRequest& request) override {
    fileRequests.push_back(request);
    if (fileResults.empty()) return {};
    QStringList r = fileResults.front();
    fileResults.pop_front();
    return r;
  }

  QString getSaveFileName(QWidget*, const SaveFileRequest& request) override {
    saveRequests.push_back(request);
    if (saveResults.empty()) return {};
    QString r = saveResults.front();
    saveResults.pop_front();
    return r;
  }

  QString browseForFolderFrom(QWidget* owner, const QString& title,
                              const QString& startFolder) override {
    folderStartFolders.push_back(startFolder);
    return browseForFolder(owner, title);
  }

  QString browseForFolder(QWidget*, const QString& title) override {
    folderTitles.push_back(title);
    if (folderResults.empty()) return {};
    QString r = folderResults.front();
    folderResults.pop_front();
    return r;
  }

  bool openFolder(const QString& path) override {
    openedFolders.push_back(path);
    return true;
  }

  bool openUrl(const QUrl& url) override {
    openedUrls.push_back(url);
    return true;
  }

  // Script
  std::deque<MsgAnswer> answers;
  std::deque<QStringList> fileResults;
  std::deque<QString> folderResults;
  std::deque<QString> saveResults;  // save dialogs: the path chosen (cancel by default)
  std::function<void(const ShownMessage&)> onMessage;  // runs before answering

  // Record
  std::vector<ShownMessage> messages;
  std::vector<OpenFilesRequest> fileRequests;
  std::vector<SaveFileRequest> saveRequests;
  QStringList folderTitles;
  QStringList folderStartFolders;  // of the browsers opened at a given folder
  QStringList openedFolders;
  std::vector<QUrl> openedUrls;
};

}  // namespace lentaro::testing
