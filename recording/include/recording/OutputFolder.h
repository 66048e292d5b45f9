// The browse button of the output folder (PushButton3, "..."): lets the
// user choose the folder that Play and Record writes to, shown in Text1.
//
// Text1 is the only store of the folder while the program runs; its change
// handler (the window's) writes the "Path" setting on every change, so a
// choice here stores the folder twice: as chosen, then with the separator.
//
// The widgets belong to the main window; make this a child of it.
// Thread: user-interface thread only.
#pragma once

#include <QObject>
#include <QString>

class QLineEdit;
class QWidget;

namespace lentaro {
class UiHost;
}

namespace lentaro::recording {

class OutputFolder : public QObject {
  Q_OBJECT

 public:
  // owner: the window the folder browser is modal to.
  OutputFolder(UiHost& ui, QWidget* owner, QLineEdit* Text1, QObject* parent = nullptr);

  // Under its own error trap ("Form1.PushButton3_Click").
  void PushButton3_Click();

  static constexpr const char* kBrowseTitle = "Please select folder:";

 private:
  UiHost& ui_;
  QWidget* owner_;
  QLineEdit* Text1_;
};

}  // namespace lentaro::recording
