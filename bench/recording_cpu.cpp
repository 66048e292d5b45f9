// Measures what a recording costs: the whole program (all its threads), its
// user-interface thread (which waits in Play and Record's loop) and the
// encoder process, each as a share of one core over the recording's
// wall-clock time. Runs on the engine's no-sound device, headless.
#include <lentaro/bass.h>
#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "playback/Playback.h"
#include "playlist/PlaylistView.h"
#include "recording/PlayAndRecord.h"
#include "shell/UiHost.h"

namespace {

class SilentUi : public lentaro::UiHost {
 public:
  lentaro::MsgAnswer messageBox(QWidget*, const QString& text, const QString&, lentaro::MsgButtons,
                                lentaro::MsgIcon) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return lentaro::MsgAnswer::Ok;
  }
  QStringList getOpenFileNames(QWidget*, const lentaro::OpenFilesRequest&) override { return {}; }
  QString getSaveFileName(QWidget*, const lentaro::SaveFileRequest&) override { return {}; }
  QString browseForFolder(QWidget*, const QString&) override { return {}; }
  bool openFolder(const QString&) override { return false; }
  bool openUrl(const QUrl&) override { return false; }
};

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
}

double processCpu(int who) {
  rusage u{};
  getrusage(who, &u);
  return seconds(u.ru_utime) + seconds(u.ru_stime);
}

double threadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int recordMs = argc > 1 ? QString(argv[1]).toInt() * 1000 : 10000;
  const QString mp3 =
      argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(LENTARO_BENCH_MP3);

  QWidget window;
  SilentUi ui;
  lentaro::playback::PlaybackWidgets pw;
  auto* list = new lentaro::playlist::PlaylistView(&window);
  pw.ListView1 = list;
  pw.PushButton1 = new QPushButton(QStringLiteral("Play"), &window);
  pw.PushButton7 = new QPushButton(QStringLiteral("Play and Record"), &window);
  pw.Frame1 = new QGroupBox(&window);
  pw.Frame3 = new QGroupBox(&window);
  pw.sldTempo[0] = new QSlider(&window);
  pw.sldTempo[1] = new QSlider(&window);
  pw.sldVolume = new QSlider(&window);
  pw.sldVolume->setRange(0, 100);
  pw.sldVolume->setValue(100);
  pw.Slider1 = new QSlider(&window);
  pw.Label2 = new QLabel(&window);
  pw.Label3 = new QLabel(&window);
  pw.Timer2 = new QTimer(&window);
  auto* playback = new lentaro::playback::Playback(ui, pw, &window);
  QObject::connect(pw.Timer2, &QTimer::timeout, playback,
                   &lentaro::playback::Playback::Timer2_Timer);
  pw.Timer2->start(lentaro::playback::Playback::kRefreshMs);

  QTemporaryDir out;
  lentaro::recording::RecordingWidgets rw;
  rw.owner = &window;
  rw.PushButton1 = pw.PushButton1;
  rw.PushButton7 = pw.PushButton7;
  rw.Text1 = new QLineEdit(out.path() + QLatin1Char('/'), &window);
  rw.ListView1 = list;
  rw.Label2 = pw.Label2;
  rw.Label3 = pw.Label3;
  rw.Slider1 = pw.Slider1;
  lentaro::recording::PlayAndRecord recorder(ui, *playback, rw);

  if (!BASS_Init(0, 44100, 0, &window, nullptr)) {
    std::fprintf(stderr, "no output (code %d)\n", BASS_ErrorGetCode());
    return 1;
  }
  list->Add(mp3);

  double cpu0 = 0, thread0 = 0, cpu1 = 0, thread1 = 0;
  QElapsedTimer wall;
  qint64 wallMs = 0;
  // Measured from inside the wait loop, once the recording runs.
  QTimer::singleShot(200, [&] {
    wall.start();
    cpu0 = processCpu(RUSAGE_SELF);
    thread0 = threadCpu();
  });
  QTimer::singleShot(200 + recordMs, [&] {
    wallMs = wall.elapsed();
    cpu1 = processCpu(RUSAGE_SELF);
    thread1 = threadCpu();
    recorder.PushButton7_Click();
  });
  recorder.PushButton7_Click();

  const double children0 = processCpu(RUSAGE_CHILDREN);
  BASS_ENCODE_STATUS status{};
  BASS_Free();  // waits for the encoder, which is then reaped
  BASS_Encode_GetStatus(recorder.lastEncoder(), &status);
  const double encoderCpu = processCpu(RUSAGE_CHILDREN) - children0;

  const double w = static_cast<double>(wallMs) / 1000.0;
  std::printf("recorded %.2f s (%llu WAV bytes fed, %llu dropped, encoder %s)\n", w,
              static_cast<unsigned long long>(status.bytesWritten),
              static_cast<unsigned long long>(status.bytesDropped),
              status.failed ? "FAILED" : "ok");
  std::printf("program, all threads:   %5.2f %% of a core\n", 100.0 * (cpu1 - cpu0) / w);
  std::printf("user-interface thread:  %5.2f %% of a core\n", 100.0 * (thread1 - thread0) / w);
  std::printf("encoder process (lame): %5.2f %% of a core (whole run)\n", 100.0 * encoderCpu / w);
  return 0;
}
