// How fast an export runs, beside what it stands for and what else could
// do the same work: a 3-minute MP3 (made here with sox and lame) exported
// at tempo -50 and pitch +5 through the real export job, to WAV (with each
// of the engine's stretchers) and to MP3, against
//   - the real-time duration (what Play and Record takes for it),
//   - lame encoding the exported WAV (the MP3 step alone),
//   - rubberband --fine -T 0.5 -p 5 and soundstretch -tempo=-50 -pitch=5
//     on the same sound, decoded to WAV beforehand (their time leaves the
//     decoding out; ours includes it).
// Each figure is the exported sound's length over the wall-clock time
// (x real time), the best of `runs` (default 3).
//
//   build/bench/export_bench [runs]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>

#include <lentaro/bass.h>

#include "recording/EncoderResource.h"
#include "recording/ExportJob.h"

namespace {

using lentaro::recording::ExportFormat;
using lentaro::recording::ExportJob;
using lentaro::recording::ExportOutcome;
using lentaro::recording::ExportRequest;

constexpr double kSourceSeconds = 180;
constexpr float kTempo = -50;
constexpr float kPitch = 5;
constexpr double kOutputSeconds = kSourceSeconds / (1 + kTempo / 100);

bool run(const QString& program, const QStringList& args) {
  QProcess p;
  p.setStandardOutputFile(QProcess::nullDevice());
  p.setStandardErrorFile(QProcess::nullDevice());
  p.start(program, args);
  if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    std::fprintf(stderr, "%s failed\n", qPrintable(program));
    return false;
  }
  return true;
}

// The best wall-clock seconds of `runs` runs of `work`; negative on failure.
double best(int runs, const std::function<bool()>& work) {
  double fastest = -1;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer t;
    t.start();
    if (!work()) return -1;
    const double s = static_cast<double>(t.nsecsElapsed()) / 1e9;
    fastest = fastest < 0 ? s : std::min(fastest, s);
  }
  return fastest;
}

void report(const char* what, double seconds) {
  if (seconds < 0) {
    std::printf("  %-44s  failed\n", what);
    return;
  }
  std::printf("  %-44s %8.2f s  %7.1f x real time\n", what, seconds, kOutputSeconds / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  QTemporaryDir dir;
  const QString wav = dir.filePath("source.wav");
  const QString mp3 = dir.filePath("song.mp3");
  // Two gliding tones with a tremolo: a steady load for every stretcher.
  if (!run("sox", {"-q",
                   "-n",
                   "-r",
                   "44100",
                   "-c",
                   "2",
                   "-b",
                   "16",
                   wav,
                   "synth",
                   QString::number(kSourceSeconds),
                   "sine",
                   "200-800",
                   "sine",
                   "300-1200",
                   "tremolo",
                   "4",
                   "40",
                   "gain",
                   "-3"}) ||
      !run("lame", {"--quiet", "-b", "192", wav, mp3})) {
    return 1;
  }
  // What the stretchers read: the MP3 decoded, as our export decodes it.
  const QString decoded = dir.filePath("decoded.wav");
  {
    std::atomic<bool> cancel{false};
    ExportJob job({mp3, decoded, ExportFormat::Wav}, {}, dir.path());
    if (job.run(cancel).kind != ExportOutcome::Kind::Done) return 1;
  }
  std::printf("3-minute MP3 at tempo %g %%, pitch %+g: %.0f s of sound (Play and Record: %.0f s)\n",
              static_cast<double>(kTempo), static_cast<double>(kPitch), kOutputSeconds,
              kOutputSeconds);
  std::printf("best of %d runs on this machine:\n", runs);

  const auto exportTo = [&](ExportFormat format, const QString& out) {
    return [=, &dir] {
      std::atomic<bool> cancel{false};
      ExportRequest r{mp3, out, format, kTempo, kPitch, 1.0f};
      ExportJob job(r, &lentaro::recording::LoadEncoderResource, dir.path());
      return job.run(cancel).kind == ExportOutcome::Kind::Done;
    };
  };
  const QString exportedWav = dir.filePath("export.wav");
  // Both stretchers the engine has; the default one last, so that the
  // WAV lame encodes below is the one the program exports.
  const DWORD kinds[] = {BASS_LENTARO_STRETCHER_FAST, BASS_LENTARO_STRETCHER_HIGH};
  const DWORD program = BASS_Lentaro_GetDefaultStretcher();
  for (DWORD kind : kinds) {
    if (kind == program) continue;
    BASS_Lentaro_SetDefaultStretcher(kind);
    report(kind == BASS_LENTARO_STRETCHER_FAST ? "Export to WAV (Fast: SoundTouch)"
                                               : "Export to WAV (High: Rubber Band)",
           best(runs, exportTo(ExportFormat::Wav, dir.filePath("other.wav"))));
  }
  BASS_Lentaro_SetDefaultStretcher(program);
  const bool fast = program == BASS_LENTARO_STRETCHER_FAST;
  report(fast ? "Export to WAV (Fast: SoundTouch, default)"
              : "Export to WAV (High: Rubber Band, default)",
         best(runs, exportTo(ExportFormat::Wav, exportedWav)));
  report(fast ? "Export to MP3 (Fast, default)" : "Export to MP3 (High, default)",
         best(runs, exportTo(ExportFormat::Mp3, dir.filePath("export.mp3"))));
  report("lame on the exported WAV (MP3 step alone)", best(runs, [&] {
           return run("lame", {"--quiet", exportedWav, dir.filePath("lame.mp3")});
         }));
  const QString rubberband = QStandardPaths::findExecutable("rubberband");
  const QString soundstretch = QStandardPaths::findExecutable("soundstretch");
  if (rubberband.isEmpty()) {
    std::printf("  rubberband: not installed\n");
  } else {
    report("rubberband --fine -T 0.5 -p 5 (WAV to WAV)", best(runs, [&] {
             return run(rubberband, {"-q", "--fine", "-T", "0.5", "-p", "5", decoded,
                                     dir.filePath("rubberband.wav")});
           }));
  }
  if (soundstretch.isEmpty()) {
    std::printf("  soundstretch: not installed\n");
  } else {
    report("soundstretch -tempo=-50 -pitch=5 (WAV to WAV)", best(runs, [&] {
             return run(soundstretch,
                        {decoded, dir.filePath("soundstretch.wav"), "-tempo=-50", "-pitch=5"});
           }));
  }
  report("real time (Play and Record)", kOutputSeconds);
  return 0;
}
