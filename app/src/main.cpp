// Lentaro: plays MP3 files at a changed tempo and pitch and records what it
// plays. The main window is the start-up object; it shows itself only when
// its start-up has succeeded.
#include <QApplication>

#include "FontWarmup.h"
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

  lentaro::QuitSignals::keepSignalsForTheApplication();
  lentaro::QtUiHost ui;
  lentaro::StartupServices services;
  services.ui = &ui;
  lentaro::Form1 form(services);
  if (!form.Form_Initialize()) return lentaro::kStartupFailedStatus;
  new lentaro::QuitSignals(&form);
  // The desktop's media controls, when there is a session bus.
  lentaro::Mpris::publishOnSessionBus(form);
  form.showCentred();
  return QApplication::exec();
}
