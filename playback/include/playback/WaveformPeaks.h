// The peaks of the current file for the waveform overview: a fixed number
// of columns (memory stays the same whatever the file's length), computed
// by the engine's offline peaks (lentaro/bass_offline.h) on a worker thread
// of this object's own, so opening a file never waits for them. They fill
// in as they are computed: peaksChanged() comes, at most one queued at a
// time, whenever more columns are final.
//
// Finished peaks are kept in memory (the last kMemoryEntries files) and on
// disk in the cache folder (at most kDiskEntries files), keyed by the
// file's path, size and modification time, so opening a file again shows
// its overview at once. The file is looked at (and the caches read and
// written) on the worker, never on the user-interface thread.
//
// Threads: the object is the user-interface thread's. The worker writes
// the columns of the running request and publishes how many are final
// (release/acquire on `filled`); this object reads only those, and the
// worker never writes them again. The memory cache is guarded by its
// mutex. The destructor cancels the running request and waits for the
// worker, which stops within one decoding block (or once a file that is
// still being opened is open).
#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QVector>
#include <memory>

namespace lentaro::playback {

struct WaveformPeaks {
  QVector<float> mins;  // -1 .. 1, kColumns of them once a file is given
  QVector<float> maxs;
  int filled = 0;      // columns final so far, from the first
  double seconds = 0;  // the file's length, once known
  bool complete() const { return !mins.isEmpty() && filled == mins.size(); }
};

class WaveformPeaksSource : public QObject {
  Q_OBJECT

 public:
  static constexpr int kColumns = 1024;
  static constexpr int kMemoryEntries = 16;
  static constexpr int kDiskEntries = 256;

  // cacheFolder: where finished peaks are kept on disk; empty: memory only.
  explicit WaveformPeaksSource(QString cacheFolder, QObject* parent = nullptr);
  ~WaveformPeaksSource() override;

  // The application's cache folder for them, in its data folder.
  static QString defaultCacheFolder();

  // Shows `path` from now on (an empty path: nothing). Returns at once;
  // whatever was computing for the previous file is cancelled.
  void request(const QString& path);
  const QString& path() const { return path_; }
  const WaveformPeaks& peaks() const { return peaks_; }
  // A request is being worked on.
  bool computing() const { return computing_; }

 Q_SIGNALS:
  void peaksChanged();
  // The request ended: complete, or the file could not be decoded (ok
  // false; the columns stay empty).
  void finished(bool ok);

 private:
  struct Job;
  class MemoryCache;
  void take(const std::shared_ptr<Job>& job);
  void end(const std::shared_ptr<Job>& job, bool ok);
  static void work(const std::shared_ptr<Job>& job);

  QString cacheFolder_;
  QString path_;
  WaveformPeaks peaks_;
  bool computing_ = false;
  std::shared_ptr<Job> job_;
  std::unique_ptr<MemoryCache> memory_;
  // Declared last: destroyed first, so its worker has ended before the
  // rest goes.
  QThreadPool pool_;
};

}  // namespace lentaro::playback
