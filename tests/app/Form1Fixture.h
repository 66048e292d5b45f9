// Builds a main window for tests: scripted dialogs, engine start calls that
// record what they were given, a process end that records instead of
// leaving, a fixed home-page draw and a private settings store.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "ScriptedUiHost.h"
#include "app/Form1.h"

namespace lentaro::testing {

// What the fake engine calls saw, and what they answer. One window at a
// time uses them (function pointers carry no state of their own).
struct FakeEngine {
  DWORD version = 0x02040a00;
  DWORD fxVersion = 0x02040b00;
  BOOL initResult = TRUE;
  int errorCode = 0;

  std::vector<std::string> calls;
  int initDevice = 0;
  DWORD initFreq = 0;
  DWORD initFlags = 99;
  void* initWindow = nullptr;
  void* initGuid = reinterpret_cast<void*>(1);
  bool windowLoadedAtInit = false;
  Form1* form = nullptr;

  static FakeEngine*& current() {
    static FakeEngine* engine = nullptr;
    return engine;
  }

  AudioStartCalls calls_table() {
    AudioStartCalls table;
    table.getVersion = [] {
      current()->calls.push_back("BASS_GetVersion");
      return current()->version;
    };
    table.fxGetVersion = [] {
      current()->calls.push_back("BASS_FX_GetVersion");
      return current()->fxVersion;
    };
    table.init = [](int device, DWORD freq, DWORD flags, void* win, void* guid) -> BOOL {
      FakeEngine& e = *current();
      e.calls.push_back("BASS_Init");
      e.initDevice = device;
      e.initFreq = freq;
      e.initFlags = flags;
      e.initWindow = win;
      e.initGuid = guid;
      e.windowLoadedAtInit = e.form && e.form->loaded() && !e.form->isVisible();
      return e.initResult;
    };
    table.free = []() -> BOOL {
      current()->calls.push_back("BASS_Free");
      return TRUE;
    };
    table.errorGetCode = [] {
      current()->calls.push_back("BASS_ErrorGetCode");
      return current()->errorCode;
    };
    return table;
  }
};

class Form1Test : public ::testing::Test {
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
    FakeEngine::current() = &engine;
    appDir = qEnvironmentVariable("LENTARO_APP_DIR");
  }

  void TearDown() override {
    form.reset();
    FakeEngine::current() = nullptr;
  }

  // A window with the injected services; not yet started.
  Form1& make(double homePageDraw = 0.5) {
    StartupServices services;
    services.ui = &ui;
    services.audio = engine.calls_table();
    services.endProcess = [this](int status) { endStatuses.push_back(status); };
    services.randomUnit = [homePageDraw] { return homePageDraw; };
    services.appDir = appDir;
    services.finishAfterFirstPaint = finishAfterFirstPaint;
    services.finishAtTheLatest = finishAtTheLatest;
    form = std::make_unique<Form1>(services);
    engine.form = form.get();
    return *form;
  }

  // A started window (the start-up succeeded), not shown.
  Form1& started(double homePageDraw = 0.5) {
    Form1& f = make(homePageDraw);
    EXPECT_TRUE(f.Form_Initialize());
    return f;
  }

  QSettings settings() const {
    return QSettings(QStringLiteral("Orvessa"), QStringLiteral("Lentaro"));
  }

  QTemporaryDir homeDir;
  QTemporaryDir settingsDir;
  QString appDir;
  bool finishAfterFirstPaint = false;  // as the program has it when set
  std::chrono::milliseconds finishAtTheLatest{250};
  FakeEngine engine;
  ScriptedUiHost ui;
  std::vector<int> endStatuses;
  std::unique_ptr<Form1> form;
};

}  // namespace lentaro::testing
