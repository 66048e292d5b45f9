#include "PracticeController.h"

#include <lentaro/bass.h>

#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QStatusBar>
#include <algorithm>
#include <cmath>

#include "LoopBand.h"
#include "PracticeDialog.h"
#include "app/Form1.h"
#include "app/PlayerControl.h"
#include "playback/Playback.h"
#include "playback/WaveformView.h"

namespace lentaro {

namespace {

using playback::CountInSettings;
using playback::PracticeData;
using playback::TrainerSettings;

constexpr int kMessageMs = 3000;
const QString kDefaults = QStringLiteral("Practice/defaults/");

QSettings settings() {
  return QSettings(QStringLiteral("Orvessa"), QStringLiteral("Lentaro"));
}

// "m:ss.t", to the nearest tenth.
QString tenths(double seconds) {
  const long long t = std::llround(std::max(0.0, seconds) * 10);
  return QStringLiteral("%1:%2.%3")
      .arg(t / 600)
      .arg((t % 600) / 10, 2, 10, QLatin1Char('0'))
      .arg(t % 10);
}

QString signedPercent(int v) {
  if (v < 0) return QString(QChar(0x2212)) + QString::number(-v) + QLatin1Char('%');
  return QLatin1Char('+') + QString::number(v) + QLatin1Char('%');
}

}  // namespace

PracticeController::PracticeController(Form1& form, QString memoryFolder)
    : QObject(&form), form_(form), memory_(std::move(memoryFolder)) {
  // One thread: saves and reads reach the disk in the order made.
  disk_.setMaxThreadCount(1);
  data_ = defaults();
}

PracticeController::~PracticeController() {
  // The last saves are not lost at exit.
  disk_.waitForDone();
}

QString PracticeController::defaultFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
         QStringLiteral("/practice");
}

void PracticeController::attach(QLabel* statusField) {
  status_ = statusField;
  band_ = new LoopBand(form_.Slider1, form_.Slider1->parentWidget());
  band_->show();
  // Ahead of the slider's own mouse handling: a right click opens the menu
  // and is not taken as a press on the track (which would seek).
  form_.Slider1->installEventFilter(this);
  if (form_.waveform_) form_.waveform_->installEventFilter(this);
  refreshStatus();
}

int PracticeController::channelValue(unsigned attrib) const {
  float v = 0;
  BASS_ChannelGetAttribute(channel(), attrib, &v);
  return static_cast<int>(std::lround(v));
}

unsigned PracticeController::channel() const {
  return form_.playback_ ? form_.playback_->state().CurrentChannel : 0;
}

std::optional<double> PracticeController::audibleSeconds() const {
  const unsigned ch = channel();
  if (!ch || BASS_ChannelIsActive(ch) == BASS_ACTIVE_STOPPED) return std::nullopt;
  const QWORD pos = BASS_ChannelGetPosition(ch, BASS_POS_BYTE);
  if (pos == static_cast<QWORD>(-1)) return std::nullopt;
  return BASS_ChannelBytes2Seconds(ch, pos);
}

double PracticeController::lengthSeconds() const {
  const unsigned ch = channel();
  const QWORD len = BASS_ChannelGetLength(ch, BASS_POS_BYTE);
  return len == static_cast<QWORD>(-1) ? 0 : BASS_ChannelBytes2Seconds(ch, len);
}

void PracticeController::setLoopStartHere() {
  if (const auto at = audibleSeconds()) setEnd(End::Start, *at);
}
void PracticeController::setLoopEndHere() {
  if (const auto at = audibleSeconds()) setEnd(End::End, *at);
}
void PracticeController::setLoopStartAt(double seconds) {
  if (channel()) setEnd(End::Start, seconds);
}
void PracticeController::setLoopEndAt(double seconds) {
  if (channel()) setEnd(End::End, seconds);
}

void PracticeController::setEnd(End end, double seconds) {
  seconds = std::clamp(seconds, 0.0, lengthSeconds());
  // A set loop keeps its other end; otherwise the other end waits.
  std::optional<double> other = end == End::Start ? pendingEnd_ : pendingStart_;
  if (data_.loop) other = end == End::Start ? data_.loop->second : data_.loop->first;
  (end == End::Start ? pendingStart_ : pendingEnd_) = seconds;
  if (!other) {
    message(end == End::Start ? QStringLiteral("Loop start %1").arg(tenths(seconds))
                              : QStringLiteral("Loop end %1").arg(tenths(seconds)));
    redraw();
    refreshStatus();
    return;
  }
  // Ends given the wrong way round are taken as meant.
  const double lo = std::min(seconds, *other);
  const double hi = std::max(seconds, *other);
  if (hi - lo < kMinLoopSeconds) {
    message(QStringLiteral("The loop's ends are too close"));
    (end == End::Start ? pendingStart_ : pendingEnd_).reset();
    redraw();
    return;
  }
  applyLoop(lo, hi);
}

bool PracticeController::applyLoop(double start, double end) {
  const unsigned ch = channel();
  if (!BASS_Lentaro_ChannelSetLoop(ch, BASS_ChannelSeconds2Bytes(ch, start),
                                   BASS_ChannelSeconds2Bytes(ch, end))) {
    message(QStringLiteral("The loop could not be set"));
    return false;
  }
  data_.loop = std::pair{start, end};
  pendingStart_.reset();
  pendingEnd_.reset();
  passes_ = 0;
  changed();
  return true;
}

void PracticeController::clearLoop() {
  const unsigned ch = channel();
  pendingStart_.reset();
  pendingEnd_.reset();
  if (!ch) return;
  BASS_Lentaro_ChannelSetLoop(ch, 0, 0);
  data_.loop.reset();
  changed();
  message(QStringLiteral("Looping the whole file"));
}

void PracticeController::nudge(End end, int ms) {
  if (!channel() || !data_.loop) return;
  auto [a, b] = *data_.loop;
  const double d = ms / 1000.0;
  if (end == End::Start)
    a = std::clamp(a + d, 0.0, b - kMinLoopSeconds);
  else
    b = std::clamp(b + d, a + kMinLoopSeconds, lengthSeconds());
  if (a == data_.loop->first && b == data_.loop->second) return;
  if (applyLoop(a, b)) message(QStringLiteral("Loop %1 \u2013 %2").arg(tenths(a), tenths(b)));
}

void PracticeController::addMarker() {
  const auto at = audibleSeconds();
  if (!at) return;
  const QString name = QStringLiteral("Marker %1").arg(data_.markers.size() + 1);
  data_.markers.append({name, *at});
  std::sort(data_.markers.begin(), data_.markers.end(),
            [](const auto& x, const auto& y) { return x.seconds < y.seconds; });
  changed();
  message(QStringLiteral("%1 at %2").arg(name, tenths(*at)));
}

void PracticeController::jumpTo(double seconds) {
  const unsigned ch = channel();
  if (!ch) return;
  // Outside a set loop the engine goes to the loop's start.
  BASS_ChannelSetPosition(ch, BASS_ChannelSeconds2Bytes(ch, seconds), BASS_POS_BYTE);
}

void PracticeController::backOff() {
  if (!channel() || !data_.trainer.enabled) return;
  BASS_Lentaro_ChannelTrainerBackOff(channel());
  followTempo();
}

void PracticeController::setTrainer(const TrainerSettings& trainer) {
  if (trainer == data_.trainer) return;
  data_.trainer = trainer;
  storeDefaults();
  applyTrainer();
  changed();
}

void PracticeController::setCountIn(const CountInSettings& countIn) {
  if (countIn == data_.countIn) return;
  data_.countIn = countIn;
  storeDefaults();
  applyCountIn();
  changed();
}

void PracticeController::applyTrainer() {
  const unsigned ch = channel();
  if (!ch) return;
  const TrainerSettings& t = data_.trainer;
  if (!t.enabled) {
    BASS_Lentaro_ChannelSetTrainer(ch, nullptr);
    return;
  }
  const BASS_LENTARO_TRAINER set{static_cast<float>(t.startTempo), static_cast<float>(t.step),
                                 static_cast<DWORD>(std::max(1, t.passesPerStep)),
                                 static_cast<float>(std::max(t.startTempo, t.targetTempo))};
  if (!BASS_Lentaro_ChannelSetTrainer(ch, &set))
    message(QStringLiteral("The speed trainer could not start"));
  followTempo();
}

void PracticeController::applyCountIn() {
  const unsigned ch = channel();
  if (!ch) return;
  const CountInSettings& c = data_.countIn;
  if (!c.enabled || c.clicks <= 0) {
    BASS_Lentaro_ChannelSetCountIn(ch, nullptr);
    return;
  }
  const BASS_LENTARO_COUNTIN set{static_cast<DWORD>(c.clicks), static_cast<float>(c.beatsPerLoop),
                                 static_cast<float>(c.bpm), c.intoRecording ? TRUE : FALSE};
  if (!BASS_Lentaro_ChannelSetCountIn(ch, &set))
    message(QStringLiteral("The count-in could not be set"));
}

// The slider and its caption as the program sets them: setValue is not a
// user's move, so the tempo is not set again from the slider.
void PracticeController::followTempo() {
  const unsigned ch = channel();
  const DWORD n = BASS_Lentaro_ChannelGetTempoChanges(ch);
  if (n != static_cast<DWORD>(-1)) tempoChanges_ = n;
  float tempo = 0;
  if (!BASS_ChannelGetAttribute(ch, BASS_ATTRIB_TEMPO, &tempo)) return;
  const int v = static_cast<int>(std::lround(tempo));
  form_.sldTempo[0]->setValue(v);
  form_.Frame3->setTitle(QStringLiteral("Tempo + ") + QString::number(v) + QStringLiteral("%"));
  refreshStatus();
}

bool PracticeController::rememberTempoPitch() const {
  return settings().value(QLatin1String(kRememberTempoKey), false).toBool();
}

void PracticeController::setRememberTempoPitch(bool on) {
  settings().setValue(QLatin1String(kRememberTempoKey), on);
  save();
}

void PracticeController::tick() {
  const unsigned ch = channel();
  if (ch != channel_) onNewChannel(ch);
  if (!ch) return;
  const DWORD changes = BASS_Lentaro_ChannelGetTempoChanges(ch);
  if (changes != static_cast<DWORD>(-1) && changes != tempoChanges_) followTempo();
  const DWORD pass = BASS_Lentaro_ChannelGetLoopPass(ch);
  if (pass != static_cast<DWORD>(-1)) passes_ = pass;
  // The tempo and pitch as the user leaves them, while they are kept.
  if (!key_.isEmpty() && rememberTempoPitch() &&
      (data_.tempo != channelValue(BASS_ATTRIB_TEMPO) ||
       data_.pitch != channelValue(BASS_ATTRIB_TEMPO_PITCH)))
    save();
  refreshStatus();
}

void PracticeController::onNewChannel(unsigned ch) {
  channel_ = ch;
  key_.clear();
  dirty_ = false;
  data_ = defaults();
  pendingStart_.reset();
  pendingEnd_.reset();
  passes_ = 0;
  const DWORD n = BASS_Lentaro_ChannelGetTempoChanges(ch);
  tempoChanges_ = n == static_cast<DWORD>(-1) ? 0 : n;
  redraw();
  refreshStatus();
  if (!ch) return;
  const QString path = form_.player()->currentFile();
  if (path.isEmpty()) return;
  const playback::PracticeMemory memory = memory_;
  disk_.start([this, memory, path, ch] {
    const QString key = playback::PracticeMemory::keyOf(path);
    std::optional<PracticeData> data;
    if (!key.isEmpty()) data = memory.load(key);
    QMetaObject::invokeMethod(
        this, [this, ch, key, data] { onLoaded(ch, key, data); }, Qt::QueuedConnection);
  });
}

void PracticeController::onLoaded(unsigned ch, const QString& key,
                                  const std::optional<PracticeData>& data) {
  if (ch != channel_ || key.isEmpty()) {
    Q_EMIT memoryLoaded();
    return;
  }
  key_ = key;
  if (dirty_) {
    // What the user did meanwhile wins over the stored entry.
    save();
  } else if (data) {
    if (rememberTempoPitch()) {
      // Through the sliders' own handler, as a user's move applies them
      // (the slider may show that value already from the last file).
      const std::optional<int> values[2] = {data->tempo, data->pitch};
      for (int i = 0; i < 2; ++i) {
        if (!values[i]) continue;
        form_.sldTempo[i]->setValue(*values[i]);
        form_.playback_->sldTempo_Scroll(i);
      }
    }
    data_.markers = data->markers;
    data_.tempo = data->tempo;
    data_.pitch = data->pitch;
    if (data->loop && data->loop->second <= lengthSeconds() + 1e-3) {
      const unsigned c = channel();
      if (BASS_Lentaro_ChannelSetLoop(c, BASS_ChannelSeconds2Bytes(c, data->loop->first),
                                      BASS_ChannelSeconds2Bytes(c, data->loop->second)))
        data_.loop = data->loop;
    }
    data_.trainer = data->trainer;
    data_.countIn = data->countIn;
    applyTrainer();
    applyCountIn();
    if (dialog_) dialog_->setValues(data_.trainer, data_.countIn);
    redraw();
    refreshStatus();
  }
  Q_EMIT memoryLoaded();
}

void PracticeController::changed() {
  redraw();
  refreshStatus();
  save();
}

void PracticeController::save() {
  if (!channel_) return;
  if (key_.isEmpty()) {
    dirty_ = true;
    return;
  }
  if (rememberTempoPitch()) {
    // The channel's values: a new channel starts at the normal tempo
    // whatever the sliders still show.
    data_.tempo = channelValue(BASS_ATTRIB_TEMPO);
    data_.pitch = channelValue(BASS_ATTRIB_TEMPO_PITCH);
  } else {
    data_.tempo.reset();
    data_.pitch.reset();
  }
  const playback::PracticeMemory memory = memory_;
  disk_.start([memory, key = key_, data = data_] { memory.save(key, data); });
}

void PracticeController::waitForDisk() {
  disk_.waitForDone();
}

void PracticeController::redraw() {
  QVector<double> marks;
  for (const auto& m : data_.markers) marks.append(m.seconds);
  const std::optional<double> pending = pendingStart_ ? pendingStart_ : pendingEnd_;
  if (band_) {
    band_->setRange(data_.loop, pending);
    band_->setMarkers(marks);
  }
  if (form_.waveform_) {
    form_.waveform_->setLoopRange(data_.loop);
    form_.waveform_->setMarkers(marks);
  }
}

QString PracticeController::statusText() const {
  if (!channel_) return {};
  QStringList parts;
  if (data_.loop) {
    parts << QStringLiteral("Loop %1 \u2013 %2")
                 .arg(tenths(data_.loop->first), tenths(data_.loop->second))
          << QStringLiteral("pass %1").arg(passes_ + 1);
  } else if (pendingStart_) {
    parts << QStringLiteral("Loop from %1").arg(tenths(*pendingStart_));
  } else if (pendingEnd_) {
    parts << QStringLiteral("Loop to %1").arg(tenths(*pendingEnd_));
  }
  if (data_.trainer.enabled) {
    float tempo = 0;
    BASS_ChannelGetAttribute(channel_, BASS_ATTRIB_TEMPO, &tempo);
    parts << QStringLiteral("trainer ") + signedPercent(static_cast<int>(std::lround(tempo)));
  }
  return parts.join(QStringLiteral(" \u00b7 "));
}

void PracticeController::refreshStatus() {
  if (status_) status_->setText(statusText());
}

void PracticeController::message(const QString& text) {
  if (form_.frame()) form_.frame()->statusBar()->showMessage(text, kMessageMs);
}

PracticeData PracticeController::defaults() {
  // The values last chosen; the trainer and the count-in start off.
  QSettings s = settings();
  PracticeData d;
  d.trainer.startTempo =
      s.value(kDefaults + QStringLiteral("startTempo"), d.trainer.startTempo).toInt();
  d.trainer.step = s.value(kDefaults + QStringLiteral("step"), d.trainer.step).toInt();
  d.trainer.passesPerStep =
      s.value(kDefaults + QStringLiteral("passesPerStep"), d.trainer.passesPerStep).toInt();
  d.trainer.targetTempo =
      s.value(kDefaults + QStringLiteral("targetTempo"), d.trainer.targetTempo).toInt();
  d.countIn.clicks = s.value(kDefaults + QStringLiteral("clicks"), d.countIn.clicks).toInt();
  d.countIn.beatsPerLoop =
      s.value(kDefaults + QStringLiteral("beatsPerLoop"), d.countIn.beatsPerLoop).toInt();
  d.countIn.bpm = s.value(kDefaults + QStringLiteral("bpm"), d.countIn.bpm).toDouble();
  d.countIn.intoRecording =
      s.value(kDefaults + QStringLiteral("intoRecording"), d.countIn.intoRecording).toBool();
  return d;
}

void PracticeController::storeDefaults() const {
  QSettings s = settings();
  s.setValue(kDefaults + QStringLiteral("startTempo"), data_.trainer.startTempo);
  s.setValue(kDefaults + QStringLiteral("step"), data_.trainer.step);
  s.setValue(kDefaults + QStringLiteral("passesPerStep"), data_.trainer.passesPerStep);
  s.setValue(kDefaults + QStringLiteral("targetTempo"), data_.trainer.targetTempo);
  s.setValue(kDefaults + QStringLiteral("clicks"), data_.countIn.clicks);
  s.setValue(kDefaults + QStringLiteral("beatsPerLoop"), data_.countIn.beatsPerLoop);
  s.setValue(kDefaults + QStringLiteral("bpm"), data_.countIn.bpm);
  s.setValue(kDefaults + QStringLiteral("intoRecording"), data_.countIn.intoRecording);
}

PracticeDialog* PracticeController::showDialog() {
  if (!dialog_) {
    dialog_ = new PracticeDialog(form_.frame());
    dialog_->setValues(data_.trainer, data_.countIn);
    connect(dialog_, &PracticeDialog::changed, this, [this] {
      setTrainer(dialog_->trainer());
      setCountIn(dialog_->countIn());
    });
  }
  dialog_->show();
  dialog_->raise();
  dialog_->activateWindow();
  return dialog_;
}

QMenu* PracticeController::sliderMenu(const QPoint& at, QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setObjectName(QStringLiteral("positionMenu"));
  const bool have = channel() != 0;
  const double here = band_ ? band_->secondsAt(at.x()) : 0;
  QAction* a = menu->addAction(QStringLiteral("Loop start here"), this,
                               [this, here] { setLoopStartAt(here); });
  a->setEnabled(have);
  a = menu->addAction(QStringLiteral("Loop end here"), this, [this, here] { setLoopEndAt(here); });
  a->setEnabled(have);
  a = menu->addAction(QStringLiteral("Clear loop"), this, [this] { clearLoop(); });
  a->setEnabled(have && (data_.loop || pendingStart_ || pendingEnd_));
  if (!data_.markers.isEmpty()) {
    menu->addSeparator();
    for (const auto& m : data_.markers) {
      menu->addAction(QStringLiteral("%1 (%2)").arg(m.name, tenths(m.seconds)), this,
                      [this, s = m.seconds] { jumpTo(s); });
    }
  }
  return menu;
}

bool PracticeController::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      return static_cast<QMouseEvent*>(event)->button() == Qt::RightButton;
    case QEvent::ContextMenu: {
      auto* e = static_cast<QContextMenuEvent*>(event);
      const QPoint inSlider = form_.Slider1->mapFromGlobal(e->globalPos());
      QMenu* menu = sliderMenu(inSlider, form_.Slider1);
      menu->setAttribute(Qt::WA_DeleteOnClose);
      menu->popup(e->globalPos());
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}

}  // namespace lentaro
