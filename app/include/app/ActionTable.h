// The window's commands, one QAction each, registered by a stable id: the
// menus are built from this table in the order of registration, the keys
// come from it, and the keyboard shortcuts dialog edits it. A new command
// (a later File entry, a Playback entry) is one more add() call.
//
// Keys: each command has up to kMaxKeys key sequences. The defaults are
// given at registration; what the user changes is stored in the settings
// (organisation "Orvessa", application "Lentaro") under
// "Shortcuts/<id>" as a list of key sequences in portable text, an empty
// list meaning "no key". A command without a stored entry has its
// defaults. No key belongs to two commands: setKeys refuses a key another
// command holds, and at load a stored key wins over another command's
// default.
//
// The actions are added to the window given at construction, so their keys
// work wherever the focus is in it (Qt::WindowShortcut); which keys a
// focused control keeps for itself is decided by the window.
//
// Owned by the main window (a QObject child). Thread: user-interface thread.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QAction;
class QMenuBar;
class QWidget;

namespace lentaro {

struct Command {
  QString id;    // settings key under "Shortcuts/"; letters only
  QString menu;  // the menu's title, with its mnemonic ("&Playback")
  QString text;  // the entry's text
  QList<QKeySequence> defaultKeys;
  bool separatorBefore = false;
  // Held keys repeat the command (steps); toggles run once per press.
  bool autoRepeat = false;
  std::function<void()> run;
  // A submenu of `menu` the entry goes in ("Sound quality"), or none.
  QString submenu = {};
};

class ActionTable : public QObject {
  Q_OBJECT

 public:
  static constexpr int kMaxKeys = 2;
  static constexpr const char* kSettingsGroup = "Shortcuts";

  // window: where the actions are added so their keys work; it outlives
  // the table.
  ActionTable(QWidget* window, QObject* parent = nullptr);
  ~ActionTable() override;

  // Registers a command with its defaults (stored keys are applied by
  // loadKeys). Ids are unique. It is placed after the commands registered
  // so far, or before the command `before` (an Export... before Quit).
  QAction* add(Command command, const QString& before = {});

  QAction* action(const QString& id) const;
  // Runs the command as its menu entry does.
  void trigger(const QString& id) const;
  QStringList ids() const;
  // The text as the menu shows it, without its mnemonic marks; an entry
  // of a submenu is named with it ("Sound quality: High").
  QString plainText(const QString& id) const;

  QList<QKeySequence> keys(const QString& id) const;
  QList<QKeySequence> defaultKeys(const QString& id) const;
  // The command other than `except` that holds `key`, or an empty id.
  QString holderOf(const QKeySequence& key, const QString& except = {}) const;

  // Gives a command its keys (empty sequences dropped, at most kMaxKeys)
  // and stores them. Returns the id of a command holding one of them, and
  // changes nothing then; an empty id on success.
  QString setKeys(const QString& id, QList<QKeySequence> keys);
  // Every command back to its defaults; the stored keys are removed.
  void resetToDefaults();
  // Applies the stored keys over the defaults; call after the last add().
  void loadKeys();

  // Empty menus with these titles, in this order, for buildMenus to fill:
  // the bar shows its titles before the commands exist.
  static void addMenus(QMenuBar* bar, const QStringList& titles);

  // One menu per distinct Command::menu, in order of first appearance
  // (after the bar's own menus, which are filled), and in it one submenu per
  // distinct Command::submenu, where its first entry would be.
  void buildMenus(QMenuBar* bar) const;

 Q_SIGNALS:
  void keysChanged();

 private:
  struct Entry {
    Command command;
    QAction* action = nullptr;
  };
  const Entry* find(const QString& id) const;
  void apply(const Entry& entry, const QList<QKeySequence>& keys);
  void store(const QString& id, const QList<QKeySequence>& keys) const;

  QWidget* window_;
  std::vector<Entry> entries_;
};

}  // namespace lentaro
