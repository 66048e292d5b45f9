// Play and Record end to end in the main window: the real embedded LAME
// program fed by the engine's manual output, rendered in exact frame counts
// from inside the press's wait loop.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include "RecordingFixture.h"
#include "playlist/PlaylistView.h"
#include "shell/AppTitle.h"

using namespace lentaro;
using namespace lentaro::testing;

namespace {
// Positions follow the rendered frames exactly; this only absorbs the
// rounding of frames to seconds.
constexpr double kPositionTolerance = 0.005;  // seconds
// At a new tempo the stretcher takes in some sound before its output
// follows the new speed: the file's position lags by that much, once.
constexpr double kStretcherFillTolerance = 0.03;  // seconds
}  // namespace

TEST_F(RecordingTest, StopWithThisButtonLeavesAnMp3OfWhatWasPlayed) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  double stopPos = -1;
  recordFor(
      framesOf(2.0), [&] { stopWithThisButton(); },
      [&] {
        // While it records: the list takes nothing, both buttons offer Stop.
        EXPECT_FALSE(w->ListView1->isEnabled());
        EXPECT_EQ(w->PushButton7->text(), "Stop");
        EXPECT_EQ(w->PushButton1->text(), "Stop");
        EXPECT_NE(BASS_ChannelIsActive(state().CurrentChannel), 0u);
        stopPos = positionSeconds();
      });

  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text.toStdString();
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_EQ(w->PushButton1->text(), "Play");
  EXPECT_EQ(w->Label3->text(), "Time: ");
  EXPECT_EQ(w->Label2->text(), "Total Time: ");
  EXPECT_EQ(w->Slider1->value(), 0);
  EXPECT_TRUE(state().PlayRestart);
  EXPECT_TRUE(w->ListView1->isEnabled());
  EXPECT_EQ(BASS_ChannelIsActive(state().CurrentChannel), 0u);
  EXPECT_FALSE(QFileInfo::exists(recorder().encoderFile().path()))
      << "the encoder file is deleted after the recording";

  const QString mp3 = out.filePath("song_recorded.mp3");
  EXPECT_EQ(recorder().lastOutputFile(), mp3);
  ASSERT_TRUE(finishRecording());
  EXPECT_EQ(recordedFrames, framesOf(2.0));
  expectMp3OfAllRendered(mp3);
  // A freshly opened file plays from its start at its own speed.
  EXPECT_NEAR(stopPos, 2.0, kPositionTolerance);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(RecordingTest, StopWithPlayButtonAndAFolderTypedWithoutSeparator) {
  // Only the last extension is replaced; the separator is supplied.
  w->ListView1->Add(copySource("tone.mp3", "my.song.mp3"));
  w->Text1->setText(out.path());
  recordFor(framesOf(1.5), [&] { stopWithPlayButton(); });

  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_EQ(w->PushButton1->text(), "Play");
  EXPECT_TRUE(state().PlayRestart);
  EXPECT_TRUE(w->ListView1->isEnabled());

  const QString mp3 = out.filePath("my.song_recorded.mp3");
  ASSERT_TRUE(finishRecording());
  expectMp3OfAllRendered(mp3);
  EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList{"my.song_recorded.mp3"});
}

TEST_F(RecordingTest, NameThatIsOnlyAnExtensionReplacesAnExistingRecording) {
  w->ListView1->Add(copySource("tone.mp3", ".mp3"));
  const QString mp3 = out.filePath("_recorded.mp3");
  {
    QFile old(mp3);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(2'000'000, 'z'));  // longer than the new recording
  }
  recordFor(framesOf(0.5), [&] { stopWithThisButton(); });
  ASSERT_TRUE(finishRecording());
  expectMp3OfAllRendered(mp3);
  EXPECT_LT(QFileInfo(mp3).size(), 200'000) << "nothing of the old file is left";
}

TEST_F(RecordingTest, NameWithoutDotPlaysButRecordsNothing) {
  w->ListView1->Add(copySource("tone.mp3", "nodot"));
  w->PushButton7->click();  // returns at once: there is nothing to wait for

  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_EQ(w->PushButton1->text(), "Stop");
  EXPECT_TRUE(w->ListView1->isEnabled());
  EXPECT_EQ(BASS_ChannelIsActive(state().CurrentChannel), static_cast<DWORD>(BASS_ACTIVE_PLAYING));
  EXPECT_EQ(recorder().lastEncoder(), 0u);
  EXPECT_TRUE(QDir(out.path()).isEmpty());
  EXPECT_TRUE(QFileInfo::exists(recorder().encoderFile().path()))
      << "the encoder file stays until the next press deletes it";
}

TEST_F(RecordingTest, EmptyListOrMissingFolderIsRefusedWithItsMessage) {
  w->PushButton7->click();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "No files added.");
  EXPECT_EQ(ui.messages[0].title, AppTitle());
  EXPECT_EQ(ui.messages[0].buttons, MsgButtons::Ok);

  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  const QString notFolders[] = {"", out.filePath("missing"), data("tone.mp3")};
  for (const QString& text : notFolders) {
    ui.messages.clear();
    w->Text1->setText(text);
    w->PushButton7->click();
    ASSERT_EQ(ui.messages.size(), 1u) << text.toStdString();
    EXPECT_EQ(ui.messages[0].text, "Folder does not exist. Please select another folder.");
    EXPECT_EQ(ui.messages[0].title, AppTitle());
  }
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_EQ(w->PushButton1->text(), "Play");
  EXPECT_EQ(state().CurrentChannel, 0u);
  EXPECT_TRUE(recorder().encoderFile().folder().isEmpty()) << "no encoder was written";
}

TEST_F(RecordingTest, PausedChannelIsRecordedFromWhereItStandsWithItsTempoAndPitch) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  playback().ListView1_DblClick();  // plays; the Play button offers "Pause"
  ASSERT_EQ(w->PushButton1->text(), "Pause");
  render(framesOf(0.7));
  w->sldTempo[0]->setValue(50);
  playback().sldTempo_Scroll(0);
  w->sldTempo[1]->setValue(3);
  playback().sldTempo_Scroll(1);
  w->PushButton1->click();  // pause
  ASSERT_FALSE(state().PlayRestart);
  const HSTREAM channel = state().CurrentChannel;
  const double pausedAt = positionSeconds();
  EXPECT_NEAR(pausedAt, 0.7, kPositionTolerance);

  double startPos = -1, settledPos = -1, stopPos = -1;
  record({
      {0, [&] { startPos = positionSeconds(); }},
      {framesOf(0.5), [&] { settledPos = positionSeconds(); }},
      {framesOf(1.0),
       [&] {
         stopPos = positionSeconds();
         stopWithThisButton();
       }},
  });

  EXPECT_EQ(state().CurrentChannel, channel) << "the loaded channel goes on, no new opening";
  EXPECT_DOUBLE_EQ(startPos, pausedAt);
  float tempo = 0, pitch = 0;
  ASSERT_TRUE(BASS_ChannelGetAttribute(channel, BASS_ATTRIB_TEMPO, &tempo));
  ASSERT_TRUE(BASS_ChannelGetAttribute(channel, BASS_ATTRIB_TEMPO_PITCH, &pitch));
  EXPECT_FLOAT_EQ(tempo, 50);
  EXPECT_FLOAT_EQ(pitch, 3);

  ASSERT_TRUE(finishRecording());
  expectMp3OfAllRendered(out.filePath("song_recorded.mp3"));
  // 1.5 times the tempo: the file moves on half as much again as is played,
  // once the stretcher has filled after the resume.
  EXPECT_NEAR(stopPos - settledPos, 1.5 * 1.0, kPositionTolerance);
  EXPECT_NEAR(stopPos - startPos, 1.5 * 1.5, kStretcherFillTolerance);
}

TEST_F(RecordingTest, PlayingChannelGoesOnAndIsRecorded) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  w->PushButton1->click();  // plays and leaves PlayRestart False
  ASSERT_FALSE(state().PlayRestart);
  render(framesOf(0.5));
  const HSTREAM channel = state().CurrentChannel;
  const double before = positionSeconds();
  EXPECT_NEAR(before, 0.5, kPositionTolerance);
  double startPos = -1, stopPos = -1;
  record({
      {0, [&] { startPos = positionSeconds(); }},
      {framesOf(1.0),
       [&] {
         stopPos = positionSeconds();
         stopWithThisButton();
       }},
  });
  EXPECT_EQ(state().CurrentChannel, channel);
  EXPECT_DOUBLE_EQ(startPos, before);
  EXPECT_NEAR(stopPos, 1.5, kPositionTolerance);
  ASSERT_TRUE(finishRecording());
  expectMp3OfAllRendered(out.filePath("song_recorded.mp3"));
}

TEST_F(RecordingTest, RecordingPastTheEndGoesOnFromTheStart) {
  w->ListView1->Add(copySource("short.mp3", "short.mp3"));  // 1.5 s
  double length = 0, stopPos = -1;
  recordFor(
      framesOf(2.5), [&] { stopWithThisButton(); },
      [&] {
        const HSTREAM c = state().CurrentChannel;
        length = BASS_ChannelBytes2Seconds(c, BASS_ChannelGetLength(c, BASS_POS_BYTE));
        stopPos = positionSeconds();
      });
  EXPECT_NEAR(length, 1.5, 0.05);
  EXPECT_NEAR(stopPos, 2.5 - length, kPositionTolerance) << "the channel started the file again";
  ASSERT_TRUE(finishRecording());
  expectMp3OfAllRendered(out.filePath("short_recorded.mp3"));
}

TEST_F(RecordingTest, NamesWithSpacesQuotesUnicodeAndALeadingDash) {
  const QString folder = out.filePath("-out \"dq\" 'sq' ünï ♪");
  ASSERT_TRUE(QDir().mkpath(folder));
  w->Text1->setText(folder);
  const QString names[] = {"-lead ing.mp3", "quo\"te's.mp3", "ünï cødé ♪.mp3"};
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    w->ListView1->Clear();
    w->ListView1->Add(copySource("short.mp3", name, sources.filePath("-src 'x' \"y\" ß")));
    recordFor(framesOf(0.3), [&] { stopWithThisButton(); });
    ASSERT_TRUE(finishRecording());
    expectMp3OfAllRendered(folder + "/" + name.left(name.size() - 4) +
                           QStringLiteral("_recorded.mp3"));
  }
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 3);
}
