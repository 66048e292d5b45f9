#include "app/QuitSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QWidget>

namespace lentaro {

namespace {
int gPipe[2] = {-1, -1};

extern "C" void onQuitSignal(int) {
  const char byte = 1;
  // Async-signal-safe; a full pipe already holds a pending request.
  [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &byte, 1);
}
}  // namespace

void QuitSignals::keepSignalsForTheApplication() {
  // SDL's audio start installs SIGINT/SIGTERM handlers that only queue an
  // event nobody reads; with this the signals stay ours.
  ::setenv("SDL_NO_SIGNAL_HANDLERS", "1", 0);
}

QuitSignals::QuitSignals(QWidget* window) : QObject(window) {
  if (gPipe[0] < 0 && ::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, window, [window] {
    char drain[16];
    while (::read(gPipe[0], drain, sizeof drain) > 0) {
    }
    window->close();
  });
  struct sigaction action {};
  action.sa_handler = &onQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

QuitSignals::~QuitSignals() {
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
}

}  // namespace lentaro
