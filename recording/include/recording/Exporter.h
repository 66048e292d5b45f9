// "Export...": the selected file rendered with the current tempo, pitch and
// volume sliders, from its start (or its loop range, when the window has
// one), into an MP3, WAV or FLAC file the user names in a save dialog.
//
// The export runs on a worker thread of its own (ExportJob); the window
// stays fully usable meanwhile, playback included, since the export never
// touches the output or the playing channel. Progress, its end and its
// failure come back as signals on the user-interface thread; a failure or
// a cancel is also told in a message box (through the UiHost). One export
// runs at a time: asking for another meanwhile is refused with a message.
//
// The widgets belong to the main window; make this a child of it.
// Thread: user-interface thread only. The worker shares with it only the
// cancel flag (an atomic) and what it posts back as queued calls; the
// destructor cancels a running export and waits for the worker, which
// notices within one block of sound (and kills its encoder).
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>

#include "recording/ExportJob.h"

class QLineEdit;
class QSlider;
class QWidget;

namespace lentaro {
class UiHost;
namespace playlist {
class PlaylistView;
}
}  // namespace lentaro

namespace lentaro::recording {

// The controls of the main window an export reads.
struct ExportWidgets {
  QWidget* owner = nullptr;    // the window the dialogs belong to
  QLineEdit* Text1 = nullptr;  // the output folder
  playlist::PlaylistView* ListView1 = nullptr;
  QSlider* sldTempo[2] = {nullptr, nullptr};  // 0 tempo, 1 pitch
  QSlider* sldVolume = nullptr;
};

// A part of a file, in bytes as the engine counts positions (what
// BASS_Lentaro_ChannelGetLoop reports).
struct ExportRange {
  std::uint64_t startByte = 0;
  std::uint64_t endByte = 0;
};

class Exporter : public QObject {
  Q_OBJECT

 public:
  // For a file about to be exported: the part to export, or nothing for
  // the whole file. The loop feature supplies it; until then every export
  // is of the whole file.
  using LoopRangeSource = std::function<std::optional<ExportRange>(const QString& sourcePath)>;

  Exporter(UiHost& ui, const ExportWidgets& widgets, QObject* parent = nullptr);
  ~Exporter() override;

  // The command: asks for a name (proposing ExportProposedPath in the
  // output folder), then starts. Nothing is asked while an export runs
  // (a message says so), nor without a selected row.
  void exportSelected();

  // Starts an export without asking; false (and a message) while one runs.
  bool start(const ExportRequest& request);
  // Stops the running export; its end is signalled as Cancelled.
  void cancel();
  // Stops the running export and waits for its worker to end (it removes
  // its partial file and kills its encoder); nothing is signalled. For the
  // program's end, which runs no destructors: bounded by one block of
  // sound.
  void cancelAndWait();
  bool running() const { return worker_.joinable(); }
  const ExportRequest& current() const { return current_; }

  void setLoopRangeSource(LoopRangeSource source) { loopRange_ = std::move(source); }
  // The encoder program written for each MP3 export; LoadEncoderResource
  // unless replaced (tests give programs that fail). Called on the worker.
  void setEncoderSource(ExportJob::EncoderSource source) { encoderSource_ = std::move(source); }
  // Where the job makes its private encoder folder; the temporary folder.
  void setEncoderTempRoot(const QString& root) { encoderTempRoot_ = root; }

  static constexpr int kProgressIntervalMs = 100;
  static constexpr const char* kDialogTitle = "Export";

 Q_SIGNALS:
  void started(const QString& outputPath);
  // fraction 0 .. 1; secondsLeft < 0 while not yet known.
  void progressed(double fraction, double secondsLeft);
  // Before any message box about it.
  void finished(const lentaro::recording::ExportOutcome& outcome);

 private:
  void onProgress(double fraction);
  void onFinished(const ExportOutcome& outcome);
  void refuseWhileRunning();

  UiHost& ui_;
  ExportWidgets w_;
  LoopRangeSource loopRange_;
  ExportJob::EncoderSource encoderSource_;
  QString encoderTempRoot_;
  ExportRequest current_;
  std::atomic<bool> cancel_{false};
  std::thread worker_;
  QElapsedTimer clock_;
};

}  // namespace lentaro::recording
