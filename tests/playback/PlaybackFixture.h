// A main window's playback controls, built offscreen, driven by a Playback
// object over the real engine on its manual output: nothing plays unless a
// test renders it, so positions are exact and nothing needs a sound device.
#pragma once

#include <gtest/gtest.h>
#include <lentaro/bass.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

#include "ScriptedUiHost.h"
#include "playback/Playback.h"
#include "playlist/PlaylistView.h"

#include <ostream>

// Readable values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}

namespace lentaro::playback::testing {

// True once the engine's manual output is open (for the whole run).
bool engineReady();
// BASS_ErrorGetCode after the run's BASS_Init, when it failed.
int engineInitError();

// Every test that plays needs the manual output; without it the test fails.
#define REQUIRE_ENGINE()                                                          \
  ASSERT_TRUE(::lentaro::playback::testing::engineReady())                        \
      << "the audio engine did not open its manual output (BASS_Init error code " \
      << ::lentaro::playback::testing::engineInitError() << ")"

class PlaybackTest : public ::testing::Test {
 protected:
  PlaybackTest();
  ~PlaybackTest() override;

  // Path of a generated file.
  static QString data(const char* name);
  // Appends a generated file to the list (the first row added is selected).
  void add(const char* name);
  void select(int position) { list->Select(position); }

  PlayerState& st() { return pb->state(); }
  DWORD channel() { return pb->state().CurrentChannel; }
  QString caption() const { return w.PushButton1->text(); }

  // Pulls `seconds` of output from the engine; returns it (stereo frames).
  std::vector<int16_t> render(double seconds);
  // Runs events until a tick of Timer2, were it running, has come: a probe
  // timer of a little over its interval fires only after any Timer2 tick
  // due before it (Qt delivers timers in the order they fall due). For
  // checking that nothing changes; a change awaited waits for it instead.
  void letARefreshTickPass();
  // Where the channel stands, in seconds of the file.
  double position();
  float attribute(DWORD attrib);

  // Frequency of the left channel by its zero crossings.
  static double frequency(const std::vector<int16_t>& stereo);
  static int peak(const std::vector<int16_t>& stereo);

  // The messages shown so far, and forgetting them.
  const std::vector<::lentaro::testing::ShownMessage>& shown() const { return ui.messages; }

  QWidget window;
  playlist::PlaylistView* list;
  PlaybackWidgets w;
  ::lentaro::testing::ScriptedUiHost ui;
  std::unique_ptr<Playback> pb;
};

}  // namespace lentaro::playback::testing
