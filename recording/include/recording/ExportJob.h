// One export: the selected file rendered offline with a tempo, a pitch and
// a volume (lentaro/bass_offline.h), written as MP3 (through the embedded
// LAME program, fed at the render's pace), WAV or FLAC (libsndfile).
//
// The sound goes to "<output>.part" beside the output and takes the
// output's name only once it is complete, so a cancel or a failure leaves
// no file behind (the part is removed) and never harms a file that stood
// at that name before. The encoder program is written to a private folder
// of the job's own, removed at the end.
//
// run() waits for the disk, the decoder and the encoder: call it on a
// worker thread (Exporter does), never on the user-interface thread. It
// touches neither the engine's channels nor its output, so playback goes
// on undisturbed. Threads: run() on one thread; `cancel` may be set from
// any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

#include "recording/ExportName.h"

namespace lentaro::recording {

struct ExportRequest {
  QString sourcePath;
  QString outputPath;
  ExportFormat format = ExportFormat::Mp3;
  float tempo = 0;   // percent
  float pitch = 0;   // semitones
  float volume = 1;  // 0 .. 1
  // Bytes of the source as the engine counts them; 0/0: the whole file.
  std::uint64_t startByte = 0;
  std::uint64_t endByte = 0;
};

struct ExportOutcome {
  enum class Kind { Done, Cancelled, Failed };
  Kind kind = Kind::Failed;
  QString outputPath;
  // Failed: what went wrong, in plain words (a sentence or two).
  QString reason;
  // Done: seconds of sound written.
  double seconds = 0;
};

class ExportJob {
 public:
  // The encoder program's bytes; throws lentaro::Failure when it has none.
  using EncoderSource = std::function<QByteArray()>;
  // Fraction of the source rendered so far, 0 .. 1.
  using Progress = std::function<void(double fraction)>;

  // encoderTempRoot: where the private folder for the encoder program is
  // made (the temporary folder in the program).
  ExportJob(ExportRequest request, EncoderSource encoderSource, QString encoderTempRoot);

  ExportOutcome run(const std::atomic<bool>& cancel, const Progress& progress = {});

  // The file the sound goes to until it is complete.
  static QString partPath(const QString& outputPath);

  static constexpr int kBlockFrames = 4096;
  // How long an encoder may take to finish its file after its input ends.
  static constexpr int kEncoderFinishMs = 60000;

 private:
  ExportRequest request_;
  EncoderSource encoderSource_;
  QString encoderTempRoot_;
};

}  // namespace lentaro::recording
