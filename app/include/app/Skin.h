// The skin: a Qt style sheet in the file "x/o.cjs" beside the program.
//
// SkinFramework is the skin control of the main window; skinMainWindow runs
// the load step's skinning, in its fixed order. A missing skin file is not
// an error: nothing changes and nothing is shown. A skin file that is there
// but cannot be read throws lentaro::Failure for the load step's report.
//
// Thread: user-interface thread only.
#pragma once

#include <QString>

class QWidget;

namespace lentaro {

class SkinFramework {
 public:
  // ApplyOptions bits.
  static constexpr unsigned kApplyStyleSheet = 1;  // ApplyWindow sets the sheet

  // Reads the sheet. `section` names a part of a multi-part skin; empty
  // takes the whole file (the only form our skins use).
  void LoadSkin(const QString& path, const QString& section);

  // Restyles `window` and its controls with the loaded sheet, as the
  // options below say.
  void ApplyWindow(QWidget* window) const;

  const QString& styleSheet() const { return sheet_; }

  unsigned ApplyOptions = 0;
  // Font rules of the sheet are dropped, so the window's own fonts stay.
  bool KeepFonts = false;
  // The window's controls are polished at once, not at their first show,
  // so their size hints reflect the skin before the window appears.
  bool PolishNow = false;

 private:
  QString sheet_;
};

// The sheet with every font rule (font, font-size, font-family, ...) taken
// out, up to and with its semicolon. A plain scan: the start-up runs it on
// the way to the first window, where compiling a pattern costs more than
// the whole sheet.
QString withoutFontRules(const QString& sheet);

// The skin file's path for an application folder.
QString skinFilePath(const QString& appDir);

// True when the path is an ordinary, visible file.
bool isOrdinaryFile(const QString& path);

// Skins the main window when the skin file exists: the window, its frames,
// labels, option buttons and check boxes take the button-face colour, then
// the sheet is loaded and applied. Returns whether the file was there.
bool skinMainWindow(QWidget* window, SkinFramework& skin, const QString& skinPath);

}  // namespace lentaro
