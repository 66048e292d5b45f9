// A started main window over the real engine on its manual output: nothing
// sounds and time stands still unless a test renders output, so positions
// are exact. Scripted dialogs, a recorded process end and a private
// settings store, as in Form1Fixture.
#pragma once

#include <gtest/gtest.h>
#include <lentaro/bass.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>
#include <vector>

#include "ScriptedUiHost.h"
#include "app/ActionTable.h"
#include "app/Form1.h"
#include "playback/Playback.h"
#include "playlist/PlaylistView.h"

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}

namespace lentaro::testing {

// The program's settings store (the sandbox a test set up).
inline QSettings lentaroTestSettings() {
  return QSettings(QStringLiteral("Orvessa"), QStringLiteral("Lentaro"));
}

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QStandardPaths::setTestModeEnabled(true);
    // A home of this test's own: the per-file practice data and the
    // waveform cache live under it (test mode keeps them in ~/.qttest),
    // and tests running side by side must not read each other's.
    ASSERT_TRUE(homeDir.isValid());
    qputenv("HOME", QFile::encodeName(homeDir.path()));
    ASSERT_TRUE(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    prepareSettings();
    start();
  }

  void TearDown() override {
    form.reset();
    BASS_Free();
  }

  // Runs before the window is made: stored settings it should find.
  virtual void prepareSettings() {}

  void start() {
    StartupServices services;
    services.ui = &ui;
    // The manual output in place of the sound device.
    services.audio.init = [](int, DWORD freq, DWORD flags, void* win, void* guid) -> BOOL {
      return BASS_Init(0, freq, flags | BASS_DEVICE_MANUAL, win, guid);
    };
    services.endProcess = [this](int status) { endStatuses.push_back(status); };
    services.randomUnit = [] { return 0.5; };
    services.appDir = qEnvironmentVariable("LENTARO_APP_DIR");
    form = std::make_unique<Form1>(services);
    ASSERT_TRUE(form->Form_Initialize());
  }

  Form1& f() { return *form; }
  QMainWindow* frame() { return form->frame(); }
  ActionTable& table() { return *form->actions(); }

  // Shows the window and makes it the active one, so that its keys work.
  void showActive() {
    form->showCentred();
    QApplication::setActiveWindow(frame());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame()));
  }

  // first.mp3 is 30 s long, second.mp3 20 s.
  static QString data(const char* name) {
    return qEnvironmentVariable("LENTARO_TEST_DATA") + QStringLiteral("/app/") + name;
  }
  void add(const char* name) {
    ASSERT_TRUE(QFileInfo::exists(data(name))) << name;
    form->ListView1->Add(data(name));
  }

  DWORD channel() const { return form->playback_->state().CurrentChannel; }
  float attribute(DWORD attrib) const {
    float v = std::nanf("");
    BASS_ChannelGetAttribute(channel(), attrib, &v);
    return v;
  }
  double position() const {
    return BASS_ChannelBytes2Seconds(channel(), BASS_ChannelGetPosition(channel(), BASS_POS_BYTE));
  }
  // Pulls output from the engine: the channel advances by that much.
  static void render(double seconds) {
    std::vector<int16_t> out(4096 * 2);
    int left = static_cast<int>(std::lround(seconds * 44100));
    while (left > 0) {
      const int got = BASS_Lentaro_RenderOutput(out.data(), std::min(4096, left));
      if (got <= 0) break;
      left -= got;
    }
  }

  // The position display as the refresh timer would bring it.
  void refresh() { form->playback_->Timer2_Timer(); }

  QTemporaryDir homeDir;
  QTemporaryDir settingsDir;
  ScriptedUiHost ui;
  std::vector<int> endStatuses;
  std::unique_ptr<Form1> form;
};

}  // namespace lentaro::testing
