// Practice loops in the main window: the loop's ends set while playing,
// nudged and cleared, markers, the speed trainer and the count-in, all on
// the current channel; the range drawn over the position slider and on the
// waveform overview; a status bar field with the loop, the pass and the
// trainer's tempo; and each file's settings remembered (PracticeMemory).
//
// Every change goes to the engine at once (BASS_Lentaro_ChannelSetLoop and
// friends). The window's controls are only drawn on, never rearranged: the
// tempo slider and its caption follow the trainer's tempo the way the
// program's own changes set them (setValue and the caption, not a user's
// move).
//
// A new channel (noticed on each refresh tick) starts with no loop, no
// markers and the trainer and count-in off; its file's key and stored
// entry are read on a pool thread and applied when they come back, if that
// channel is still the current one. Saves go to the same one-thread pool,
// so they reach the disk in the order made. The window never waits on
// either, except for the last saves when the controller is destroyed.
//
// Owned by the main window (a QObject child). Thread: user-interface thread.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <optional>

#include "PracticeDialog.h"
#include "playback/PracticeMemory.h"

class QLabel;
class QMenu;
class QWidget;

namespace lentaro {

class Form1;
class LoopBand;

class PracticeController : public QObject {
  Q_OBJECT

 public:
  // The shortest loop the engine takes.
  static constexpr double kMinLoopSeconds = 0.01;
  enum class End { Start, End };

  PracticeController(Form1& form, QString memoryFolder);
  ~PracticeController() override;

  // The default folder of the entries: AppDataLocation + "/practice".
  static QString defaultFolder();
  // Settings keys (organisation "Orvessa", application "Lentaro").
  static constexpr const char* kRememberTempoKey = "Practice/rememberTempoPitch";

  // Once the status bar and the frame exist: the drawing, the status field,
  // the slider's context menu and the refresh.
  void attach(QLabel* statusField);

  // At the audible place of the current channel; nothing without a channel.
  void setLoopStartHere();
  void setLoopEndHere();
  // At `seconds` of the file (the slider's context menu).
  void setLoopStartAt(double seconds);
  void setLoopEndAt(double seconds);
  // Back to the whole file.
  void clearLoop();
  // Moves one end of a set loop by `ms`; the loop keeps at least its
  // shortest length and stays inside the file.
  void nudge(End end, int ms);
  // "Marker N" at the audible place.
  void addMarker();
  void jumpTo(double seconds);
  void backOff();

  void setTrainer(const playback::TrainerSettings& trainer);
  void setCountIn(const playback::CountInSettings& countIn);
  bool rememberTempoPitch() const;
  void setRememberTempoPitch(bool on);

  const playback::PracticeData& data() const { return data_; }
  std::optional<double> pendingStart() const { return pendingStart_; }
  const QString& fileKey() const { return key_; }
  QString statusText() const;
  LoopBand* band() const { return band_; }

  // The position slider's menu for a right click at `at` (slider
  // coordinates); the caller owns it.
  QMenu* sliderMenu(const QPoint& at, QWidget* parent);
  PracticeDialog* showDialog();
  PracticeDialog* dialog() const { return dialog_; }

  // The refresh: a new channel, the pass, the trainer's tempo.
  void tick();
  // Until the reads and saves made so far are done (tests).
  void waitForDisk();

 Q_SIGNALS:
  // The current file's stored entry was looked up (and applied if found).
  void memoryLoaded();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  unsigned channel() const;
  int channelValue(unsigned attrib) const;  // a rounded attribute
  std::optional<double> audibleSeconds() const;
  double lengthSeconds() const;
  void setEnd(End end, double seconds);
  bool applyLoop(double start, double end);
  void applyTrainer();
  void applyCountIn();
  void followTempo();
  void onNewChannel(unsigned ch);
  void onLoaded(unsigned ch, const QString& key, const std::optional<playback::PracticeData>& data);
  void changed();  // redraw, status, save
  void save();
  void redraw();
  void refreshStatus();
  void message(const QString& text);
  void storeDefaults() const;
  static playback::PracticeData defaults();

  Form1& form_;
  playback::PracticeMemory memory_;
  QThreadPool disk_;
  LoopBand* band_ = nullptr;
  QLabel* status_ = nullptr;
  QPointer<PracticeDialog> dialog_;

  unsigned channel_ = 0;
  QString key_;
  bool dirty_ = false;  // changed before the key was known
  playback::PracticeData data_;
  std::optional<double> pendingStart_;
  std::optional<double> pendingEnd_;
  unsigned tempoChanges_ = 0;
  unsigned passes_ = 0;
};

}  // namespace lentaro
