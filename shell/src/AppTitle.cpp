#include "shell/AppTitle.h"

namespace lentaro {

const char* const kProductName = "Lentaro";

namespace {
constexpr int kMaxTitleLength = 40;

QString& currentTitle() {
  static QString title = QString::fromLatin1(kProductName);
  return title;
}

// One cut: everything from the last space on goes. No space, no change.
QString cutAtLastSpace(const QString& text) {
  const qsizetype space = text.lastIndexOf(QLatin1Char(' '));
  return space < 0 ? text : text.left(space);
}
}  // namespace

QString appTitleFor(const QString& productName) {
  QString title = cutAtLastSpace(productName);
  while (title.size() > kMaxTitleLength) {
    const QString shorter = cutAtLastSpace(title);
    if (shorter == title) break;  // one long word: nothing more to cut
    title = shorter;
  }
  return title;
}

void SetAppTitle(const QString& productName) {
  currentTitle() = appTitleFor(productName);
}

QString AppTitle() {
  return currentTitle();
}

}  // namespace lentaro
