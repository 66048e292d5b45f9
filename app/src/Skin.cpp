#include "app/Skin.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
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

bool isWordChar(QChar c) {
  const char16_t u = c.unicode();
  return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
         u == u'_';
}

bool isSpace(QChar c) {
  const char16_t u = c.unicode();
  return u == u' ' || (u >= u'\t' && u <= u'\r');
}

// Length of the font rule starting at `at`, or 0 when none starts there.
qsizetype fontRuleAt(const QString& sheet, qsizetype at) {
  const qsizetype n = sheet.size();
  if (at > 0 && isWordChar(sheet[at - 1])) return 0;
  if (!QStringView(sheet).sliced(at).startsWith(u"font")) return 0;
  qsizetype i = at + 4;
  // "font-" and lower-case letters, as in font-size; a name that goes on
  // with anything but spaces and the colon is another property.
  if (i < n && sheet[i] == u'-') {
    qsizetype j = i + 1;
    while (j < n && sheet[j] >= u'a' && sheet[j] <= u'z') ++j;
    if (j > i + 1) i = j;
  }
  while (i < n && isSpace(sheet[i])) ++i;
  if (i >= n || sheet[i] != u':') return 0;
  ++i;
  while (i < n && sheet[i] != u';' && sheet[i] != u'}') ++i;
  if (i < n && sheet[i] == u';') ++i;
  return i - at;
}
}  // namespace

QString withoutFontRules(const QString& sheet) {
  QString out;
  out.reserve(sheet.size());
  qsizetype kept = 0;
  for (qsizetype at = 0; at < sheet.size(); ++at) {
    if (sheet[at] != u'f') continue;
    if (const qsizetype length = fontRuleAt(sheet, at)) {
      out.append(QStringView(sheet).sliced(kept, at - kept));
      at += length - 1;
      kept = at + 1;
    }
  }
  out.append(QStringView(sheet).sliced(kept));
  return out;
}

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
