#include "RecordingFixture.h"

#include <mpg123.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdint>

#include "playlist/PlaylistView.h"
#include "shell/ErrorTrap.h"

namespace lentaro::testing {

namespace {

constexpr unsigned long long kWavHeaderBytes = 44;
constexpr unsigned long long kBytesPerFrame = 4;  // 16-bit stereo

// Frames rendered per tick of the wait loop: small enough that the loop
// looks at the channel often, large enough that a second takes few ticks.
constexpr long long kBlockFrames = 2048;
// How far rendering may run ahead of what the encoder has taken; its feed
// holds more than this, so nothing is dropped.
constexpr long long kMaxLeadFrames = kRate / 2;
// The encoder may end its MP3 with up to a frame of padding that the
// decoder cannot tell from sound.
constexpr long long kEncoderSlackFrames = 1152;

// Bounds on the waits for the encoder process, and on a press that never
// returns; reached only when something is broken.
constexpr int kEncoderWaitMs = 15000;
constexpr int kWatchdogMs = 60000;

// The window's start-up opens the default output; here it opens the manual
// output, where sound advances only as a test renders it.
BOOL initManualOutput(int /*device*/, DWORD freq, DWORD flags, void* win, void* guid) {
  return BASS_Init(0, freq, flags | BASS_DEVICE_MANUAL, win, guid);
}

bool encoderLagsBehind(HENCODE encoder, long long rendered) {
  BASS_ENCODE_STATUS status{};
  if (!BASS_Encode_GetStatus(encoder, &status) || !status.running || status.failed) return false;
  return wavBytes(rendered) > status.bytesWritten + kMaxLeadFrames * kBytesPerFrame;
}

}  // namespace

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
    if (probe.decoded) {
      probe.frames = bytes / (sampleBytes * probe.channels);
      probe.seconds = static_cast<double>(probe.frames) / static_cast<double>(probe.rate);
    }
    mpg123_close(h);
  }
  mpg123_delete(h);
  return probe;
}

unsigned long long wavBytes(long long frames) {
  return kWavHeaderBytes + static_cast<unsigned long long>(frames) * kBytesPerFrame;
}

double fedSeconds(const BASS_ENCODE_STATUS& status) {
  if (status.bytesWritten <= kWavHeaderBytes) return 0;
  return static_cast<double>(status.bytesWritten - kWavHeaderBytes) / kBytesPerFrame / kRate;
}

void RecordingTest::SetUp() {
  ASSERT_TRUE(settingsDir.isValid() && sources.isValid() && out.isValid());
  QStandardPaths::setTestModeEnabled(true);
  // A home of this test's own: the per-file practice data and the waveform
  // cache live under it, and tests running side by side must not share them.
  ASSERT_TRUE(homeDir.isValid());
  qputenv("HOME", QFile::encodeName(homeDir.path()));
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
  ASSERT_TRUE(QFileInfo::exists(data("tone.mp3"))) << "generated test data missing";
  ASSERT_NO_FATAL_FAILURE(openWindow());

  // Until playback can open a file there is nothing to record.
  w->ListView1->Add(data("tone.mp3"));
  ErrorTrap probe(ui, QStringLiteral("probe"));
  const bool opens = playback().OpenSelectedFile(probe, 0);
  BASS_StreamFree(state().CurrentChannel);
  state().CurrentChannel = 0;
  w->ListView1->Clear();
  ASSERT_TRUE(opens) << "playback cannot open the generated test file";
  ui.messages.clear();
}

void RecordingTest::TearDown() {
  w.reset();
  BASS_Free();  // FALSE when the window's close has already freed it
}

void RecordingTest::openWindow() {
  w.reset();
  BASS_Free();
  StartupServices services;
  services.ui = &ui;
  services.audio.init = &initManualOutput;
  services.endProcess = [this](int status) { endStatuses.push_back(status); };
  services.randomUnit = [] { return 0.5; };
  services.appDir = qEnvironmentVariable("LENTARO_APP_DIR");
  w = std::make_unique<Form1>(services);
  ASSERT_TRUE(w->Form_Initialize())
      << "the window did not start on the manual output: "
      << (ui.messages.empty() ? std::string() : ui.messages.back().text.toStdString());
  ASSERT_NE(w->playback_, nullptr) << "playback is not wired";
  ASSERT_NE(w->playAndRecord_, nullptr) << "Play and Record is not wired";
  ui.messages.clear();
  w->Text1->setText(out.path() + QLatin1Char('/'));
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

void RecordingTest::render(long long frames) {
  std::vector<int16_t> block(2 * kBlockFrames);
  while (frames > 0) {
    const int n = static_cast<int>(std::min(frames, kBlockFrames));
    ASSERT_EQ(BASS_Lentaro_RenderOutput(block.data(), n), n) << "code " << BASS_ErrorGetCode();
    frames -= n;
  }
}

void RecordingTest::record(std::vector<RenderStep> steps) {
  const HENCODE before = recorder().lastEncoder();
  recordedFrames = 0;
  watchdogFired = false;
  std::size_t next = 0;
  long long due = steps.empty() ? 0 : steps.front().frames;
  bool inStep = false;
  bool renderFailed = false;
  std::vector<int16_t> block(2 * kBlockFrames);

  // One block per tick: the wait loop looks at the channel between blocks,
  // as it would between device periods. Ticks before the encoder has
  // started (the press's own event steps) and ticks nested in a step
  // render nothing.
  QTimer driver;
  driver.setInterval(0);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    if (inStep || next >= steps.size() || !w) return;
    const HENCODE encoder = recorder().lastEncoder();
    if (encoder == before) return;
    if (recordedFrames < due) {
      if (encoderLagsBehind(encoder, recordedFrames)) {
        QThread::msleep(1);  // the encoder process catches up
        return;
      }
      const int n = static_cast<int>(std::min(kBlockFrames, due - recordedFrames));
      if (BASS_Lentaro_RenderOutput(block.data(), n) != n) {
        renderFailed = true;
        next = steps.size();
        BASS_ChannelStop(state().CurrentChannel);
        return;
      }
      recordedFrames += n;
      return;
    }
    inStep = true;
    const std::function<void()> action = steps[next++].action;
    if (action) action();
    inStep = false;
    if (next < steps.size()) due += steps[next].frames;
  });

  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [this] {
    watchdogFired = true;
    if (w) BASS_ChannelStop(state().CurrentChannel);
  });

  driver.start();
  watchdog.start(kWatchdogMs);
  w->PushButton7->click();
  driver.stop();
  watchdog.stop();
  EXPECT_FALSE(renderFailed) << "the output did not render (code " << BASS_ErrorGetCode() << ")";
  EXPECT_FALSE(watchdogFired) << "the recording did not stop when told";
  EXPECT_EQ(next, steps.size()) << "the press returned before every step had run";
}

void RecordingTest::recordFor(long long frames, const std::function<void()>& stop,
                              const std::function<void()>& during) {
  record({{frames, [&] {
             if (during) during();
             stop();
           }}});
}

bool RecordingTest::waitForEncoderEnd() {
  const HENCODE encoder = recorder().lastEncoder();
  QElapsedTimer waited;
  waited.start();
  BASS_ENCODE_STATUS status{};
  while (BASS_Encode_GetStatus(encoder, &status) && status.running) {
    if (waited.elapsed() > kEncoderWaitMs) return false;
    QThread::msleep(2);
  }
  return BASS_Encode_GetStatus(encoder, &status) && !status.running;
}

bool RecordingTest::finishRecording() {
  BASS_StreamFree(state().CurrentChannel);
  const HENCODE encoder = recorder().lastEncoder();
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < kEncoderWaitMs) {
    if (BASS_Encode_GetStatus(encoder, &finished) && !finished.running) return true;
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
  return false;
}

void RecordingTest::expectMp3OfAllRendered(const QString& mp3) {
  EXPECT_FALSE(finished.failed);
  EXPECT_EQ(finished.bytesDropped, 0u);
  EXPECT_EQ(finished.bytesWritten, wavBytes(recordedFrames))
      << "the encoder was fed " << fedSeconds(finished) << " s of " << recordedFrames
      << " frames rendered";
  const Mp3Probe probe = probeMp3(mp3);
  ASSERT_TRUE(probe.decoded) << mp3.toStdString();
  EXPECT_EQ(probe.rate, kRate);
  EXPECT_EQ(probe.channels, 2);
  EXPECT_NEAR(static_cast<double>(probe.frames), static_cast<double>(recordedFrames),
              static_cast<double>(kEncoderSlackFrames));
}

double RecordingTest::positionSeconds() {
  const HSTREAM channel = state().CurrentChannel;
  return BASS_ChannelBytes2Seconds(channel, BASS_ChannelGetPosition(channel, BASS_POS_BYTE));
}

}  // namespace lentaro::testing
