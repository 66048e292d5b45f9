// End-to-end set-up for Play and Record: the real main window (Form1, built
// and started as the program does it, with scripted dialogs and a recorded
// process end), its engine on the manual output, the embedded LAME program,
// a source folder and an output folder of the test's own.
//
// Nothing plays unless the test renders it: record() presses Play and
// Record and, from inside the press's wait loop, renders the output in
// exact frame counts, running the test's steps in between. Lengths and
// positions are then exact; the only waits are for encoder processes (and
// for the watch that polls them).
#pragma once

#include <gtest/gtest.h>
#include <lentaro/bass.h>

#include <QPushButton>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

#include "ScriptedUiHost.h"
#include "app/Form1.h"
#include "playback/Playback.h"
#include "playback/PlayerState.h"
#include "recording/PlayAndRecord.h"

namespace lentaro::testing {

inline constexpr int kRate = 44100;

// Whole output frames in `seconds`.
constexpr long long framesOf(double seconds) {
  return static_cast<long long>(seconds * kRate + 0.5);
}

struct Mp3Probe {
  bool decoded = false;  // opened and decoded to its end without an error
  long long frames = 0;  // decoded length (encoder delay and padding left out)
  double seconds = 0;
  long rate = 0;
  int channels = 0;
};
Mp3Probe probeMp3(const QString& path);

// What an encoder fed `frames` frames of the output has been written: the
// WAV header and 16-bit stereo.
unsigned long long wavBytes(long long frames);
// Seconds of sound an encoder was fed.
double fedSeconds(const BASS_ENCODE_STATUS& status);

// Once `frames` more frames of output have been rendered, `action` runs
// (inside the press's wait loop, with no rendering nested in it).
struct RenderStep {
  long long frames = 0;
  std::function<void()> action;
};

class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Destroys any window and frees its engine, then builds and starts a new
  // window on the manual output, its output folder `out`.
  void openWindow();

  playback::Playback& playback() { return *w->playback_; }
  recording::PlayAndRecord& recorder() { return *w->playAndRecord_; }
  playback::PlayerState& state() { return playback().state(); }

  // A file of the generated test data.
  static QString data(const char* name);
  // A copy of a generated file under another name in `folder`
  // (the source folder when empty).
  QString copySource(const char* dataName, const QString& name, QString folder = {});

  // Renders output outside a recording (what plays meanwhile advances).
  void render(long long frames);

  // Presses Play and Record and runs `steps` from inside its wait loop, the
  // frames of each counted from the encoder's start; the last step should
  // end the recording. Returns when the press returns. While an encoder
  // that still takes its input lags behind by more than half a second,
  // rendering waits for it, so its feed never overflows. A watchdog stops
  // the channel if the press never returns.
  void record(std::vector<RenderStep> steps);
  void recordFor(long long frames, const std::function<void()>& stop,
                 const std::function<void()>& during = {});
  void stopWithThisButton() { w->PushButton7->click(); }
  void stopWithPlayButton() { w->PushButton1->click(); }

  // Waits for the process of the last encoder to end by itself (bounded).
  bool waitForEncoderEnd();

  // Frees the channel, as the next opening does, and waits for the last
  // encoder to finish its file. Its final status lands in `finished`.
  bool finishRecording();
  // The finished encoder took exactly what was rendered while it recorded,
  // and its MP3 holds that much sound at the output's rate.
  void expectMp3OfAllRendered(const QString& mp3);

  // The file's position in seconds of the file (not of playing time).
  double positionSeconds();

  ScriptedUiHost ui;
  std::vector<int> endStatuses;  // the window's process ends
  QTemporaryDir homeDir;
  QTemporaryDir settingsDir;
  QTemporaryDir sources;
  QTemporaryDir out;
  std::unique_ptr<Form1> w;
  BASS_ENCODE_STATUS finished{};
  long long recordedFrames = 0;  // rendered during the last record()
  bool watchdogFired = false;
};

}  // namespace lentaro::testing
