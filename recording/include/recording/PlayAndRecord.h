// "Play and Record" (PushButton7): plays the selected file through the
// playback chain and feeds what is played to the LAME encoder, which writes
// "<name>_recorded.mp3" into the output folder (Text1), until the button,
// now reading "Stop", or the Play button stops the channel.
//
// The recording state is PushButton7's caption ("Play and Record" idle,
// "Stop" while a recording starts or runs). A press that starts a recording
// stays inside its handler, waiting for events, until the channel stops;
// every other command, the stopping press included, runs nested inside that
// wait with its own error trap. The invocations share only the window state
// (captions, CurrentChannel, PlayRestart) and the channel's activity.
//
// The widgets and the Playback object belong to the main window; make this
// a child of it. The handler notices when the window is destroyed while it
// waits and returns without touching anything.
// Thread: user-interface thread only. The engine feeds the encoder process
// on its own threads; nothing here is shared with them but handles.
#pragma once

#include <lentaro/bass.h>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

#include "recording/EncoderFile.h"
#include "recording/EncoderWatch.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QWidget;

namespace lentaro {
class UiHost;
namespace playback {
class Playback;
}
namespace playlist {
class PlaylistView;
}
}  // namespace lentaro

namespace lentaro::recording {

// The controls of the main window that Play and Record reads and writes.
struct RecordingWidgets {
  QWidget* owner = nullptr;  // the window the message boxes belong to
  QPushButton* PushButton1 = nullptr;
  QPushButton* PushButton7 = nullptr;
  QLineEdit* Text1 = nullptr;  // the output folder
  playlist::PlaylistView* ListView1 = nullptr;
  QLabel* Label2 = nullptr;  // total time
  QLabel* Label3 = nullptr;  // elapsed time
  QSlider* Slider1 = nullptr;
};

class PlayAndRecord : public QObject {
  Q_OBJECT

 public:
  // The encoder program's bytes; throws lentaro::Failure when it has none.
  using EncoderSource = std::function<QByteArray()>;

  PlayAndRecord(UiHost& ui, playback::Playback& playback, const RecordingWidgets& widgets,
                QObject* parent = nullptr);
  ~PlayAndRecord() override;

  // Click of PushButton7, under its own error trap ("Form1.PushButton7_Click").
  void PushButton7_Click();

  // The program written before each recording; LoadEncoderResource unless
  // replaced (tests start programs that fail).
  void setEncoderSource(EncoderSource source) { encoderSource_ = std::move(source); }
  EncoderFile& encoderFile() { return encoderFile_; }
  EncoderWatch& encoderWatch() { return watch_; }

  // The encoder and output file of the last recording that started (0 and
  // empty before the first).
  HENCODE lastEncoder() const { return lastEncoder_; }
  const QString& lastOutputFile() const { return lastOutputFile_; }

  // The longest the wait loop sleeps between looks at the channel.
  static constexpr int kWaitSliceMs = 20;

  static constexpr const char* kIdleCaption = "Play and Record";
  static constexpr const char* kStopCaption = "Stop";

 private:
  UiHost& ui_;
  playback::Playback& playback_;
  RecordingWidgets w_;
  EncoderSource encoderSource_;
  EncoderFile encoderFile_;
  EncoderWatch watch_;
  HENCODE lastEncoder_ = 0;
  QString lastOutputFile_;
};

// The three-line text of the audio error report when the encoder cannot be
// started.
QString EncoderStartFailureText();

}  // namespace lentaro::recording
