// Wires the recording subsystem into the main window: creates its objects
// (QObject children of the window) and connects the controls it serves.
#include <QDir>
#include <QPushButton>
#include <QThreadPool>

#include "app/Form1.h"
#include "recording/OutputFolder.h"
#include "recording/PlayAndRecord.h"
#include "recording/StaleEncoderFolders.h"

namespace lentaro {

void Form1::removeStaleEncoderFolders() {
  // Encoder folders that earlier runs could not remove (killed, or ended
  // mid-recording) go on a pool thread: the start never waits for the disk.
  QThreadPool::globalInstance()->start(
      [root = QDir::tempPath()] { recording::removeStaleEncoderFolders(root); });
}

void Form1::wireRecording() {
  outputFolder_ = new recording::OutputFolder(ui(), this, Text1, this);
  connect(PushButton3, &QPushButton::clicked, outputFolder_,
          &recording::OutputFolder::PushButton3_Click);

  // Play and Record drives the playback channel: the playback wiring runs
  // first and always makes it.
  Q_ASSERT(playback_ != nullptr);
  recording::RecordingWidgets widgets;
  widgets.owner = this;
  widgets.PushButton1 = PushButton1;
  widgets.PushButton7 = PushButton7;
  widgets.Text1 = Text1;
  widgets.ListView1 = ListView1;
  widgets.Label2 = Label2;
  widgets.Label3 = Label3;
  widgets.Slider1 = Slider1;
  playAndRecord_ = new recording::PlayAndRecord(ui(), *playback_, widgets, this);
  connect(PushButton7, &QPushButton::clicked, playAndRecord_,
          &recording::PlayAndRecord::PushButton7_Click);
}

}  // namespace lentaro
