// The audio error report: shown when a call of the audio engine has failed.
//
// Thread: user-interface thread only.
#pragma once

#include <QString>

class QWidget;

namespace lentaro {

class UiHost;

// Where the report reads the engine's last error code. The engine's
// BASS_ErrorGetCode unless a test or the start-up's injected calls say
// otherwise.
using ErrorCodeSource = int (*)();

// The report's text for `text` and `code`: the text, two line breaks
// ("\r\n"), then "(error code: <code>)" with the code in decimal (a
// negative code keeps its sign).
QString audioErrorText(const QString& text, int code);

// Reads the engine's error code before anything else (no later engine call
// may overwrite it), then shows the "Error" report with the warning icon and
// an OK button, and returns when it is closed. What follows is the caller's
// business.
void Error_(UiHost& ui, const QString& text, ErrorCodeSource readCode = nullptr,
            QWidget* owner = nullptr);

}  // namespace lentaro
