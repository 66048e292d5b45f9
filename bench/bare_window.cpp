// The yardstick for start-up time: a bare Qt 6 window of the main window's
// size, shown as soon as the application object exists.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Bare"));
  window.resize(536, 657);
  window.show();
  return QApplication::exec();
}
