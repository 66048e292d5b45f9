#include "recording/ExportJob.h"

#include <fcntl.h>
#include <lentaro/bass_offline.h>
#include <lentaro/shared_library.h>
#include <sndfile.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <memory>
#include <system_error>
#include <vector>

#include "recording/EncoderFile.h"
#include "recording/RecordingName.h"

namespace lentaro::recording {

namespace {

// libsndfile writes WAV and FLAC; it is opened by the first such export.
// clang-format off
#define LENTARO_SNDFILE_WRITER_FUNCTIONS(X) \
  X(sf_open_fd) X(sf_writef_short) X(sf_close) X(sf_strerror)
// clang-format on
LENTARO_SHARED_LIBRARY(SndfileWriter, sndfileWriter, "libsndfile.so.1",
                       LENTARO_SNDFILE_WRITER_FUNCTIONS)

constexpr int kRate = 44100;
constexpr int kChannels = 2;

QString systemText(int error) {
  return QString::fromStdString(std::error_code(error, std::generic_category()).message());
}

QString quoted(const QString& s) {
  return QStringLiteral("\u201c") + s + QStringLiteral("\u201d");
}

QString fileName(const QString& path) {
  return path.section(QLatin1Char('/'), -1);
}

// Why the output could not be made there, in plain words.
QString cannotCreate(const QString& outputPath, int error) {
  const QString folder = QFileInfo(outputPath).absolutePath();
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return QStringLiteral("The folder %1 does not exist.").arg(quoted(folder));
    case EACCES:
    case EPERM:
    case EROFS:
      return QStringLiteral("The folder %1 cannot be written (%2).")
          .arg(quoted(folder), systemText(error));
    case ENOSPC:
    case EDQUOT:
      return QStringLiteral("The disk is full.");
    default:
      return QStringLiteral("%1 cannot be created (%2).")
          .arg(quoted(outputPath), systemText(error));
  }
}

QString cannotRender(const QString& sourcePath, int code) {
  switch (code) {
    case BASS_ERROR_FILEOPEN:
      return QStringLiteral("%1 cannot be read: it is missing, or you may not read it.")
          .arg(quoted(sourcePath));
    case BASS_ERROR_FORMAT:
      return QStringLiteral("%1 is not a sound file Lentaro can play.").arg(quoted(sourcePath));
    case BASS_ERROR_POSITION:
      return QStringLiteral("The loop range lies outside %1.").arg(quoted(sourcePath));
    default:
      return QStringLiteral("%1 could not be rendered (error code %2).")
          .arg(quoted(sourcePath))
          .arg(code);
  }
}

// Where the rendered sound goes.
class Sink {
 public:
  virtual ~Sink() = default;
  // False (with reason()) when the sound could not be taken.
  virtual bool write(const int16_t* frames, int count) = 0;
  // The file complete; false (with reason()) when it is not.
  virtual bool finish() = 0;
  // Stops at once; the file is left as it is, to be removed.
  virtual void abandon() = 0;
  const QString& reason() const { return reason_; }

 protected:
  QString reason_;
};

class SoundFileSink final : public Sink {
 public:
  // Takes the descriptor over.
  SoundFileSink(int fd, ExportFormat format, const QString& outputPath) : outputPath_(outputPath) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = kChannels;
    info.format =
        (format == ExportFormat::Flac ? SF_FORMAT_FLAC : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
    if (!sf_) {
      ::close(fd);
      reason_ = QStringLiteral("%1 could not be written: libsndfile is not installed.")
                    .arg(quoted(outputPath_));
      return;
    }
    file_ = sf_->sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!file_) {
      ::close(fd);
      reason_ = QStringLiteral("%1 could not be written: %2")
                    .arg(quoted(outputPath_), QString::fromUtf8(sf_->sf_strerror(nullptr)));
    }
  }
  ~SoundFileSink() override { abandon(); }

  bool ready() const { return file_ != nullptr; }

  bool write(const int16_t* frames, int count) override {
    errno = 0;
    if (sf_->sf_writef_short(file_, frames, count) == count) return true;
    failWriting(errno);
    return false;
  }

  bool finish() override {
    // A FLAC file flushes its last block and a WAV file writes its lengths
    // here: the disk can still fill up now.
    errno = 0;
    const int rc = sf_->sf_close(file_);
    file_ = nullptr;
    if (rc == 0) return true;
    failWriting(errno);
    return false;
  }

  void abandon() override {
    if (file_) sf_->sf_close(file_);
    file_ = nullptr;
  }

 private:
  void failWriting(int error) {
    if (error == ENOSPC || error == EDQUOT) {
      reason_ = QStringLiteral("The disk is full.");
    } else {
      reason_ = QStringLiteral("Writing %1 failed: %2")
                    .arg(quoted(outputPath_), QString::fromUtf8(sf_->sf_strerror(file_)));
    }
  }

  const SndfileWriter* sf_ = sndfileWriter();  // null when libsndfile is missing
  QString outputPath_;
  SNDFILE* file_ = nullptr;
};

class EncoderSink final : public Sink {
 public:
  explicit EncoderSink(const QStringList& arguments) {
    std::vector<QByteArray> encoded;
    for (const QString& a : arguments) encoded.push_back(QFile::encodeName(a));
    std::vector<const char*> argv;
    for (const QByteArray& a : encoded) argv.push_back(a.constData());
    argv.push_back(nullptr);
    handle_ = BASS_Lentaro_EncoderOpen(argv.data());
    if (!handle_) reason_ = QStringLiteral("The MP3 encoder could not be started.");
  }
  ~EncoderSink() override { abandon(); }

  bool ready() const { return handle_ != 0; }

  bool write(const int16_t* frames, int count) override {
    if (BASS_Lentaro_EncoderWrite(handle_, frames, count)) return true;
    // What became of it is told by finish().
    refused_ = true;
    return finish();
  }

  bool finish() override {
    BASS_ENCODE_STATUS st{};
    BASS_Lentaro_EncoderClose(handle_, FALSE, ExportJob::kEncoderFinishMs, &st);
    handle_ = 0;
    if (!st.failed && !refused_) return true;
    if (st.termSignal != 0) {
      reason_ = QStringLiteral("The MP3 encoder was stopped (signal %1).").arg(st.termSignal);
    } else if (st.exitStatus > 0) {
      reason_ = QStringLiteral(
                    "The MP3 encoder stopped with an error (exit status %1). The disk may be "
                    "full, or the folder may not be writable.")
                    .arg(st.exitStatus);
    } else {
      reason_ = QStringLiteral("The MP3 encoder stopped taking the sound.");
    }
    return false;
  }

  void abandon() override {
    if (handle_) BASS_Lentaro_EncoderClose(handle_, TRUE, 0, nullptr);
    handle_ = 0;
  }

 private:
  DWORD handle_ = 0;
  bool refused_ = false;
};

class RenderHandle {
 public:
  explicit RenderHandle(DWORD h) : h_(h) {}
  ~RenderHandle() {
    if (h_) BASS_Lentaro_RenderClose(h_);
  }
  RenderHandle(const RenderHandle&) = delete;
  RenderHandle& operator=(const RenderHandle&) = delete;
  DWORD get() const { return h_; }

 private:
  DWORD h_;
};

}  // namespace

ExportJob::ExportJob(ExportRequest request, EncoderSource encoderSource, QString encoderTempRoot)
    : request_(std::move(request)),
      encoderSource_(std::move(encoderSource)),
      encoderTempRoot_(std::move(encoderTempRoot)) {}

QString ExportJob::partPath(const QString& outputPath) {
  return outputPath + QStringLiteral(".part");
}

ExportOutcome ExportJob::run(const std::atomic<bool>& cancel, const Progress& progress) {
  ExportOutcome outcome;
  outcome.outputPath = request_.outputPath;
  const QString part = partPath(request_.outputPath);
  const QByteArray partName = QFile::encodeName(part);
  bool partMade = false;
  const auto fail = [&](const QString& reason) {
    if (partMade) QFile::remove(part);
    outcome.kind = ExportOutcome::Kind::Failed;
    outcome.reason = reason;
    return outcome;
  };

  const QByteArray sourceName = QFile::encodeName(request_.sourcePath);
  const RenderHandle render(BASS_Lentaro_RenderOpen(sourceName.constData(), request_.tempo,
                                                    request_.pitch, request_.volume,
                                                    request_.startByte, request_.endByte));
  if (!render.get()) return fail(cannotRender(request_.sourcePath, BASS_ErrorGetCode()));

  // Made here first, so that a folder that cannot take it is told in
  // plain words whichever program writes it.
  const int fd = ::open(partName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return fail(cannotCreate(request_.outputPath, errno));
  partMade = true;

  EncoderFile encoderFile(encoderTempRoot_);
  std::unique_ptr<Sink> sink;
  if (request_.format == ExportFormat::Mp3) {
    ::close(fd);
    QStringList arguments;
    try {
      encoderFile.write(encoderSource_());
      arguments = EncoderArguments(encoderFile.path(), part);
    } catch (const std::exception& e) {
      return fail(QStringLiteral("The MP3 encoder could not be made ready: %1")
                      .arg(QString::fromUtf8(e.what())));
    }
    auto encoder = std::make_unique<EncoderSink>(arguments);
    if (!encoder->ready()) return fail(encoder->reason());
    sink = std::move(encoder);
  } else {
    auto file = std::make_unique<SoundFileSink>(fd, request_.format, request_.outputPath);
    if (!file->ready()) return fail(file->reason());
    sink = std::move(file);
  }

  std::vector<int16_t> block(static_cast<size_t>(kBlockFrames) * kChannels);
  int64_t frames = 0;
  for (;;) {
    if (cancel.load(std::memory_order_relaxed)) {
      sink->abandon();
      QFile::remove(part);
      outcome.kind = ExportOutcome::Kind::Cancelled;
      return outcome;
    }
    const int n = BASS_Lentaro_RenderRead(render.get(), block.data(), kBlockFrames);
    if (n < 0) {
      sink->abandon();
      return fail(
          QStringLiteral("%1 could not be decoded to its end.").arg(quoted(request_.sourcePath)));
    }
    if (n == 0) break;
    if (!sink->write(block.data(), n)) {
      sink->abandon();
      return fail(sink->reason());
    }
    frames += n;
    if (progress) {
      QWORD done = 0, total = 0;
      if (BASS_Lentaro_RenderProgress(render.get(), &done, &total) && total > 0)
        progress(static_cast<double>(done) / static_cast<double>(total));
    }
  }
  if (!sink->finish()) return fail(sink->reason());
  if (::rename(partName.constData(), QFile::encodeName(request_.outputPath).constData()) != 0) {
    return fail(QStringLiteral("%1 could not be given its name (%2).")
                    .arg(quoted(fileName(request_.outputPath)), systemText(errno)));
  }
  outcome.kind = ExportOutcome::Kind::Done;
  outcome.seconds = static_cast<double>(frames) / kRate;
  return outcome;
}

}  // namespace lentaro::recording
