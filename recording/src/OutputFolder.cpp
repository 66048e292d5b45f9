#include "recording/OutputFolder.h"

#include <QLineEdit>

#include "shell/ErrorTrap.h"
#include "shell/UiHost.h"

namespace lentaro::recording {

OutputFolder::OutputFolder(UiHost& ui, QWidget* owner, QLineEdit* Text1, QObject* parent)
    : QObject(parent), ui_(ui), owner_(owner), Text1_(Text1) {}

void OutputFolder::PushButton3_Click() {
  ErrorTrap trap(ui_, QStringLiteral("Form1.PushButton3_Click"));
  QString chosen;
  trap.run(100, [&] { chosen = ui_.browseForFolder(owner_, QString::fromLatin1(kBrowseTitle)); });
  if (trap.test(102, [&] { return chosen.isEmpty(); })) return;
  trap.run(104, [&] { Text1_->setText(chosen); });
  if (trap.test(106, [&] { return !Text1_->text().endsWith(QLatin1Char('/')); }))
    trap.run(108, [&] { Text1_->setText(Text1_->text() + QLatin1Char('/')); });
}

}  // namespace lentaro::recording
