// The recording commands as the main window wires them: the browse button
// and the "Path" setting, and a recording ended by closing the window.
#include <gtest/gtest.h>
#include <lentaro/bass.h>

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

#include "RecordingFixture.h"
#include "ScriptedUiHost.h"
#include "app/Form1.h"
#include "playlist/PlaylistView.h"
#include "recording/PlayAndRecord.h"

using namespace lentaro;
using namespace lentaro::testing;

namespace {
using WindowRecording = RecordingTest;
}  // namespace

TEST_F(WindowRecording, BrowseButtonStoresTheChosenFolderWithItsSeparator) {
  ASSERT_NE(w->outputFolder_, nullptr);
  ui.folderResults.push_back(out.path());
  w->PushButton3->click();
  EXPECT_EQ(w->Text1->text(), out.path() + "/");
  QSettings settings(QStringLiteral("Orvessa"), QStringLiteral("Lentaro"));
  EXPECT_EQ(settings.value("Path").toString(), out.path() + "/");

  w->PushButton3->click();  // cancelled
  EXPECT_EQ(w->Text1->text(), out.path() + "/");
  EXPECT_EQ(ui.folderTitles, (QStringList{"Please select folder:", "Please select folder:"}));
}

TEST_F(WindowRecording, ClosingTheWindowMidRecordingCompletesTheMp3) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  w->Text1->setText(out.path());
  w->showCentred();

  HENCODE encoder = 0;
  record({{framesOf(1.5), [&] {
             encoder = recorder().lastEncoder();
             w->close();
           }}});

  EXPECT_EQ(endStatuses, std::vector<int>{0});
  ASSERT_NE(encoder, 0u);
  ASSERT_TRUE(BASS_Encode_GetStatus(encoder, &finished));
  EXPECT_FALSE(finished.running);
  expectMp3OfAllRendered(out.filePath("song_recorded.mp3"));
  EXPECT_EQ(recordedFrames, framesOf(1.5));
  // The press came back to the window and ended as a recording ends.
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_TRUE(w->ListView1->isEnabled());
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text.toStdString();
}
