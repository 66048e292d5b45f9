#include "app/HomePage.h"

#include <QRandomGenerator>
#include <QTime>
#include <memory>

#include "shell/ErrorTrap.h"
#include "shell/UiHost.h"

namespace lentaro {

QUrl homePageUrl() {
  return QUrl(QStringLiteral("https://orvessa.org/lentaro"));
}

int homePageNumber(double unitDraw) {
  return static_cast<int>(unitDraw * 100.0) + 1;
}

bool MaybeOpenHomePage(UiHost& ui, const std::function<double()>& randomUnit) {
  if (homePageNumber(randomUnit()) != kHomePageDraw) return false;
  if (!ui.openUrl(homePageUrl())) throw Failure("The web browser could not be started");
  return true;
}

std::function<double()> timeSeededRandomUnit() {
  auto generator = std::make_shared<QRandomGenerator>(
      static_cast<quint32>(QTime::currentTime().msecsSinceStartOfDay()));
  return [generator] { return generator->generateDouble(); };
}

}  // namespace lentaro
