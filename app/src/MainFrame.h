// The window the program shows: a menu bar, the main window's controls'
// area (Form1, its 536 x 657 pixels unchanged, as the central widget) and a
// one-line status bar. The outer window is exactly that tall and wide and
// cannot be resized.
//
// It takes its title, icon and window hints from Form1, and hands a close
// (the title bar's button, the window manager, Quit) to Form1, so Form1's
// own shutdown runs whichever way the window is closed.
//
// Owned by Form1, which is its child while both live (Form1 takes itself
// out before the frame goes). Thread: user-interface thread.
#pragma once

#include <QMainWindow>

namespace lentaro {

class Form1;

class MainFrame : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainFrame(Form1& form);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Form1& form_;
};

}  // namespace lentaro
