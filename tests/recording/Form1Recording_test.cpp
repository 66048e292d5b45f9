// The recording commands as the main window wires them: the browse button
// and the "Path" setting, and a recording ended by closing the window.
#include <gtest/gtest.h>
#include <lentaro/bass.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "RecordingFixture.h"
#include "ScriptedUiHost.h"
#include "app/Form1.h"
#include "playlist/PlaylistView.h"
#include "recording/PlayAndRecord.h"

using namespace lentaro;
using namespace lentaro::testing;

namespace {

class WindowRecording : public ::testing::Test {
 protected:
  void SetUp() override {
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());

    StartupServices services;
    services.ui = &ui;
    // The no-sound device in place of the default output.
    services.audio.init = [](int, DWORD freq, DWORD flags, void* win, void* guid) -> BOOL {
      return BASS_Init(0, freq, flags, win, guid);
    };
    services.endProcess = [this](int status) { endStatuses.push_back(status); };
    services.randomUnit = [] { return 0.5; };
    services.appDir = qEnvironmentVariable("LENTARO_APP_DIR");
    form = std::make_unique<Form1>(services);
    if (!form->Form_Initialize()) GTEST_SKIP() << "the window's start-up did not open the output";
    ui.messages.clear();
  }

  void TearDown() override {
    form.reset();
    BASS_Free();
  }

  QTemporaryDir settingsDir;
  QTemporaryDir out;
  ScriptedUiHost ui;
  std::vector<int> endStatuses;
  std::unique_ptr<Form1> form;
};

}  // namespace

TEST_F(WindowRecording, BrowseButtonStoresTheChosenFolderWithItsSeparator) {
  ASSERT_NE(form->outputFolder_, nullptr);
  ui.folderResults.push_back(out.path());
  form->PushButton3->click();
  EXPECT_EQ(form->Text1->text(), out.path() + "/");
  QSettings settings(QStringLiteral("Orvessa"), QStringLiteral("Lentaro"));
  EXPECT_EQ(settings.value("Path").toString(), out.path() + "/");

  form->PushButton3->click();  // cancelled
  EXPECT_EQ(form->Text1->text(), out.path() + "/");
  EXPECT_EQ(ui.folderTitles, (QStringList{"Please select folder:", "Please select folder:"}));
}

TEST_F(WindowRecording, ClosingTheWindowMidRecordingCompletesTheMp3) {
  ASSERT_NE(form->playAndRecord_, nullptr) << "Play and Record is not wired";
  QTemporaryDir sources;
  const QString song = sources.filePath("song.mp3");
  ASSERT_TRUE(QFile::copy(qEnvironmentVariable("LENTARO_TEST_DATA") + "/recording/tone.mp3", song));
  form->Text1->setText(out.path());
  form->ListView1->Add(song);
  form->showCentred();

  HENCODE encoder = 0;
  QObject scope;
  QTimer::singleShot(1500, &scope, [&] {
    encoder = form->playAndRecord_->lastEncoder();
    form->close();
  });
  form->PushButton7->click();

  EXPECT_EQ(endStatuses, std::vector<int>{0});
  ASSERT_NE(encoder, 0u);
  BASS_ENCODE_STATUS status{};
  ASSERT_TRUE(BASS_Encode_GetStatus(encoder, &status));
  EXPECT_FALSE(status.running);
  EXPECT_FALSE(status.failed);
  const Mp3Probe probe = probeMp3(out.filePath("song_recorded.mp3"));
  ASSERT_TRUE(probe.decoded);
  EXPECT_NEAR(probe.seconds, fedSeconds(status), 0.030);
  EXPECT_NEAR(probe.seconds, 1.5, 0.25);
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text.toStdString();
}
