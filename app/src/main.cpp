// Lentaro: plays MP3 files at a changed tempo and pitch and records what it
// plays. The main window is the start-up object; it shows itself only when
// its start-up has succeeded.
#include <QApplication>
#include <QTimer>

#include "FontWarmup.h"
#include "app/AppStyle.h"
#include "app/Form1.h"
#include "app/Mpris.h"
#include "app/QuitSignals.h"
#include "shell/QtUiHost.h"

int main(int argc, char** argv) {
  lentaro::FontWarmup fonts;
  QApplication app(argc, argv);
  fonts.join();
  QApplication::setOrganizationName(QStringLiteral("Orvessa"));
  QApplication::setApplicationName(QStringLiteral("Lentaro"));

  lentaro::installAppStyle();
  lentaro::QuitSignals::keepSignalsForTheApplication();
  lentaro::QtUiHost ui;
  lentaro::StartupServices services;
  services.ui = &ui;
  services.finishAfterFirstPaint = true;
  lentaro::Form1 form(services);
  if (!form.Form_Initialize()) return lentaro::kStartupFailedStatus;
  new lentaro::QuitSignals(&form);
  form.showCentred();
  // The desktop's media controls, when there is a session bus: once the
  // window is up, since reaching the bus is a round trip to another process.
  QTimer::singleShot(0, &form, [&form] { lentaro::Mpris::publishOnSessionBus(form); });
  return QApplication::exec();
}
