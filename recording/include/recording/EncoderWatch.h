// Tells the user when a recording's encoder failed: it ended with an error
// status or a signal, or stopped taking the sound (a full disk, a folder it
// cannot write, a killed process). Without this such a recording would look
// like a success.
//
// A failure is told once, when the recording ends (its channel stopped):
// at once when the encoder has already failed, or later, when it fails
// while it finishes its file (the channel is freed by the next opening or
// at shutdown). The sound is never touched from here.
//
// Thread: user-interface thread only; the engine keeps an encoder's status
// readable after the encoder is gone.
#pragma once

#include <lentaro/bass.h>

#include <QObject>
#include <QString>
#include <QTimer>
#include <vector>

class QWidget;

namespace lentaro {
class UiHost;
}

namespace lentaro::recording {

class EncoderWatch : public QObject {
  Q_OBJECT

 public:
  EncoderWatch(UiHost& ui, QWidget* owner, QObject* parent = nullptr);

  // A recording's encoder has started writing outputFile.
  void started(HENCODE encoder, const QString& outputFile);
  // That recording has ended: report its failure from now on.
  void ended(HENCODE encoder);

  // Encoders still watched (started, or ended and still finishing).
  std::size_t watching() const { return entries_.size(); }

  // The message for a failed encoder.
  static QString failureText(const QString& outputFile, const BASS_ENCODE_STATUS& status);

  static constexpr int kPollMs = 250;

 private:
  struct Entry {
    HENCODE encoder = 0;
    QString outputFile;
    bool ended = false;
  };

  // Reports or forgets the ended entries whose encoder has failed or
  // finished; keeps polling while some still run.
  void check();

  UiHost& ui_;
  QWidget* owner_;
  std::vector<Entry> entries_;
  QTimer poll_;
};

}  // namespace lentaro::recording
