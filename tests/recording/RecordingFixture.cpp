#include "RecordingFixture.h"

#include <mpg123.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <vector>

#include "shell/ErrorTrap.h"

namespace lentaro::testing {

Mp3Probe probeMp3(const QString& path) {
  Mp3Probe probe;
  int err = MPG123_OK;
  mpg123_handle* h = mpg123_new(nullptr, &err);
  if (h == nullptr) return probe;
  if (mpg123_open(h, QFile::encodeName(path).constData()) == MPG123_OK) {
    int encoding = 0;
    mpg123_getformat(h, &probe.rate, &probe.channels, &encoding);
    std::vector<unsigned char> buffer(65536);
    size_t got = 0;
    long long bytes = 0;
    int r = MPG123_OK;
    do {
      r = mpg123_read(h, buffer.data(), buffer.size(), &got);
      bytes += static_cast<long long>(got);
      if (r == MPG123_NEW_FORMAT) mpg123_getformat(h, &probe.rate, &probe.channels, &encoding);
    } while (r == MPG123_OK || r == MPG123_NEW_FORMAT);
    const int sampleBytes = mpg123_encsize(encoding);
    probe.decoded = r == MPG123_DONE && probe.rate > 0 && probe.channels > 0 && sampleBytes > 0;
    if (probe.decoded)
      probe.seconds = static_cast<double>(bytes) / (sampleBytes * probe.channels) / probe.rate;
    mpg123_close(h);
  }
  mpg123_delete(h);
  return probe;
}

double fedSeconds(const BASS_ENCODE_STATUS& status) {
  constexpr double kHeader = 44;
  constexpr double kBytesPerSecond = 44100.0 * 4;
  return (static_cast<double>(status.bytesWritten) - kHeader) / kBytesPerSecond;
}

RecorderWindow::RecorderWindow(UiHost& ui) : window(new QWidget) {
  ListView1 = new playlist::PlaylistView(window);
  PushButton1 = new QPushButton(QStringLiteral("Play"), window);
  PushButton7 = new QPushButton(QStringLiteral("Play and Record"), window);
  Text1 = new QLineEdit(window);
  Label2 = new QLabel(QStringLiteral("Total Time:"), window);
  Label3 = new QLabel(QStringLiteral("Time:"), window);
  Slider1 = new QSlider(Qt::Horizontal, window);
  sldVolume = new QSlider(Qt::Horizontal, window);
  sldVolume->setRange(0, 100);
  sldVolume->setValue(100);
  sldTempo[0] = new QSlider(Qt::Horizontal, window);
  sldTempo[0]->setRange(-200, 200);
  sldTempo[1] = new QSlider(Qt::Horizontal, window);
  sldTempo[1]->setRange(-30, 30);
  Frame1 = new QGroupBox(window);
  Frame3 = new QGroupBox(window);
  Timer2 = new QTimer(window);

  playback::PlaybackWidgets pw;
  pw.PushButton1 = PushButton1;
  pw.PushButton7 = PushButton7;
  pw.Frame1 = Frame1;
  pw.Frame3 = Frame3;
  pw.sldTempo[0] = sldTempo[0];
  pw.sldTempo[1] = sldTempo[1];
  pw.sldVolume = sldVolume;
  pw.Slider1 = Slider1;
  pw.Label2 = Label2;
  pw.Label3 = Label3;
  pw.Timer2 = Timer2;
  pw.ListView1 = ListView1;
  playback = new playback::Playback(ui, pw, window);

  recording::RecordingWidgets rw;
  rw.owner = window;
  rw.PushButton1 = PushButton1;
  rw.PushButton7 = PushButton7;
  rw.Text1 = Text1;
  rw.ListView1 = ListView1;
  rw.Label2 = Label2;
  rw.Label3 = Label3;
  rw.Slider1 = Slider1;
  recorder = new recording::PlayAndRecord(ui, *playback, rw, window);

  QObject::connect(PushButton1, &QPushButton::clicked, playback,
                   &playback::Playback::PushButton1_Click);
  QObject::connect(PushButton7, &QPushButton::clicked, recorder,
                   &recording::PlayAndRecord::PushButton7_Click);
}

RecorderWindow::~RecorderWindow() {
  delete window;
}

void RecordingTest::SetUp() {
  w = std::make_unique<RecorderWindow>(ui);
  if (!BASS_Init(0, 44100, 0, w->window, nullptr))
    GTEST_SKIP() << "the engine's no-sound device does not open (code " << BASS_ErrorGetCode()
                 << ")";
  ASSERT_TRUE(QFileInfo::exists(data("tone.mp3"))) << "generated test data missing";
  w->Text1->setText(out.path() + "/");

  // Until playback can open a file there is nothing to record.
  w->ListView1->Add(data("tone.mp3"));
  ErrorTrap probe(ui, QStringLiteral("probe"));
  const bool opens = w->playback->OpenSelectedFile(probe, 0);
  BASS_StreamFree(w->state().CurrentChannel);
  w->state().CurrentChannel = 0;
  w->ListView1->Clear();
  ui.messages.clear();
  if (!opens) GTEST_SKIP() << "playback cannot open the test file yet";
}

void RecordingTest::TearDown() {
  BASS_Free();
  w.reset();
}

QString RecordingTest::data(const char* name) {
  return qEnvironmentVariable("LENTARO_TEST_DATA") + QStringLiteral("/recording/") +
         QString::fromUtf8(name);
}

QString RecordingTest::copySource(const char* dataName, const QString& name, QString folder) {
  if (folder.isEmpty()) folder = sources.path();
  QDir().mkpath(folder);
  const QString path = folder + QLatin1Char('/') + name;
  QFile::remove(path);
  EXPECT_TRUE(QFile::copy(data(dataName), path)) << path.toStdString();
  return path;
}

void RecordingTest::recordFor(int ms, const std::function<void()>& stop,
                              const std::function<void()>& during) {
  // Timers die with `scope`, so none fires after a press that returned early.
  QObject scope;
  QTimer::singleShot(ms, &scope, [&] {
    if (during) during();
    stop();
  });
  QTimer::singleShot(ms + 20000, &scope, [this] {
    watchdogFired = true;
    BASS_ChannelStop(w->state().CurrentChannel);
  });
  w->PushButton7->click();
  EXPECT_FALSE(watchdogFired) << "the recording did not stop when told";
}

bool RecordingTest::finishRecording() {
  BASS_StreamFree(w->state().CurrentChannel);
  const HENCODE encoder = w->recorder->lastEncoder();
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 15000) {
    if (BASS_Encode_GetStatus(encoder, &finished) && !finished.running) return true;
    QTest::qWait(20);
  }
  return false;
}

double RecordingTest::positionSeconds() const {
  const HSTREAM channel = w->state().CurrentChannel;
  return BASS_ChannelBytes2Seconds(channel, BASS_ChannelGetPosition(channel, BASS_POS_BYTE));
}

}  // namespace lentaro::testing
