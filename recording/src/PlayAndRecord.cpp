#include "recording/PlayAndRecord.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <optional>
#include <vector>

#include "playback/Playback.h"
#include "playlist/PlaylistView.h"
#include "recording/EncoderResource.h"
#include "recording/RecordingName.h"
#include "shell/AppTitle.h"
#include "shell/AudioError.h"
#include "shell/ErrorTrap.h"
#include "shell/UiHost.h"
#include "util/sMain.h"

namespace lentaro::recording {

namespace {

const QString kIdle = QString::fromLatin1(PlayAndRecord::kIdleCaption);
const QString kStop = QString::fromLatin1(PlayAndRecord::kStopCaption);

// An empty argument list (its forming failed and was reported) starts
// nothing; the caller reports that the encoder did not start.
HENCODE startEncoder(HCHANNEL channel, const QStringList& arguments) {
  if (arguments.isEmpty()) return 0;
  std::vector<QByteArray> encoded;
  encoded.reserve(static_cast<std::size_t>(arguments.size()));
  for (const QString& a : arguments) encoded.push_back(QFile::encodeName(a));
  std::vector<const char*> argv;
  for (const QByteArray& a : encoded) argv.push_back(a.constData());
  argv.push_back(nullptr);
  return BASS_Encode_StartArgv(channel, argv.data(), BASS_ENCODE_AUTOFREE, nullptr, nullptr);
}

}  // namespace

QString EncoderStartFailureText() {
  return QStringLiteral(
      "Couldn't start encoding...\r\nMake sure LAME.EXE is in the same\r\n"
      "direcory as this software.");
}

PlayAndRecord::PlayAndRecord(UiHost& ui, playback::Playback& playback,
                             const RecordingWidgets& widgets, QObject* parent)
    : QObject(parent),
      ui_(ui),
      playback_(playback),
      w_(widgets),
      encoderSource_(&LoadEncoderResource),
      watch_(ui, widgets.owner, this) {}

PlayAndRecord::~PlayAndRecord() = default;

void PlayAndRecord::PushButton7_Click() {
  ErrorTrap trap(ui_, QStringLiteral("Form1.PushButton7_Click"));
  // Events run nested at several steps; the window (and this object with
  // it) may be gone when they return.
  const QPointer<PlayAndRecord> alive(this);
  const auto letEventsRun = [&alive] {
    QCoreApplication::processEvents();
    return !alive.isNull();
  };
  playback::PlayerState& state = playback_.state();

  // 1, 2. A press that stops a running recording is not refused: the list
  // may have been cleared, or the folder removed, while it ran.
  const auto stopping = [&] { return w_.PushButton7->text() == kStop; };
  if (trap.test(106, [&] { return !stopping() && w_.ListView1->Count() == 0; })) {
    trap.run(240, [&] {
      ui_.messageBox(w_.owner, QStringLiteral("No files added."), AppTitle(), MsgButtons::Ok,
                     MsgIcon::None);
    });
    return;
  }
  if (trap.test(108, [&] { return !stopping() && !sMain::IsDirectory(w_.Text1->text()); })) {
    trap.run(238, [&] {
      ui_.messageBox(w_.owner,
                     QStringLiteral("Folder does not exist. Please select another folder."),
                     AppTitle(), MsgButtons::Ok, MsgIcon::None);
    });
    return;
  }

  // 3. A failed load leaves the file already in place as it is.
  std::optional<QByteArray> program;
  trap.run(110, [&] { program = encoderSource_(); });
  trap.run(112, [&] {
    if (program) encoderFile_.write(*program);
  });

  const auto deleteEncoderFile = [&] { trap.run(236, [&] { encoderFile_.remove(); }); };

  // 4. The press that stops.
  if (trap.test(114, [&] { return w_.PushButton7->text() == kStop; })) {
    trap.run(116, [&] { BASS_ChannelStop(state.CurrentChannel); });
    trap.run(118, [&] { w_.PushButton1->setText(QStringLiteral("Play")); });
    trap.run(120, [&] { w_.PushButton7->setText(kIdle); });
    trap.run(122, [&] { w_.Label3->setText(QStringLiteral("Time: ")); });
    trap.run(124, [&] { w_.Label2->setText(QStringLiteral("Total Time: ")); });
    trap.run(126, [&] { w_.Slider1->setValue(0); });
    trap.run(128, [&] { state.PlayRestart = true; });
    deleteEncoderFile();
    return;
  }

  // 5. The press that starts.
  if (!trap.test(130, [&] { return w_.PushButton7->text() == kIdle; })) {
    deleteEncoderFile();
    return;
  }
  trap.run(132, [&] { w_.PushButton7->setText(kStop); });
  bool stillHere = true;
  trap.run(134, [&] { stillHere = letEventsRun(); });
  if (!stillHere) return;

  // 6. Go on with the loaded channel, or open the selected file afresh.
  if (trap.test(136, [&] { return !state.PlayRestart; })) {
    trap.run(138, [&] { BASS_ChannelPlay(state.CurrentChannel, FALSE); });
    trap.run(140, [&] { w_.PushButton1->setText(kStop); });
  } else {
    trap.run(142, [&] { state.PlayRestart = false; });
    if (!playback_.OpenSelectedFile(trap, 8)) return;
    trap.run(168, [&] { playback_.sldVolume_Scroll(); });
    trap.run(170, [&] { BASS_ChannelPlay(state.CurrentChannel, FALSE); });
    trap.run(176, [&] { w_.PushButton1->setText(kStop); });
  }
  trap.run(178, [&] { w_.ListView1->setEnabled(false); });

  // 8. The output file's name.
  QString sourcePath;
  trap.run(180, [&] {
    const std::optional<playlist::ListItem> selected = w_.ListView1->SelectedItem();
    if (!selected) throw Failure("Object variable or With block variable not set");
    sourcePath = selected->Text;
  });
  std::optional<QString> baseName;
  trap.run(186, [&] { baseName = RecordingBaseName(sourcePath); });
  if (trap.test(194, [&] { return !baseName.has_value(); })) {
    trap.run(198, [&] { stillHere = letEventsRun(); });
    if (!stillHere) return;
    trap.run(200, [&] { w_.ListView1->setEnabled(true); });
    trap.run(202, [&] { w_.PushButton7->setText(kIdle); });
    return;
  }
  QString outputFile;
  trap.run(196, [&] { outputFile = RecordingOutputFile(w_.Text1->text(), *baseName); });

  // 9, 10. Start the encoder on the channel.
  QStringList arguments;
  trap.run(206, [&] { arguments = EncoderArguments(encoderFile_.path(), outputFile); });
  HENCODE encoder = 0;
  if (trap.test(208, [&] {
        encoder = startEncoder(state.CurrentChannel, arguments);
        return encoder == 0;
      })) {
    trap.run(210, [&] { Error_(ui_, EncoderStartFailureText(), nullptr, w_.owner); });
    trap.run(212, [&] { BASS_ChannelStop(state.CurrentChannel); });
    trap.run(214, [&] { state.CurrentChannel = 0; });
    trap.run(216, [&] { stillHere = letEventsRun(); });
    if (!stillHere) return;
    trap.run(218, [&] { w_.ListView1->setEnabled(true); });
    trap.run(220, [&] { w_.PushButton7->setText(kIdle); });
    return;
  }
  lastEncoder_ = encoder;
  lastOutputFile_ = outputFile;
  watch_.started(encoder, outputFile);

  // 11. Wait for the channel to stop. The pulse bounds each wait, so the
  // channel's activity is looked at at least every kWaitSliceMs while the
  // thread sleeps in between; every event that arrives runs here.
  QTimer pulse;
  pulse.start(kWaitSliceMs);
  while (trap.test(222, [&] { return BASS_ChannelIsActive(state.CurrentChannel) != 0; })) {
    trap.run(224, [&] {
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
      stillHere = !alive.isNull();
    });
    if (!stillHere) return;
  }
  pulse.stop();

  // 12. The recording has ended.
  trap.run(228, [&] { stillHere = letEventsRun(); });
  if (!stillHere) return;
  trap.run(230, [&] { state.PlayRestart = true; });
  trap.run(232, [&] { w_.PushButton7->setText(kIdle); });
  trap.run(234, [&] { w_.ListView1->setEnabled(true); });
  watch_.ended(encoder);
  if (alive.isNull()) return;

  // 13.
  deleteEncoderFile();
}

}  // namespace lentaro::recording
