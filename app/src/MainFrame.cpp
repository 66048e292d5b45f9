#include "MainFrame.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLayout>
#include <QMenuBar>
#include <QStatusBar>

#include "app/Form1.h"

namespace lentaro {

MainFrame::MainFrame(Form1& form) : form_(form) {
  setObjectName(QStringLiteral("MainFrame"));
  setWindowFlags(form.windowFlags());
  setWindowTitle(form.windowTitle());
  setWindowIcon(form.windowIcon());
  connect(&form, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
  connect(&form, &QWidget::windowIconChanged, this, &QWidget::setWindowIcon);

  // The menu bar is part of the window's fixed layout, so it stays in the
  // window even on desktops with a global menu (asking the session bus for
  // one would also cost the start a round trip).
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
  menuBar()->setObjectName(QStringLiteral("menuBar"));
  statusBar()->setObjectName(QStringLiteral("statusBar"));
  statusBar()->setSizeGripEnabled(false);
  setCentralWidget(&form);
  // As large as the bars and the fixed controls' area, no more.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void MainFrame::closeEvent(QCloseEvent* event) {
  // Form1's close runs its shutdown; a close that started there comes back
  // here through it and is not repeated.
  form_.close();
  event->accept();
}

}  // namespace lentaro
