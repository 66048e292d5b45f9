// The "Keyboard Shortcuts" dialog: every command of the window with its key
// and an alternate key, each edited in place (press the key, or the pedal
// that sends one; the clear button removes it). A key that another command
// holds is refused with a message through the dialogs seam and the edit
// goes back to what it was. "Reset to defaults" gives every command its
// default keys again. Every change applies and is stored at once.
//
// Not modal: the window keeps working while it is open. Made by the window
// (Form1::showShortcutsDialog) as a child of the outer window; the table and
// the host outlive it. Thread: user-interface thread.
#pragma once

#include <QDialog>
#include <QString>
#include <map>
#include <utility>

class QKeySequenceEdit;
class QPushButton;

namespace lentaro {

class ActionTable;
class UiHost;

class ShortcutsDialog : public QDialog {
  Q_OBJECT

 public:
  ShortcutsDialog(ActionTable& table, UiHost& ui, QWidget* parent);

  // The editor of a command's key (slot 0) or alternate key (slot 1).
  QKeySequenceEdit* editor(const QString& id, int slot) const;
  QPushButton* resetButton() const { return reset_; }

  // Applies what the command's editors hold, as finishing an edit does.
  void commit(const QString& id);

  static constexpr const char* kTitle = "Keyboard Shortcuts";

 private:
  void reload();

  ActionTable& table_;
  UiHost& ui_;
  std::map<std::pair<QString, int>, QKeySequenceEdit*> editors_;
  QPushButton* reset_ = nullptr;
  bool loading_ = false;
};

}  // namespace lentaro
