// The window on the desktop's media controls (MPRIS): the interfaces
// org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player at
// /org/mpris/MediaPlayer2, under org.mpris.MediaPlayer2.lentaro (with
// ".instance<pid>" appended when another Lentaro holds that name).
//
// Every call acts through the window's own handlers (PlayerControl): Play,
// Pause and Stop press the Play button's branches, Next and Previous select
// a row and play it as a double-click does, Seek and SetPosition move the
// position slider, Rate moves the tempo slider (rate = 1 + tempo / 100) and
// Volume the volume slider (0..1). So the captions follow as for a click.
// Methods run after their reply has gone, so a client never waits on a
// message box a handler may show.
//
// What a client reads is taken from the window and the engine when asked;
// the changes are announced (PropertiesChanged, Seeked) from a comparison
// made after each call and several times a second.
//
// A QObject child of the window; made after the window's start-up, it
// unregisters when destroyed. Thread: user-interface thread.
#pragma once

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <functional>

namespace lentaro {

class Form1;
class PlayerControl;
class MprisPlayer;

class Mpris : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.lentaro";
  static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
  static constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
  static constexpr int kPollMs = 200;

  // Publishes the window on `bus`. Null, with nothing published and nothing
  // said, when the bus is not connected or no name can be had.
  static Mpris* publish(Form1& form, const QDBusConnection& bus);
  // The same on the session bus; null, silently, when there is none (no
  // DBUS_SESSION_BUS_ADDRESS and no bus socket in XDG_RUNTIME_DIR).
  static Mpris* publishOnSessionBus(Form1& form);

  ~Mpris() override;

  const QString& serviceName() const { return serviceName_; }

  // ---- What the interfaces read and do ----
  Form1& form() { return form_; }
  PlayerControl& player();
  QString playbackStatus() const;
  QVariantMap metadata();
  double rate() const;
  void setRate(double rate);
  double minimumRate() const;
  double maximumRate() const;
  double volume() const;
  void setVolume(double volume);
  qlonglong positionUs() const;
  bool canGoNext() const;
  bool canGoPrevious() const;
  bool canPlay() const;
  bool canSeek() const;
  // The track id clients name in SetPosition; NoTrack without a channel.
  QString trackId() const;

  // Runs a call's action once its reply has gone, then announces changes.
  void later(std::function<void()> action);
  void seekBy(qlonglong offsetUs);
  void setPosition(const QString& trackId, qlonglong positionUs);
  void openUri(const QString& uri);

  // Announces what changed since the last look: PropertiesChanged for the
  // player's properties, Seeked for a jump of the position.
  void announceChanges();

 private:
  Mpris(Form1& form, const QDBusConnection& bus);
  QVariantMap announced();

  Form1& form_;
  QDBusConnection bus_;
  QString serviceName_;
  MprisPlayer* playerAdaptor_ = nullptr;
  QTimer poll_;
  QVariantMap last_;
  QString lastTrack_;
  double lastPosition_ = 0;
  QElapsedTimer sinceLastPosition_;
  bool seekedByCall_ = false;
};

}  // namespace lentaro
