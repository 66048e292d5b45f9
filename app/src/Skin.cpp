#include "app/Skin.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QRegularExpression>
#include <QWidget>

#include "shell/ErrorTrap.h"

namespace lentaro {

namespace {
void paintBackground(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

QString withoutFontRules(QString sheet) {
  static const QRegularExpression fontRule(QStringLiteral(R"(\bfont(-[a-z]+)?\s*:[^;}]*;?)"));
  return sheet.remove(fontRule);
}
}  // namespace

void SkinFramework::LoadSkin(const QString& path, const QString& section) {
  Q_UNUSED(section);
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    throw Failure(QString(QStringLiteral("Skin file could not be read: ") + file.errorString())
                      .toStdString());
  sheet_ = QString::fromUtf8(file.readAll());
}

void SkinFramework::ApplyWindow(QWidget* window) const {
  if (!window || !(ApplyOptions & kApplyStyleSheet)) return;
  window->setStyleSheet(KeepFonts ? withoutFontRules(sheet_) : sheet_);
  if (PolishNow) {
    window->ensurePolished();
    for (QWidget* child : window->findChildren<QWidget*>()) child->ensurePolished();
  }
}

QString skinFilePath(const QString& appDir) {
  return appDir + QStringLiteral("/x/o.cjs");
}

bool isOrdinaryFile(const QString& path) {
  const QFileInfo info(path);
  return info.isFile() && !info.isHidden();
}

bool skinMainWindow(QWidget* window, SkinFramework& skin, const QString& skinPath) {
  if (!isOrdinaryFile(skinPath)) return false;

  const QColor buttonFace = QApplication::palette().color(QPalette::Active, QPalette::Button);
  paintBackground(window, buttonFace);
  for (QWidget* child : window->findChildren<QWidget*>()) {
    if (qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child) ||
        qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child))
      paintBackground(child, buttonFace);
  }

  skin.LoadSkin(skinPath, QString());
  skin.ApplyOptions |= SkinFramework::kApplyStyleSheet;
  skin.KeepFonts = true;
  skin.PolishNow = true;
  skin.ApplyWindow(window);
  return true;
}

}  // namespace lentaro
