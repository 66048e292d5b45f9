#include "playback/WaveformPeaks.h"

#include <lentaro/bass_offline.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <atomic>
#include <list>
#include <mutex>
#include <utility>
#include <vector>

namespace lentaro::playback {

namespace {

constexpr quint32 kDiskMagic = 0x4c504b31;  // "LPK1"

struct CachedPeaks {
  std::vector<float> mins, maxs;
  double seconds = 0;
};

}  // namespace

// The last files' finished peaks. Guarded by its mutex (workers read and
// write it; the source owns it and outlives them).
class WaveformPeaksSource::MemoryCache {
 public:
  bool find(const QString& key, CachedPeaks* out) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->first != key) continue;
      entries_.splice(entries_.begin(), entries_, it);  // most recent first
      *out = entries_.front().second;
      return true;
    }
    return false;
  }
  void put(const QString& key, CachedPeaks peaks) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.remove_if([&](const auto& e) { return e.first == key; });
    entries_.emplace_front(key, std::move(peaks));
    while (entries_.size() > WaveformPeaksSource::kMemoryEntries) entries_.pop_back();
  }

 private:
  std::mutex mutex_;
  std::list<std::pair<QString, CachedPeaks>> entries_;
};

namespace {

QString diskFile(const QString& folder, const QString& key) {
  const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1);
  return folder + QLatin1Char('/') + QString::fromLatin1(hash.toHex()) + QStringLiteral(".peaks");
}

bool readDisk(const QString& file, CachedPeaks* out) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return false;
  QDataStream in(&f);
  quint32 magic = 0;
  qint32 columns = 0;
  double seconds = 0;
  in >> magic >> columns >> seconds;
  if (in.status() != QDataStream::Ok || magic != kDiskMagic ||
      columns != WaveformPeaksSource::kColumns) {
    return false;
  }
  out->mins.resize(static_cast<size_t>(columns));
  out->maxs.resize(static_cast<size_t>(columns));
  const int bytes = columns * static_cast<int>(sizeof(float));
  if (in.readRawData(reinterpret_cast<char*>(out->mins.data()), bytes) != bytes ||
      in.readRawData(reinterpret_cast<char*>(out->maxs.data()), bytes) != bytes) {
    return false;
  }
  out->seconds = seconds;
  return true;
}

void writeDisk(const QString& folder, const QString& file, const CachedPeaks& peaks) {
  if (!QDir().mkpath(folder)) return;
  QSaveFile f(file);
  if (!f.open(QIODevice::WriteOnly)) return;
  QDataStream out(&f);
  out << kDiskMagic << static_cast<qint32>(peaks.mins.size()) << peaks.seconds;
  const int bytes = static_cast<int>(peaks.mins.size() * sizeof(float));
  out.writeRawData(reinterpret_cast<const char*>(peaks.mins.data()), bytes);
  out.writeRawData(reinterpret_cast<const char*>(peaks.maxs.data()), bytes);
  if (!f.commit()) return;
  // Bounded: the oldest go once there are too many.
  const QFileInfoList all =
      QDir(folder).entryInfoList({QStringLiteral("*.peaks")}, QDir::Files, QDir::Time);
  for (qsizetype i = WaveformPeaksSource::kDiskEntries; i < all.size(); ++i)
    QFile::remove(all[i].absoluteFilePath());
}

}  // namespace

struct WaveformPeaksSource::Job : std::enable_shared_from_this<Job> {
  WaveformPeaksSource* owner = nullptr;
  MemoryCache* cache = nullptr;  // the owner's
  QString path;
  QString cacheFolder;
  // Set by the user-interface thread, read by the engine between blocks.
  volatile int cancel = 0;
  // Worker-written; a column is read by the owner only once `filled`
  // says it is final.
  std::vector<float> mins = std::vector<float>(kColumns, 0.0f);
  std::vector<float> maxs = std::vector<float>(kColumns, 0.0f);
  double seconds = 0;  // written before the first column is published
  std::atomic<int> filled{0};
  // A peaksChanged is on its way: no second one is posted meanwhile.
  std::atomic<bool> notifyQueued{false};

  void publish(int columns) {
    filled.store(columns);
    if (notifyQueued.exchange(true)) return;
    QMetaObject::invokeMethod(
        owner,
        [job = shared_from_this()] {
          job->notifyQueued.store(false);
          job->owner->take(job);
        },
        Qt::QueuedConnection);
  }
  void finish(bool ok) {
    QMetaObject::invokeMethod(
        owner, [job = shared_from_this(), ok] { job->owner->end(job, ok); }, Qt::QueuedConnection);
  }
};

WaveformPeaksSource::WaveformPeaksSource(QString cacheFolder, QObject* parent)
    : QObject(parent),
      cacheFolder_(std::move(cacheFolder)),
      memory_(std::make_unique<MemoryCache>()) {
  // One file at a time, and one core left for the sound and the window.
  pool_.setMaxThreadCount(1);
}

WaveformPeaksSource::~WaveformPeaksSource() {
  if (job_) job_->cancel = 1;
  pool_.waitForDone();
}

QString WaveformPeaksSource::defaultCacheFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
         QStringLiteral("/waveforms");
}

void WaveformPeaksSource::request(const QString& path) {
  if (job_) job_->cancel = 1;
  job_.reset();
  path_ = path;
  peaks_ = WaveformPeaks();
  computing_ = !path.isEmpty();
  if (computing_) {
    peaks_.mins.fill(0.0f, kColumns);
    peaks_.maxs.fill(0.0f, kColumns);
    auto job = std::make_shared<Job>();
    job->owner = this;
    job->cache = memory_.get();
    job->path = path;
    job->cacheFolder = cacheFolder_;
    job_ = job;
    pool_.start([job] { work(job); });
  }
  Q_EMIT peaksChanged();
}

void WaveformPeaksSource::work(const std::shared_ptr<Job>& job) {
  const QFileInfo info(job->path);
  if (!info.isFile()) {
    job->finish(false);
    return;
  }
  const QString key = info.absoluteFilePath() + QLatin1Char('|') + QString::number(info.size()) +
                      QLatin1Char('|') + QString::number(info.lastModified().toMSecsSinceEpoch());
  const QString file = job->cacheFolder.isEmpty() ? QString() : diskFile(job->cacheFolder, key);
  CachedPeaks cached;
  if (job->cache->find(key, &cached) || (!file.isEmpty() && readDisk(file, &cached))) {
    job->mins = cached.mins;
    job->maxs = cached.maxs;
    job->seconds = cached.seconds;
    job->cache->put(key, std::move(cached));
    job->publish(kColumns);
    job->finish(true);
    return;
  }
  const QByteArray name = QFile::encodeName(job->path);
  const int filled = BASS_Lentaro_ComputePeaks(
      name.constData(), kColumns, job->mins.data(), job->maxs.data(), &job->seconds, &job->cancel,
      [](int columnsDone, void* user) { static_cast<Job*>(user)->publish(columnsDone); },
      job.get());
  if (filled == kColumns) {
    CachedPeaks done{job->mins, job->maxs, job->seconds};
    if (!file.isEmpty()) writeDisk(job->cacheFolder, file, done);
    job->cache->put(key, std::move(done));
  }
  job->finish(filled == kColumns);
}

void WaveformPeaksSource::take(const std::shared_ptr<Job>& job) {
  if (job != job_) return;  // a file no longer shown
  const int filled = job->filled.load();
  if (filled <= peaks_.filled) return;
  for (int i = peaks_.filled; i < filled; ++i) {
    peaks_.mins[i] = job->mins[static_cast<size_t>(i)];
    peaks_.maxs[i] = job->maxs[static_cast<size_t>(i)];
  }
  peaks_.filled = filled;
  peaks_.seconds = job->seconds;
  Q_EMIT peaksChanged();
}

void WaveformPeaksSource::end(const std::shared_ptr<Job>& job, bool ok) {
  if (job != job_) return;
  take(job);
  computing_ = false;
  job_.reset();
  Q_EMIT finished(ok);
}

}  // namespace lentaro::playback
