// Play and Record when something fails: the opening, the encoder's start,
// the encoder while it runs; the window closing mid-recording; a program
// planted where the encoder is written. The sound comes from the manual
// output; the only waits are for the encoder processes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include "RecordingFixture.h"
#include "playlist/PlaylistView.h"
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

// Bounds the wait for the watch's next look at a finishing encoder.
constexpr int kWatchWaitMs = 10 * recording::EncoderWatch::kPollMs;

// Waits, bounded, for a script encoder to leave its marker.
bool waitForMarker(const QString& marker) {
  QElapsedTimer waited;
  waited.start();
  while (!QFileInfo::exists(marker)) {
    if (waited.elapsed() > 15000) return false;
    QThread::msleep(2);
  }
  return true;
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
  EXPECT_FALSE(state().PlayRestart);
  EXPECT_EQ(state().CurrentChannel, 0u);
  EXPECT_TRUE(QFileInfo::exists(recorder().encoderFile().path()));
  EXPECT_EQ(recorder().lastEncoder(), 0u);

  ui.messages.clear();
  w->PushButton7->click();  // the press that stops resets everything
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_EQ(w->PushButton1->text(), "Play");
  EXPECT_TRUE(state().PlayRestart);
  EXPECT_FALSE(QFileInfo::exists(recorder().encoderFile().path()));
  EXPECT_TRUE(QDir(out.path()).isEmpty());
}

TEST_F(RecordingTest, EncoderThatCannotStartIsReportedAndRepeatsUntilPlayStops) {
  recorder().setEncoderSource([] { return QByteArray("#!/nonexistent/interpreter\n"); });
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
  EXPECT_EQ(state().CurrentChannel, 0u) << "forgotten, not freed";
  EXPECT_FALSE(state().PlayRestart);
  EXPECT_TRUE(w->ListView1->isEnabled());
  EXPECT_TRUE(QFileInfo::exists(recorder().encoderFile().path()));

  // No channel and PlayRestart False: every press tries channel 0 again.
  ui.messages.clear();
  recorder().setEncoderSource(&recording::LoadEncoderResource);
  w->PushButton7->click();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].text.startsWith(expected));
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");

  // The Play button's stop sets PlayRestart again; then a recording starts.
  ui.messages.clear();
  w->PushButton1->click();
  EXPECT_TRUE(state().PlayRestart);
  recordFor(framesOf(0.5), [&] { stopWithThisButton(); });
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_TRUE(finishRecording());
  expectMp3OfAllRendered(out.filePath("song_recorded.mp3"));
}

TEST_F(RecordingTest, EncoderFailureIsToldOnceWhenTheRecordingEnds) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  const QString marker = sources.filePath("encoder-ran");
  recorder().setEncoderSource([&] { return markingProgram(marker, 3); });
  double firstPos = -1, laterPos = -1;
  record({
      {framesOf(0.3),
       [&] {
         firstPos = positionSeconds();
         EXPECT_TRUE(waitForEncoderEnd()) << "the encoder never ended";
       }},
      {framesOf(0.9),
       [&] {
         EXPECT_TRUE(ui.messages.empty()) << "nothing is told while the sound plays";
         laterPos = positionSeconds();
         stopWithThisButton();
       }},
  });
  EXPECT_TRUE(QFileInfo::exists(marker));
  EXPECT_NEAR(laterPos - firstPos, 0.9, 0.005) << "the sound keeps playing after the encoder died";
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
  // Told once: the watch has let go of it, so nothing can come later.
  EXPECT_EQ(recorder().encoderWatch().watching(), 0u);
  QCoreApplication::processEvents();
  EXPECT_EQ(ui.messages.size(), 1u) << "told once";

  // The real encoder, refused its output (a folder stands at the name).
  ui.messages.clear();
  recorder().setEncoderSource(&recording::LoadEncoderResource);
  ASSERT_TRUE(QDir(out.path()).mkdir("song_recorded.mp3"));
  record({{framesOf(0.5), [&] {
             EXPECT_TRUE(waitForEncoderEnd()) << "the encoder went on without its output";
             stopWithPlayButton();
           }}});
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].text.startsWith("The recording could not be completed:\r\n" + mp3))
      << ui.messages[0].text.toStdString();
  EXPECT_TRUE(ui.messages[0].text.contains("exit status"));
}

TEST_F(RecordingTest, KilledEncoderIsToldWithItsSignal) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  recorder().setEncoderSource([] { return QByteArray("#!/bin/sh\nkill -9 $$\n"); });
  record({{framesOf(0.3), [&] {
             EXPECT_TRUE(waitForEncoderEnd()) << "the encoder was never killed";
             stopWithThisButton();
           }}});
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].text.endsWith("(the encoder was ended by signal 9)"))
      << ui.messages[0].text.toStdString();
}

TEST_F(RecordingTest, ClosingTheWindowMidRecordingLeavesAPlayableMp3) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  HENCODE encoder = 0;
  // The window is closed (its close frees the engine, which finishes the
  // encoder's file) and then destroyed, with the handler still waiting
  // inside it.
  record({{framesOf(1.0), [&] {
             encoder = recorder().lastEncoder();
             w->close();
             w.reset();
           }}});
  ASSERT_EQ(w, nullptr) << "the press returned before the window closed";
  EXPECT_EQ(endStatuses, std::vector<int>{0});
  ASSERT_NE(encoder, 0u);
  ASSERT_TRUE(BASS_Encode_GetStatus(encoder, &finished));
  EXPECT_FALSE(finished.running) << "the engine's shutdown waits for the encoder";
  expectMp3OfAllRendered(out.filePath("song_recorded.mp3"));
  EXPECT_EQ(recordedFrames, framesOf(1.0));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(RecordingTest, PlantedFileOrLinkAtTheEncodersPlaceIsNeverRun) {
  w->ListView1->Add(copySource("short.mp3", "song.mp3"));
  const QString marker = sources.filePath("planted-ran");
  const QString place = recorder().encoderFile().path();
  const QString planted = sources.filePath("planted");
  {
    QFile f(planted);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(markingProgram(marker, 0));
    f.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
  }
  for (bool asLink : {false, true}) {
    SCOPED_TRACE(asLink ? "link" : "file");
    QFile::remove(place);
    ASSERT_TRUE(asLink ? QFile::link(planted, place) : QFile::copy(planted, place));
    recordFor(framesOf(0.3), [&] { stopWithThisButton(); });
    ASSERT_TRUE(finishRecording());
    EXPECT_FALSE(QFileInfo::exists(marker));
    expectMp3OfAllRendered(out.filePath("song_recorded.mp3"));
    EXPECT_TRUE(ui.messages.empty());
  }
}

TEST_F(RecordingTest, StopIsHonouredAfterTheListWasClearedOrTheFolderRemoved) {
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  recordFor(framesOf(0.5), [&] {
    w->ListView1->Clear();
    w->Text1->setText(out.filePath("gone"));
    stopWithThisButton();
  });
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(w->PushButton7->text(), "Play and Record");
  EXPECT_EQ(BASS_ChannelIsActive(state().CurrentChannel), 0u);
  EXPECT_TRUE(w->ListView1->isEnabled());
}

TEST_F(RecordingTest, EncoderFailingWhileItFinishesItsFileIsToldWhenSeen) {
  // Takes all the sound, then fails once its input ends: the failure shows
  // only after the channel is freed, and is told then, once.
  w->ListView1->Add(copySource("tone.mp3", "song.mp3"));
  const QString marker = sources.filePath("encoder-reading");
  recorder().setEncoderSource([&]() -> QByteArray {
    return "#!/bin/sh\ntouch '" + QFile::encodeName(marker) + "'\ncat >/dev/null\nexit 4\n";
  });
  recordFor(framesOf(0.4), [&] {
    // The stop press deletes the encoder's file: the shell must have
    // opened its script by then, as a real encoder is loaded at its start.
    EXPECT_TRUE(waitForMarker(marker)) << "the encoder never started";
    stopWithThisButton();
  });
  EXPECT_TRUE(ui.messages.empty())
      << "the encoder has not failed yet: " << ui.messages.front().text.toStdString();
  EXPECT_EQ(recorder().encoderWatch().watching(), 1u);
  ASSERT_TRUE(finishRecording());
  EXPECT_TRUE(finished.failed);
  EXPECT_EQ(finished.bytesWritten, wavBytes(recordedFrames)) << "it took all the sound";
  // The watch looks again every kPollMs while an ended encoder finishes.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !ui.messages.empty(); }, kWatchWaitMs));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].text.endsWith("(encoder exit status: 4)"))
      << ui.messages[0].text.toStdString();
  EXPECT_EQ(recorder().encoderWatch().watching(), 0u);
}

TEST_F(RecordingTest, EncoderFileThatCannotBeWrittenIsReportedAtItsStepAndThePressGoesOn) {
  // A temporary folder that is a file: no folder of ours can be made there.
  const QByteArray oldTmp = qgetenv("TMPDIR");
  const bool hadTmp = qEnvironmentVariableIsSet("TMPDIR");
  qputenv("TMPDIR", QFile::encodeName(data("tone.mp3")));
  openWindow();
  if (hadTmp)
    qputenv("TMPDIR", oldTmp);
  else
    qunsetenv("TMPDIR");
  ASSERT_FALSE(HasFatalFailure());
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
