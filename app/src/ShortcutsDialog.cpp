#include "app/ShortcutsDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "app/ActionTable.h"
#include "shell/UiHost.h"

namespace lentaro {

ShortcutsDialog::ShortcutsDialog(ActionTable& table, UiHost& ui, QWidget* parent)
    : QDialog(parent), table_(table), ui_(ui) {
  setObjectName(QStringLiteral("ShortcutsDialog"));
  setWindowTitle(QString::fromLatin1(kTitle));
  setModal(false);

  auto* intro = new QLabel(
      QStringLiteral(
          "Click a field and press the key (a foot pedal that sends a key works the same way). "
          "The button at its end removes the key."),
      this);
  intro->setWordWrap(true);

  auto* rows = new QWidget;
  auto* grid = new QGridLayout(rows);
  grid->addWidget(new QLabel(QStringLiteral("<b>Command</b>")), 0, 0);
  grid->addWidget(new QLabel(QStringLiteral("<b>Key</b>")), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("<b>Alternate key</b>")), 0, 2);
  int row = 1;
  for (const QString& id : table_.ids()) {
    auto* name = new QLabel(table_.plainText(id));
    grid->addWidget(name, row, 0);
    for (int slot = 0; slot < ActionTable::kMaxKeys; ++slot) {
      auto* edit = new QKeySequenceEdit;
      edit->setObjectName(id + QLatin1Char('.') + QString::number(slot));
      edit->setClearButtonEnabled(true);
      edit->setAccessibleName(
          name->text() + (slot == 0 ? QStringLiteral(": key") : QStringLiteral(": alternate key")));
      // A finished recording applies; so does the clear button, which only
      // empties the field. A new recording empties it too, on its way to the
      // first key of the same press: looked at once that press is over, only
      // a field still empty is a removal.
      connect(edit, &QKeySequenceEdit::editingFinished, this, [this, id] { commit(id); });
      connect(edit, &QKeySequenceEdit::keySequenceChanged, this,
              [this, id, edit](const QKeySequence& key) {
                if (!key.isEmpty() || loading_) return;
                QTimer::singleShot(0, this, [this, id, edit] {
                  if (edit->keySequence().isEmpty()) commit(id);
                });
              });
      grid->addWidget(edit, row, 1 + slot);
      editors_[{id, slot}] = edit;
    }
    ++row;
  }
  auto* scroll = new QScrollArea;
  scroll->setWidget(rows);
  scroll->setWidgetResizable(true);
  scroll->setMinimumWidth(rows->sizeHint().width() + 24);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::RestoreDefaults | QDialogButtonBox::Close);
  reset_ = buttons->button(QDialogButtonBox::RestoreDefaults);
  reset_->setText(QStringLiteral("Reset to defaults"));
  connect(reset_, &QPushButton::clicked, &table_, &ActionTable::resetToDefaults);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(intro);
  layout->addWidget(scroll, 1);
  layout->addWidget(buttons);
  resize(scroll->minimumWidth() + 24, 480);

  connect(&table_, &ActionTable::keysChanged, this, &ShortcutsDialog::reload);
  reload();
}

QKeySequenceEdit* ShortcutsDialog::editor(const QString& id, int slot) const {
  const auto it = editors_.find({id, slot});
  return it == editors_.end() ? nullptr : it->second;
}

void ShortcutsDialog::commit(const QString& id) {
  if (loading_) return;
  QList<QKeySequence> keys;
  for (int slot = 0; slot < ActionTable::kMaxKeys; ++slot)
    if (QKeySequenceEdit* edit = editor(id, slot)) keys.append(edit->keySequence());
  const QList<QKeySequence> before = table_.keys(id);
  const QString holder = table_.setKeys(id, keys);
  if (!holder.isEmpty()) {
    QKeySequence taken;
    for (const QKeySequence& key : std::as_const(keys))
      if (!key.isEmpty() && !before.contains(key) && table_.holderOf(key, id) == holder)
        taken = key;
    ui_.messageBox(
        this,
        QStringLiteral("%1 is already the key of \"%2\". Remove it there first, or choose "
                       "another key.")
            .arg(taken.toString(QKeySequence::NativeText), table_.plainText(holder)),
        QString::fromLatin1(kTitle), MsgButtons::Ok, MsgIcon::Exclamation);
  }
  // Shows what the command holds now: the refused key goes, a cleared key
  // lets the alternate move up.
  reload();
}

void ShortcutsDialog::reload() {
  loading_ = true;
  for (const QString& id : table_.ids()) {
    const QList<QKeySequence> keys = table_.keys(id);
    for (int slot = 0; slot < ActionTable::kMaxKeys; ++slot)
      if (QKeySequenceEdit* edit = editor(id, slot))
        edit->setKeySequence(slot < keys.size() ? keys[slot] : QKeySequence());
  }
  loading_ = false;
}

}  // namespace lentaro
