// Play and Record end to end: the real embedded LAME program fed by the
// engine's no-sound device in real time.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include "RecordingFixture.h"
#include "shell/AppTitle.h"

using namespace lentaro;
using namespace lentaro::testing;

namespace {
constexpr double kLengthTolerance = 0.030;  // seconds
}

TEST_F(RecordingTest, StopWithThisButtonLeavesAnMp3OfWhatWasPlayed) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  double stopPos = -1;
  recordFor(
      3000, [&] { stopWithThisButton(); },
      [&] {
        // While it records: the list takes nothing, both buttons offer Stop.
        EXPECT_FALSE(w->ListView1->isEnabled());
        EXPECT_EQ(w->PushButton7->text(), "Stop");
        EXPECT_EQ(w->PushButton1->text(), "Stop");
        EXPECT_NE(BASS_ChannelIsActive(w->state().CurrentChannel), 0u);
        stopPos = positionSeconds();
      });

  EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text.toStdString();
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_EQ(w->PushButton1->text(), "Play");
  EXPECT_EQ(w->Label3->text(), "Time: ");
  EXPECT_EQ(w->Label2->text(), "Total Time: ");
  EXPECT_EQ(w->Slider1->value(), 0);
  EXPECT_TRUE(w->state().PlayRestart);
  EXPECT_TRUE(w->ListView1->isEnabled());
  EXPECT_EQ(BASS_ChannelIsActive(w->state().CurrentChannel), 0u);
  EXPECT_FALSE(QFileInfo::exists(w->recorder->encoderFile().path()))
      << "the encoder file is deleted after the recording";

  const QString mp3 = out.filePath("song_recorded.mp3");
  EXPECT_EQ(w->recorder->lastOutputFile(), mp3);
  ASSERT_TRUE(finishRecording());
  EXPECT_FALSE(finished.failed);
  const Mp3Probe probe = probeMp3(mp3);
  ASSERT_TRUE(probe.decoded) << mp3.toStdString();
  EXPECT_EQ(probe.rate, 44100);
  EXPECT_EQ(probe.channels, 2);
  EXPECT_NEAR(probe.seconds, fedSeconds(finished), kLengthTolerance);
  // A freshly opened file plays from its start.
  EXPECT_NEAR(probe.seconds, stopPos, kLengthTolerance);
  EXPECT_NEAR(probe.seconds, 3.0, 0.25);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(RecordingTest, StopWithPlayButtonAndAFolderTypedWithoutSeparator) {
  // Only the last extension is replaced; the separator is supplied.
  w->ListView1->Add(copySource("tone.mp3", "my.song.mp3"));
  w->Text1->setText(out.path());
  recordFor(3000, [&] { stopWithPlayButton(); });

  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_EQ(w->PushButton1->text(), "Play");
  EXPECT_TRUE(w->state().PlayRestart);
  EXPECT_TRUE(w->ListView1->isEnabled());

  const QString mp3 = out.filePath("my.song_recorded.mp3");
  ASSERT_TRUE(finishRecording());
  const Mp3Probe probe = probeMp3(mp3);
  ASSERT_TRUE(probe.decoded) << mp3.toStdString();
  EXPECT_NEAR(probe.seconds, fedSeconds(finished), kLengthTolerance);
  EXPECT_NEAR(probe.seconds, 3.0, 0.25);
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
  recordFor(1000, [&] { stopWithThisButton(); });
  ASSERT_TRUE(finishRecording());
  EXPECT_FALSE(finished.failed);
  const Mp3Probe probe = probeMp3(mp3);
  ASSERT_TRUE(probe.decoded);
  EXPECT_NEAR(probe.seconds, fedSeconds(finished), kLengthTolerance);
  EXPECT_LT(QFileInfo(mp3).size(), 200'000) << "nothing of the old file is left";
}

TEST_F(RecordingTest, NameWithoutDotPlaysButRecordsNothing) {
  w->ListView1->Add(copySource("tone.mp3", "nodot"));
  w->PushButton7->click();  // returns at once: there is nothing to wait for

  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_EQ(w->PushButton1->text(), "Stop");
  EXPECT_TRUE(w->ListView1->isEnabled());
  EXPECT_EQ(BASS_ChannelIsActive(w->state().CurrentChannel),
            static_cast<DWORD>(BASS_ACTIVE_PLAYING));
  EXPECT_EQ(w->recorder->lastEncoder(), 0u);
  EXPECT_TRUE(QDir(out.path()).isEmpty());
  EXPECT_TRUE(QFileInfo::exists(w->recorder->encoderFile().path()))
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
  EXPECT_EQ(w->state().CurrentChannel, 0u);
  EXPECT_TRUE(w->recorder->encoderFile().folder().isEmpty()) << "no encoder was written";
}

TEST_F(RecordingTest, PausedChannelIsRecordedFromWhereItStandsWithItsTempoAndPitch) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  w->playback->ListView1_DblClick();  // plays; the Play button offers "Pause"
  ASSERT_EQ(w->PushButton1->text(), "Pause");
  QTest::qWait(700);
  w->sldTempo[0]->setValue(50);
  w->playback->sldTempo_Scroll(0);
  w->sldTempo[1]->setValue(3);
  w->playback->sldTempo_Scroll(1);
  w->PushButton1->click();  // pause
  ASSERT_FALSE(w->state().PlayRestart);
  const HSTREAM channel = w->state().CurrentChannel;
  const double pausedAt = positionSeconds();
  ASSERT_GT(pausedAt, 0.3);

  // The first events run before the channel goes on (it still stands).
  double startPos = -1, stopPos = -1;
  QTimer::singleShot(0, w->window, [&] { startPos = positionSeconds(); });
  recordFor(
      2000, [&] { stopWithThisButton(); }, [&] { stopPos = positionSeconds(); });

  EXPECT_EQ(w->state().CurrentChannel, channel) << "the loaded channel goes on, no new opening";
  EXPECT_NEAR(startPos, pausedAt, 0.1);
  float tempo = 0, pitch = 0;
  ASSERT_TRUE(BASS_ChannelGetAttribute(channel, BASS_ATTRIB_TEMPO, &tempo));
  ASSERT_TRUE(BASS_ChannelGetAttribute(channel, BASS_ATTRIB_TEMPO_PITCH, &pitch));
  EXPECT_FLOAT_EQ(tempo, 50);
  EXPECT_FLOAT_EQ(pitch, 3);

  ASSERT_TRUE(finishRecording());
  const Mp3Probe probe = probeMp3(out.filePath("song_recorded.mp3"));
  ASSERT_TRUE(probe.decoded);
  EXPECT_NEAR(probe.seconds, fedSeconds(finished), kLengthTolerance);
  // 1.5 times the tempo: the file moved on half as much again as was played.
  EXPECT_NEAR((stopPos - startPos) / 1.5, probe.seconds, 0.06);
  EXPECT_NEAR(probe.seconds, 2.0, 0.25);
}

TEST_F(RecordingTest, PlayingChannelGoesOnAndIsRecorded) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  w->PushButton1->click();  // plays and leaves PlayRestart False
  ASSERT_FALSE(w->state().PlayRestart);
  QTest::qWait(500);
  const HSTREAM channel = w->state().CurrentChannel;
  const double before = positionSeconds();
  double startPos = -1;
  QTimer::singleShot(0, w->window, [&] { startPos = positionSeconds(); });
  recordFor(1000, [&] { stopWithThisButton(); });
  EXPECT_EQ(w->state().CurrentChannel, channel);
  EXPECT_GE(startPos, before);
  ASSERT_TRUE(finishRecording());
  EXPECT_TRUE(probeMp3(out.filePath("song_recorded.mp3")).decoded);
}

TEST_F(RecordingTest, RecordingPastTheEndGoesOnFromTheStart) {
  w->ListView1->Add(copySource("short.mp3", "short.mp3"));  // 1.5 s
  double length = 0, stopPos = -1;
  recordFor(
      2500, [&] { stopWithThisButton(); },
      [&] {
        const HSTREAM c = w->state().CurrentChannel;
        length = BASS_ChannelBytes2Seconds(c, BASS_ChannelGetLength(c, BASS_POS_BYTE));
        stopPos = positionSeconds();
      });
  EXPECT_NEAR(length, 1.5, 0.05);
  EXPECT_LT(stopPos, 1.5) << "the channel started the file again";
  ASSERT_TRUE(finishRecording());
  const Mp3Probe probe = probeMp3(out.filePath("short_recorded.mp3"));
  ASSERT_TRUE(probe.decoded);
  EXPECT_NEAR(probe.seconds, fedSeconds(finished), kLengthTolerance);
  EXPECT_NEAR(probe.seconds, 2.5, 0.25);
}

TEST_F(RecordingTest, NamesWithSpacesQuotesUnicodeAndALeadingDash) {
  const QString folder = out.filePath("-out \"dq\" 'sq' ünï ♪");
  ASSERT_TRUE(QDir().mkpath(folder));
  w->Text1->setText(folder);
  const QString names[] = {"-lead ing.mp3", "quo\"te's.mp3", "ünï cødé ♪.mp3"};
  for (const QString& name : names) {
    w->ListView1->Clear();
    w->ListView1->Add(copySource("short.mp3", name, sources.filePath("-src 'x' \"y\" ß")));
    recordFor(600, [&] { stopWithThisButton(); });
    ASSERT_TRUE(finishRecording()) << name.toStdString();
    const QString mp3 = folder + "/" + name.left(name.size() - 4) + QStringLiteral("_recorded.mp3");
    const Mp3Probe probe = probeMp3(mp3);
    EXPECT_TRUE(probe.decoded) << mp3.toStdString();
    EXPECT_NEAR(probe.seconds, fedSeconds(finished), kLengthTolerance) << name.toStdString();
  }
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 3);
}
