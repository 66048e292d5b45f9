// SIGINT and SIGTERM (Ctrl+C, logout, kill) close the main window the normal
// way, so the engine is freed and a running recording gets its file
// finished. The signal handler only writes a byte to a pipe; the window is
// closed on the user-interface thread when the pipe becomes readable.
#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

namespace lentaro {

class QuitSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; `window` is closed on the first signal. Also
  // keeps the audio library from taking the signals over for itself.
  explicit QuitSignals(QWidget* window);
  ~QuitSignals() override;

  // Before any audio start: the output library leaves the signals alone.
  static void keepSignalsForTheApplication();

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace lentaro
