#include "app/Mpris.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QSlider>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "MprisAdaptors.h"
#include "app/Form1.h"
#include "app/PlayerControl.h"
#include "playlist/PlaylistCommands.h"
#include "playlist/PlaylistView.h"

namespace lentaro {

namespace {

const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
const QString kTrackPrefix = QStringLiteral("/org/orvessa/Lentaro/Track/");

// The engine plays no slower than 5 % of the speed (tempo -95 %); the tempo
// slider's lower values all sound as that.
constexpr int kSlowestTempo = -95;

// A jump of the position by more than this beyond what playing explains
// is a seek (a drag of the position slider, the end of the loop).
constexpr double kJumpSeconds = 1.0;

}  // namespace

Mpris::Mpris(Form1& form, const QDBusConnection& bus) : QObject(&form), form_(form), bus_(bus) {
  new MprisRoot(this);
  playerAdaptor_ = new MprisPlayer(this);
  poll_.setInterval(kPollMs);
  connect(&poll_, &QTimer::timeout, this, &Mpris::announceChanges);
}

Mpris* Mpris::publish(Form1& form, const QDBusConnection& bus) {
  if (!bus.isConnected() || !form.player()) return nullptr;
  auto* mpris = new Mpris(form, bus);
  const QString path = QString::fromLatin1(kObjectPath);
  if (!mpris->bus_.registerObject(path, mpris, QDBusConnection::ExportAdaptors)) {
    delete mpris;
    return nullptr;
  }
  // A second Lentaro takes the instance name the interface provides for.
  const QString base = QString::fromLatin1(kServiceName);
  const QString instance =
      base + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
  for (const QString& name : {base, instance}) {
    if (mpris->bus_.registerService(name)) {
      mpris->serviceName_ = name;
      break;
    }
  }
  if (mpris->serviceName_.isEmpty()) {
    delete mpris;
    return nullptr;
  }
  mpris->announceChanges();  // the starting point; nothing was announced before
  mpris->poll_.start();
  return mpris;
}

Mpris* Mpris::publishOnSessionBus(Form1& form) {
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/bus"))) return nullptr;
  }
  return publish(form, QDBusConnection::sessionBus());
}

Mpris::~Mpris() {
  if (!serviceName_.isEmpty()) bus_.unregisterService(serviceName_);
  bus_.unregisterObject(QString::fromLatin1(kObjectPath));
}

PlayerControl& Mpris::player() {
  return *form_.player();
}

QString Mpris::playbackStatus() const {
  switch (form_.player()->status()) {
    case PlayerControl::Status::Playing:
      return QStringLiteral("Playing");
    case PlayerControl::Status::Paused:
      return QStringLiteral("Paused");
    case PlayerControl::Status::Stopped:
      break;
  }
  return QStringLiteral("Stopped");
}

QString Mpris::trackId() const {
  const std::uint32_t channel = form_.player()->currentChannel();
  return channel ? kTrackPrefix + QString::number(channel) : kNoTrack;
}

QVariantMap Mpris::metadata() {
  QVariantMap data;
  const QString file = player().currentFile();
  if (file.isEmpty()) {
    data.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(kNoTrack)));
    return data;
  }
  const QFileInfo info(file);
  data.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId())));
  data.insert(QStringLiteral("xesam:title"), info.completeBaseName());
  data.insert(QStringLiteral("xesam:url"),
              QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded));
  data.insert(QStringLiteral("mpris:length"),
              static_cast<qlonglong>(std::llround(player().lengthSeconds() * 1e6)));
  return data;
}

double Mpris::minimumRate() const {
  return 1.0 + std::max(form_.sldTempo[0]->minimum(), kSlowestTempo) / 100.0;
}

double Mpris::maximumRate() const {
  return 1.0 + form_.sldTempo[0]->maximum() / 100.0;
}

double Mpris::rate() const {
  return std::clamp(1.0 + form_.sldTempo[0]->value() / 100.0, minimumRate(), maximumRate());
}

void Mpris::setRate(double rate) {
  // A rate of 0 (or less, or not a number) is no speed this player has.
  if (!(rate > 0)) return;
  QSlider* tempo = form_.sldTempo[0];
  const long wanted = std::lround((std::min(rate, maximumRate()) - 1.0) * 100.0);
  const int value = std::clamp(static_cast<int>(wanted), std::max(tempo->minimum(), kSlowestTempo),
                               tempo->maximum());
  player().moveTo(tempo, value);
  announceChanges();
}

double Mpris::volume() const {
  return form_.sldVolume->value() / 100.0;
}

void Mpris::setVolume(double volume) {
  if (std::isnan(volume)) return;
  player().moveTo(form_.sldVolume,
                  static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100)));
  announceChanges();
}

qlonglong Mpris::positionUs() const {
  return static_cast<qlonglong>(std::llround(form_.player()->positionSeconds() * 1e6));
}

bool Mpris::canGoNext() const {
  return form_.player()->canPlayRow(1);
}

bool Mpris::canGoPrevious() const {
  return form_.player()->canPlayRow(-1);
}

bool Mpris::canPlay() const {
  return form_.ListView1->Count() > 0 || form_.player()->currentChannel() != 0;
}

bool Mpris::canSeek() const {
  return form_.player()->canSeek();
}

void Mpris::later(std::function<void()> action) {
  QMetaObject::invokeMethod(
      this,
      [this, action = std::move(action)] {
        action();
        announceChanges();
      },
      Qt::QueuedConnection);
}

void Mpris::seekBy(qlonglong offsetUs) {
  if (!player().canSeek()) return;
  const double target = player().positionSeconds() + static_cast<double>(offsetUs) / 1e6;
  player().seekTo(static_cast<int>(std::lround(std::max(0.0, target))));
  seekedByCall_ = true;
}

void Mpris::setPosition(const QString& track, qlonglong positionUs) {
  if (track != trackId() || !player().canSeek()) return;
  if (positionUs < 0 || static_cast<double>(positionUs) > player().lengthSeconds() * 1e6) return;
  player().seekTo(static_cast<int>(std::lround(static_cast<double>(positionUs) / 1e6)));
  seekedByCall_ = true;
}

void Mpris::openUri(const QString& uri) {
  const QUrl url(uri);
  if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isFile()) return;
  playlist::PlaylistView* list = form_.ListView1;
  if (!list->isEnabled() || !form_.playlistCommands_) return;
  // As a drop of the file on the list, then a double-click on its row.
  form_.playlistCommands_->AddDroppedPaths({url.toLocalFile()});
  const int last = list->Count();
  if (last == 0 || list->Text(last) != url.toLocalFile()) return;
  list->Select(last);
  list->EnsureVisible(last);
  Q_EMIT list->DblClick(last);
}

QVariantMap Mpris::announced() {
  QVariantMap now;
  now.insert(QStringLiteral("PlaybackStatus"), playbackStatus());
  now.insert(QStringLiteral("Metadata"), metadata());
  now.insert(QStringLiteral("Rate"), rate());
  now.insert(QStringLiteral("Volume"), volume());
  now.insert(QStringLiteral("CanGoNext"), canGoNext());
  now.insert(QStringLiteral("CanGoPrevious"), canGoPrevious());
  now.insert(QStringLiteral("CanPlay"), canPlay());
  now.insert(QStringLiteral("CanPause"), canPlay());
  now.insert(QStringLiteral("CanSeek"), canSeek());
  return now;
}

void Mpris::announceChanges() {
  // The track id is an object path, compared by its text.
  const auto same = [](const QVariant& a, const QVariant& b) {
    if (a.metaType() != QMetaType::fromType<QVariantMap>() || a.metaType() != b.metaType())
      return a == b;
    QVariantMap x = a.toMap(), y = b.toMap();
    const QString id = QStringLiteral("mpris:trackid");
    return x.take(id).value<QDBusObjectPath>().path() ==
               y.take(id).value<QDBusObjectPath>().path() &&
           x == y;
  };
  const QVariantMap now = announced();
  QVariantMap changed;
  for (auto it = now.cbegin(); it != now.cend(); ++it)
    if (!last_.contains(it.key()) || !same(last_.value(it.key()), it.value()))
      changed.insert(it.key(), it.value());
  const bool firstLook = last_.isEmpty();
  const QString track = trackId();
  const bool sameTrack = track == lastTrack_;
  lastTrack_ = track;
  last_ = now;

  if (!changed.isEmpty() && !firstLook) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    bus_.send(signal);
  }

  // A seek: asked for by a call, or a jump of the position that playing
  // cannot explain (a drag of the slider, the loop back to the start).
  const double position = player().positionSeconds();
  const bool playing = player().status() == PlayerControl::Status::Playing;
  const double elapsed = sinceLastPosition_.isValid() ? sinceLastPosition_.elapsed() / 1000.0 : 0;
  sinceLastPosition_.start();
  const double furthest = lastPosition_ + (playing ? elapsed * maximumRate() : 0) + kJumpSeconds;
  const bool jumped = position < lastPosition_ - kJumpSeconds / 2 || position > furthest;
  const bool active = player().status() != PlayerControl::Status::Stopped;
  if (!firstLook && (seekedByCall_ || (jumped && active && sameTrack)))
    Q_EMIT playerAdaptor_->Seeked(static_cast<qlonglong>(std::llround(position * 1e6)));
  seekedByCall_ = false;
  lastPosition_ = position;
}

}  // namespace lentaro
