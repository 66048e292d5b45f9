// What the main window's start-up and shutdown reach outside the window: the
// engine's start and end calls, the end of the process, the random draw of
// the home-page step and the application folder. The program takes the
// defaults; tests inject wrong versions, a failing device, a recorded
// process end and a fixed draw.
#pragma once

#include <lentaro/bass.h>

#include <QString>
#include <chrono>
#include <functional>

namespace lentaro {

class UiHost;

struct AudioStartCalls {
  DWORD (*getVersion)() = &BASS_GetVersion;
  DWORD (*fxGetVersion)() = &BASS_FX_GetVersion;
  BOOL (*init)(int device, DWORD freq, DWORD flags, void* win, void* dsguid) = &BASS_Init;
  BOOL (*free)() = &BASS_Free;
  int (*errorGetCode)() = &BASS_ErrorGetCode;
};

struct StartupServices {
  UiHost* ui = nullptr;  // required; outlives the window
  AudioStartCalls audio;
  // Ends the process with the given status. The default flushes standard
  // output and leaves at once; a test's version records the call and
  // returns, and the start-up then returns as if the process had ended.
  std::function<void(int status)> endProcess;
  // A number in [0, 1). The default is seeded from the time of day.
  std::function<double()> randomUnit;
  // The application folder; empty means QCoreApplication::applicationDirPath().
  QString appDir;
  // The program sets it: the menus' entries, the keys, the practice,
  // export and waveform wiring and the clean-up of old encoder folders
  // start just after the window's first paint, which then does not wait
  // for them. Off, they are made during Form_Initialize.
  bool finishAfterFirstPaint = false;
  // When the window is not painted by then (started minimised), the rest
  // is made all the same.
  std::chrono::milliseconds finishAtTheLatest{250};
};

// Exit status of a start-up that ended the process (wrong version, no device).
inline constexpr int kStartupFailedStatus = 1;

}  // namespace lentaro
