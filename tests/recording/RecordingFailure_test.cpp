// Play and Record when something fails: the opening, the encoder's start,
// the encoder while it runs; the window closing mid-recording; a program
// planted where the encoder is written.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include "RecordingFixture.h"
#include "recording/EncoderResource.h"
#include "recording/EncoderWatch.h"
#include "shell/AppTitle.h"

using namespace lentaro;
using namespace lentaro::testing;

namespace {

// A program that marks its start in `marker` and then exits with `status`.
QByteArray markingProgram(const QString& marker, int status) {
  return "#!/bin/sh\ntouch '" + QFile::encodeName(marker) + "'\nexit " +
         QByteArray::number(status) + "\n";
}

}  // namespace

TEST_F(RecordingTest, FailedOpeningLeavesStopAndTheNextPressStops) {
  const QString bad = sources.filePath("bad.mp3");
  {
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is plain text, not sound\n");
  }
  w->ListView1->Add(bad);
  w->PushButton7->click();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(
      ui.messages[0].text.startsWith("Selected file couldn't be loaded!\r\n\r\n(error code: "))
      << ui.messages[0].text.toStdString();
  EXPECT_EQ(ui.messages[0].title, "Error");
  EXPECT_EQ(w->PushButton7->text(), "Stop");
  EXPECT_FALSE(w->state().PlayRestart);
  EXPECT_EQ(w->state().CurrentChannel, 0u);
  EXPECT_TRUE(QFileInfo::exists(w->recorder->encoderFile().path()));
  EXPECT_EQ(w->recorder->lastEncoder(), 0u);

  ui.messages.clear();
  w->PushButton7->click();  // step 4: the reset
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_EQ(w->PushButton1->text(), "Play");
  EXPECT_TRUE(w->state().PlayRestart);
  EXPECT_FALSE(QFileInfo::exists(w->recorder->encoderFile().path()));
  EXPECT_TRUE(QDir(out.path()).isEmpty());
}

TEST_F(RecordingTest, EncoderThatCannotStartIsReportedAndRepeatsUntilPlayStops) {
  w->recorder->setEncoderSource([] { return QByteArray("#!/nonexistent/interpreter\n"); });
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  w->PushButton7->click();

  ASSERT_EQ(ui.messages.size(), 1u);
  const QString expected =
      "Couldn't start encoding...\r\nMake sure LAME.EXE is in the same\r\n"
      "direcory as this software.\r\n\r\n(error code: ";
  EXPECT_TRUE(ui.messages[0].text.startsWith(expected)) << ui.messages[0].text.toStdString();
  EXPECT_EQ(ui.messages[0].title, "Error");
  EXPECT_EQ(ui.messages[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_EQ(w->PushButton1->text(), "Stop");
  EXPECT_EQ(w->state().CurrentChannel, 0u) << "forgotten, not freed";
  EXPECT_FALSE(w->state().PlayRestart);
  EXPECT_TRUE(w->ListView1->isEnabled());
  EXPECT_TRUE(QFileInfo::exists(w->recorder->encoderFile().path()));

  // No channel and PlayRestart False: every press tries channel 0 again.
  ui.messages.clear();
  w->recorder->setEncoderSource(&recording::LoadEncoderResource);
  w->PushButton7->click();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].text.startsWith(expected));
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");

  // The Play button's stop sets PlayRestart again; then a recording starts.
  ui.messages.clear();
  w->PushButton1->click();
  EXPECT_TRUE(w->state().PlayRestart);
  recordFor(500, [&] { stopWithThisButton(); });
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_TRUE(finishRecording());
  EXPECT_TRUE(probeMp3(out.filePath("song_recorded.mp3")).decoded);
}

TEST_F(RecordingTest, EncoderFailureIsToldOnceWhenTheRecordingEnds) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  const QString marker = sources.filePath("encoder-ran");
  w->recorder->setEncoderSource([&] { return markingProgram(marker, 3); });
  double firstPos = -1, laterPos = -1;
  QTimer::singleShot(300, w->window, [&] { firstPos = positionSeconds(); });
  recordFor(
      1200, [&] { stopWithThisButton(); },
      [&] {
        EXPECT_TRUE(ui.messages.empty()) << "nothing is told while the sound plays";
        laterPos = positionSeconds();
      });
  EXPECT_TRUE(QFileInfo::exists(marker));
  EXPECT_GT(laterPos, firstPos + 0.5) << "the sound keeps playing after the encoder died";
  ASSERT_EQ(ui.messages.size(), 1u);
  const QString mp3 = out.filePath("song_recorded.mp3");
  EXPECT_EQ(ui.messages[0].text, recording::EncoderWatch::failureText(mp3, [] {
              BASS_ENCODE_STATUS s{};
              s.exitStatus = 3;
              return s;
            }()));
  EXPECT_TRUE(ui.messages[0].text.contains(mp3));
  EXPECT_TRUE(ui.messages[0].text.contains("exit status: 3"));
  EXPECT_EQ(ui.messages[0].title, AppTitle());
  ASSERT_TRUE(finishRecording());
  QTest::qWait(2 * recording::EncoderWatch::kPollMs);
  EXPECT_EQ(ui.messages.size(), 1u) << "told once";

  // The real encoder, refused its output (a folder stands at the name).
  ui.messages.clear();
  w->recorder->setEncoderSource(&recording::LoadEncoderResource);
  ASSERT_TRUE(QDir(out.path()).mkdir("song_recorded.mp3"));
  recordFor(800, [&] { stopWithPlayButton(); });
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].text.startsWith("The recording could not be completed:\r\n" + mp3))
      << ui.messages[0].text.toStdString();
  EXPECT_TRUE(ui.messages[0].text.contains("exit status"));
}

TEST_F(RecordingTest, KilledEncoderIsToldWithItsSignal) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  w->recorder->setEncoderSource([] { return QByteArray("#!/bin/sh\nkill -9 $$\n"); });
  recordFor(800, [&] { stopWithThisButton(); });
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].text.endsWith("(the encoder was ended by signal 9)"))
      << ui.messages[0].text.toStdString();
}

TEST_F(RecordingTest, ClosingTheWindowMidRecordingLeavesAPlayableMp3) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  HENCODE encoder = 0;
  QObject scope;
  // What closing does: the engine is freed (finishing the encoder's file),
  // then the window goes, with the handler still waiting inside it.
  QTimer::singleShot(1500, &scope, [&] {
    encoder = w->recorder->lastEncoder();
    BASS_Free();
    w.reset();
  });
  QPushButton* button = w->PushButton7;
  button->click();
  ASSERT_EQ(w, nullptr) << "the press returned before the window closed";
  ASSERT_NE(encoder, 0u);
  BASS_ENCODE_STATUS status{};
  ASSERT_TRUE(BASS_Encode_GetStatus(encoder, &status));
  EXPECT_FALSE(status.running) << "the engine's shutdown waits for the encoder";
  EXPECT_FALSE(status.failed);
  const Mp3Probe probe = probeMp3(out.filePath("song_recorded.mp3"));
  ASSERT_TRUE(probe.decoded);
  EXPECT_NEAR(probe.seconds, fedSeconds(status), 0.030);
  EXPECT_NEAR(probe.seconds, 1.5, 0.25);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(RecordingTest, PlantedFileOrLinkAtTheEncodersPlaceIsNeverRun) {
  w->ListView1->Add(copySource("short.mp3", "song.mp3"));
  const QString marker = sources.filePath("planted-ran");
  const QString place = w->recorder->encoderFile().path();
  const QString planted = sources.filePath("planted");
  {
    QFile f(planted);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(markingProgram(marker, 0));
    f.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  }
  for (bool asLink : {false, true}) {
    QFile::remove(place);
    ASSERT_TRUE(asLink ? QFile::link(planted, place) : QFile::copy(planted, place));
    recordFor(500, [&] { stopWithThisButton(); });
    ASSERT_TRUE(finishRecording());
    EXPECT_FALSE(QFileInfo::exists(marker)) << (asLink ? "link" : "file");
    EXPECT_TRUE(probeMp3(out.filePath("song_recorded.mp3")).decoded);
    EXPECT_TRUE(ui.messages.empty());
  }
}

TEST_F(RecordingTest, StopIsHonouredAfterTheListWasClearedOrTheFolderRemoved) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  recordFor(800, [&] {
    w->ListView1->Clear();
    w->Text1->setText(out.filePath("gone"));
    stopWithThisButton();
  });
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_EQ(BASS_ChannelIsActive(w->state().CurrentChannel), 0u);
  EXPECT_TRUE(w->ListView1->isEnabled());
}

TEST_F(RecordingTest, EncoderFailingWhileItFinishesItsFileIsToldWhenSeen) {
  // Takes all the sound, then fails once its input ends: the failure shows
  // only after the channel is freed, and is told then, once.
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  w->recorder->setEncoderSource([] { return QByteArray("#!/bin/sh\ncat >/dev/null\nexit 4\n"); });
  recordFor(600, [&] { stopWithThisButton(); });
  EXPECT_TRUE(ui.messages.empty()) << "the encoder has not failed yet";
  EXPECT_EQ(w->recorder->encoderWatch().watching(), 1u);
  ASSERT_TRUE(finishRecording());
  EXPECT_TRUE(finished.failed);
  QTest::qWait(3 * recording::EncoderWatch::kPollMs);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].text.endsWith("(encoder exit status: 4)"));
  EXPECT_EQ(w->recorder->encoderWatch().watching(), 0u);
}

TEST_F(RecordingTest, EncoderFileThatCannotBeWrittenIsReportedAtItsStepAndThePressGoesOn) {
  // A temporary folder that is a file: no folder of ours can be made there.
  const QByteArray oldTmp = qgetenv("TMPDIR");
  qputenv("TMPDIR", QFile::encodeName(data("tone.mp3")));
  w = std::make_unique<RecorderWindow>(ui);
  qputenv("TMPDIR", oldTmp);
  w->Text1->setText(out.path());
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  w->PushButton7->click();

  ASSERT_EQ(ui.messages.size(), 3u);
  EXPECT_EQ(ui.messages[0].title, "Application Error");
  EXPECT_TRUE(
      ui.messages[0].text.contains("in Lentaro2017/04/05.Form1.PushButton7_Click at line 112"))
      << ui.messages[0].text.toStdString();
  EXPECT_TRUE(ui.messages[1].text.contains("Form1.PushButton7_Click at line 206"));
  EXPECT_TRUE(ui.messages[2].text.startsWith("Couldn't start encoding..."));
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_TRUE(w->ListView1->isEnabled());
}
