#include "app/ActionTable.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>
#include <algorithm>
#include <map>
#include <utility>

#include "UserSettings.h"

namespace lentaro {

namespace {

QList<QKeySequence> cleaned(const QList<QKeySequence>& keys) {
  QList<QKeySequence> out;
  for (const QKeySequence& key : keys) {
    if (key.isEmpty() || out.contains(key)) continue;
    out.append(key);
    if (out.size() == ActionTable::kMaxKeys) break;
  }
  return out;
}

QList<QKeySequence> fromStored(const QStringList& texts) {
  QList<QKeySequence> keys;
  for (const QString& text : texts)
    keys.append(QKeySequence::fromString(text, QKeySequence::PortableText));
  return cleaned(keys);
}

QString withoutMnemonics(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  return text;
}

// "&Playback" -> "playbackMenu".
QString menuObjectName(const QString& title) {
  QString name = withoutMnemonics(title);
  name.remove(QLatin1Char(' '));
  name[0] = name[0].toLower();
  return name + QStringLiteral("Menu");
}

QString settingsKey(const QString& id) {
  return QString::fromLatin1(ActionTable::kSettingsGroup) + QLatin1Char('/') + id;
}

}  // namespace

ActionTable::ActionTable(QWidget* window, QObject* parent) : QObject(parent), window_(window) {}

ActionTable::~ActionTable() = default;

QAction* ActionTable::add(Command command, const QString& before) {
  Q_ASSERT(!find(command.id));
  auto* action = new QAction(command.text, this);
  action->setObjectName(command.id);
  action->setShortcutContext(Qt::WindowShortcut);
  action->setAutoRepeat(command.autoRepeat);
  command.defaultKeys = cleaned(command.defaultKeys);
  action->setShortcuts(command.defaultKeys);
  connect(action, &QAction::triggered, this, [run = command.run] {
    if (run) run();
  });
  window_->addAction(action);
  const auto at = std::find_if(entries_.begin(), entries_.end(),
                               [&before](const Entry& e) { return e.command.id == before; });
  entries_.insert(before.isEmpty() ? entries_.end() : at, {std::move(command), action});
  return action;
}

const ActionTable::Entry* ActionTable::find(const QString& id) const {
  for (const Entry& e : entries_)
    if (e.command.id == id) return &e;
  return nullptr;
}

QAction* ActionTable::action(const QString& id) const {
  const Entry* e = find(id);
  return e ? e->action : nullptr;
}

void ActionTable::trigger(const QString& id) const {
  if (QAction* a = action(id)) a->trigger();
}

QStringList ActionTable::ids() const {
  QStringList out;
  for (const Entry& e : entries_) out.append(e.command.id);
  return out;
}

QString ActionTable::plainText(const QString& id) const {
  const Entry* e = find(id);
  if (!e) return {};
  const QString text = withoutMnemonics(e->command.text);
  if (e->command.submenu.isEmpty()) return text;
  return withoutMnemonics(e->command.submenu) + QStringLiteral(": ") + text;
}

QList<QKeySequence> ActionTable::keys(const QString& id) const {
  const Entry* e = find(id);
  return e ? e->action->shortcuts() : QList<QKeySequence>();
}

QList<QKeySequence> ActionTable::defaultKeys(const QString& id) const {
  const Entry* e = find(id);
  return e ? e->command.defaultKeys : QList<QKeySequence>();
}

QString ActionTable::holderOf(const QKeySequence& key, const QString& except) const {
  if (key.isEmpty()) return {};
  for (const Entry& e : entries_)
    if (e.command.id != except && e.action->shortcuts().contains(key)) return e.command.id;
  return {};
}

QString ActionTable::setKeys(const QString& id, QList<QKeySequence> keys) {
  const Entry* e = find(id);
  if (!e) return {};
  keys = cleaned(keys);
  for (const QKeySequence& key : std::as_const(keys))
    if (const QString holder = holderOf(key, id); !holder.isEmpty()) return holder;
  apply(*e, keys);
  store(id, keys);
  Q_EMIT keysChanged();
  return {};
}

void ActionTable::resetToDefaults() {
  QSettings settings = lentaroSettings();
  settings.remove(QString::fromLatin1(kSettingsGroup));
  settings.sync();
  for (const Entry& e : entries_) apply(e, e.command.defaultKeys);
  Q_EMIT keysChanged();
}

void ActionTable::loadKeys() {
  QSettings settings = lentaroSettings();
  std::map<QString, QList<QKeySequence>> stored;
  for (const Entry& e : entries_) {
    const QString key = settingsKey(e.command.id);
    if (settings.contains(key))
      stored[e.command.id] = fromStored(settings.value(key).toStringList());
  }
  // What the user chose first; the defaults then get only what is left.
  QList<QKeySequence> taken;
  const auto take = [&taken](const QList<QKeySequence>& wanted) {
    QList<QKeySequence> granted;
    for (const QKeySequence& key : wanted)
      if (!taken.contains(key)) granted.append(key);
    taken.append(granted);
    return granted;
  };
  for (const Entry& e : entries_)
    if (const auto it = stored.find(e.command.id); it != stored.end()) apply(e, take(it->second));
  for (const Entry& e : entries_)
    if (!stored.count(e.command.id)) apply(e, take(e.command.defaultKeys));
  Q_EMIT keysChanged();
}

void ActionTable::apply(const Entry& entry, const QList<QKeySequence>& keys) {
  entry.action->setShortcuts(keys);
}

void ActionTable::store(const QString& id, const QList<QKeySequence>& keys) const {
  const Entry* e = find(id);
  QSettings settings = lentaroSettings();
  if (e && keys == e->command.defaultKeys) {
    settings.remove(settingsKey(id));
  } else {
    QStringList texts;
    for (const QKeySequence& key : keys) texts.append(key.toString(QKeySequence::PortableText));
    settings.setValue(settingsKey(id), texts);
  }
  // The process may end at once on close; the keys must be on disk now.
  settings.sync();
}

void ActionTable::addMenus(QMenuBar* bar, const QStringList& titles) {
  for (const QString& title : titles) bar->addMenu(title)->setObjectName(menuObjectName(title));
}

void ActionTable::buildMenus(QMenuBar* bar) const {
  std::map<QString, QMenu*> menus;
  std::map<std::pair<QString, QString>, QMenu*> submenus;
  // Menus already on the bar (addMenus) are filled, not made again.
  for (QAction* item : bar->actions())
    if (QMenu* menu = item->menu()) menus[menu->title()] = menu;
  for (const Entry& e : entries_) {
    QMenu*& menu = menus[e.command.menu];
    if (!menu) {
      menu = bar->addMenu(e.command.menu);
      menu->setObjectName(menuObjectName(e.command.menu));
    }
    if (e.command.separatorBefore && !menu->actions().isEmpty()) menu->addSeparator();
    if (e.command.submenu.isEmpty()) {
      menu->addAction(e.action);
      continue;
    }
    QMenu*& sub = submenus[{e.command.menu, e.command.submenu}];
    if (!sub) {
      sub = menu->addMenu(e.command.submenu);
      sub->setObjectName(menuObjectName(e.command.submenu));
    }
    sub->addAction(e.action);
  }
}

}  // namespace lentaro
