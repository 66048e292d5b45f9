// End-to-end set-up for Play and Record: the main window's controls that
// playback and recording use, the real Playback and PlayAndRecord objects,
// the engine on its no-sound device (real time), a source folder and an
// output folder of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <lentaro/bass.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "ScriptedUiHost.h"
#include "playback/Playback.h"
#include "playlist/PlaylistView.h"
#include "recording/PlayAndRecord.h"

namespace lentaro::testing {

struct Mp3Probe {
  bool decoded = false;  // opened and decoded to its end without an error
  double seconds = 0;    // decoded length (encoder delay and padding left out)
  long rate = 0;
  int channels = 0;
};
Mp3Probe probeMp3(const QString& path);

// Seconds of sound an encoder was fed: its WAV bytes less the header, at
// 16-bit stereo 44.1 kHz.
double fedSeconds(const BASS_ENCODE_STATUS& status);

// The controls of the main window, wired as the window wires them.
struct RecorderWindow {
  explicit RecorderWindow(UiHost& ui);
  ~RecorderWindow();

  QWidget* window;
  playlist::PlaylistView* ListView1;
  QPushButton* PushButton1;
  QPushButton* PushButton7;
  QLineEdit* Text1;
  QLabel* Label2;
  QLabel* Label3;
  QSlider* Slider1;
  QSlider* sldVolume;
  QSlider* sldTempo[2];
  QGroupBox* Frame1;
  QGroupBox* Frame3;
  QTimer* Timer2;
  playback::Playback* playback;
  recording::PlayAndRecord* recorder;

  playback::PlayerState& state() { return playback->state(); }
};

class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A file of the generated test data.
  static QString data(const char* name);
  // A copy of a generated file under another name in `folder`
  // (the source folder when empty).
  QString copySource(const char* dataName, const QString& name, QString folder = {});

  // Presses Play and Record and, `ms` later, runs `during` and then `stop`
  // from inside the recording's wait loop. Returns when the press returns.
  // A watchdog stops the channel if the press hangs.
  void recordFor(int ms, const std::function<void()>& stop,
                 const std::function<void()>& during = {});
  void stopWithThisButton() { w->PushButton7->click(); }
  void stopWithPlayButton() { w->PushButton1->click(); }

  // Frees the channel, as the next opening does, and waits for the last
  // encoder to finish its file. Its final status lands in `finished`.
  bool finishRecording();

  // The file's position in seconds of the file (not of playing time).
  double positionSeconds() const;

  ScriptedUiHost ui;
  std::unique_ptr<RecorderWindow> w;
  QTemporaryDir sources;
  QTemporaryDir out;
  BASS_ENCODE_STATUS finished{};
  bool watchdogFired = false;
};

}  // namespace lentaro::testing
