/* Lentaro skin "Slate": a Qt style sheet applied to the main window when
   this file lies in x/ beside the program. Colours only; the window's fonts
   and layout stay as they are. */

QWidget#Form1 {
  background-color: #eef2f6;
}

QGroupBox {
  background-color: #f7f9fb;
  border: 1px solid #c5cfda;
  border-radius: 6px;
  margin-top: 7px;
  color: #27415c;
}
QGroupBox::title {
  subcontrol-origin: margin;
  left: 8px;
  padding: 0 4px;
  color: #27415c;
}

QLabel {
  background: transparent;
  color: #3b4c5e;
}

QPushButton {
  color: #1f3347;
  background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #e1e8ef);
  border: 1px solid #9fb0c2;
  border-radius: 5px;
  padding: 2px 6px;
}
QPushButton:hover {
  background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #d3e3f3);
  border-color: #4d86bf;
}
QPushButton:pressed {
  background-color: #c6d9ec;
  border-color: #2f6aa5;
}
QPushButton:focus {
  border-color: #2f6aa5;
}
QPushButton:disabled {
  color: #9aa6b2;
  background-color: #eef1f4;
  border-color: #cfd6dd;
}

QSlider::groove:horizontal {
  height: 6px;
  background: #d5dde6;
  border: 1px solid #b8c4d0;
  border-radius: 3px;
}
QSlider::sub-page:horizontal {
  background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #5aa0d8, stop:1 #2f6aa5);
  border: 1px solid #2f6aa5;
  border-radius: 3px;
}
QSlider::handle:horizontal {
  width: 12px;
  margin: -6px 0;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #dfe7ef);
  border: 1px solid #6f87a0;
  border-radius: 6px;
}
QSlider::handle:horizontal:hover {
  border-color: #2f6aa5;
}

QLineEdit {
  background: #ffffff;
  color: #1f3347;
  border: 1px solid #9fb0c2;
  border-radius: 4px;
  padding: 1px 4px;
  selection-background-color: #2f6aa5;
}
QLineEdit:focus {
  border-color: #2f6aa5;
}

QTreeView, QListView {
  background: #ffffff;
  alternate-background-color: #f4f7fa;
  border: 1px solid #9fb0c2;
  selection-background-color: #2f6aa5;
  selection-color: #ffffff;
}
QHeaderView::section {
  background-color: #e4ebf2;
  color: #27415c;
  border: none;
  border-right: 1px solid #c5cfda;
  border-bottom: 1px solid #c5cfda;
  padding: 2px 6px;
}
