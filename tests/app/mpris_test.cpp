// The desktop's media controls: the window published on a private session
// bus (a dbus-daemon of the test's own), driven by Debian's playerctl and by
// dbus-send as child processes while the window's event loop runs, so the
// window answers the bus while a client waits.
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QUrl>
#include <cmath>
#include <functional>

#include "DesktopFixture.h"
#include "app/Mpris.h"

namespace lentaro::testing {
namespace {

// Collects the bus signals of the published player.
class SignalLog : public QObject {
  Q_OBJECT

 public:
  QList<QVariantMap> changes;
  QList<qlonglong> seeks;

 public Q_SLOTS:
  void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
    if (interface == QLatin1String(Mpris::kPlayerInterface)) changes.append(changed);
  }
  void seeked(qlonglong position) { seeks.append(position); }
};

class MprisTest : public DesktopTest {
 protected:
  void SetUp() override {
    for (const char* tool : {"dbus-daemon", "playerctl", "dbus-send"})
      if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
        GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it)";
    DesktopTest::SetUp();
    if (HasFatalFailure()) return;

    daemon.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address"});
    QDeadlineTimer deadline(10000);
    while (!daemon.canReadLine() && !deadline.hasExpired()) daemon.waitForReadyRead(100);
    address = QString::fromLocal8Bit(daemon.readLine()).trimmed();
    ASSERT_FALSE(address.isEmpty()) << "dbus-daemon gave no address";

    mpris = Mpris::publish(f(), QDBusConnection::connectToBus(address, "lentaro-window"));
    ASSERT_NE(mpris, nullptr);
    EXPECT_EQ(mpris->serviceName(), QString::fromLatin1(Mpris::kServiceName));
  }

  void TearDown() override {
    delete mpris.data();
    QDBusConnection::disconnectFromBus("lentaro-window");
    QDBusConnection::disconnectFromBus("lentaro-listener");
    daemon.kill();  // our own child
    daemon.waitForFinished(5000);
    DesktopTest::TearDown();
  }

  // Runs a client to its end while the window's events run; its output.
  QString client(const QString& program, const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    p.setProcessEnvironment(env);
    p.start(program, args);
    QDeadlineTimer deadline(20000);
    // waitForFinished is false also once the end was seen by processEvents.
    while (p.state() != QProcess::NotRunning && !deadline.hasExpired()) {
      p.waitForFinished(5);
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << " " << args.join(' ').toStdString()
                               << ": " << p.readAllStandardError().toStdString();
    // The call's action runs once its reply has gone.
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
  }
  QString playerctl(const QStringList& args) {
    return client(QStringLiteral("playerctl"), QStringList{"--player=lentaro"} + args);
  }
  // A method of the player's object, with its arguments.
  QString dbusSend(const QStringList& args) {
    const QStringList to{"--session", "--print-reply",
                         QStringLiteral("--dest=") + Mpris::kServiceName, Mpris::kObjectPath};
    return client(QStringLiteral("dbus-send"), to + args);
  }
  QString property(const char* name) {
    return dbusSend({"org.freedesktop.DBus.Properties.Get",
                     QStringLiteral("string:") + Mpris::kPlayerInterface,
                     QStringLiteral("string:") + name});
  }
  void setRate(const char* value) {
    dbusSend({"org.freedesktop.DBus.Properties.Set",
              QStringLiteral("string:") + Mpris::kPlayerInterface, "string:Rate",
              QStringLiteral("variant:double:") + value});
  }

  QProcess daemon;
  QString address;
  QPointer<Mpris> mpris;
};

TEST_F(MprisTest, PlayerctlDrivesTheWindowThroughItsButtons) {
  add("first.mp3");
  add("second.mp3");
  EXPECT_EQ(playerctl({"status"}), QStringLiteral("Stopped"));

  playerctl({"play"});
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Stop"));
  EXPECT_EQ(playerctl({"status"}), QStringLiteral("Playing"));
  EXPECT_EQ(playerctl({"metadata", "xesam:title"}), QStringLiteral("first"));
  EXPECT_EQ(playerctl({"metadata", "xesam:url"}),
            QUrl::fromLocalFile(data("first.mp3")).toString(QUrl::FullyEncoded));
  EXPECT_NEAR(playerctl({"metadata", "mpris:length"}).toDouble(), 30e6, 0.2e6);
  // An object path, which playerctl prints quoted.
  EXPECT_EQ(playerctl({"metadata", "mpris:trackid"}),
            QStringLiteral("'/org/orvessa/Lentaro/Track/%1'").arg(channel()));

  playerctl({"pause"});
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Play"));
  EXPECT_EQ(playerctl({"status"}), QStringLiteral("Paused"));
  playerctl({"play-pause"});
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Stop"));

  playerctl({"position", "12"});
  EXPECT_NEAR(position(), 12.0, 0.05);
  EXPECT_NEAR(playerctl({"position"}).toDouble(), 12.0, 0.05);
  playerctl({"position", "3-"});  // relative: Seek
  EXPECT_NEAR(position(), 9.0, 0.05);
  refresh();
  EXPECT_EQ(f().Label3->text(), QStringLiteral("Time: 00:09"));

  playerctl({"volume", "0.4"});
  EXPECT_EQ(f().sldVolume->value(), 40);
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_VOL), 0.4f);

  playerctl({"next"});
  EXPECT_EQ(f().ListView1->SelectedItem()->Index, 2);
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Pause"));  // as a double-click leaves it
  EXPECT_EQ(playerctl({"metadata", "xesam:title"}), QStringLiteral("second"));
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_VOL), 0.4f);
  // The last row: nothing further, and clients are told so.
  EXPECT_TRUE(property("CanGoNext").contains("boolean false"));
  playerctl({"previous"});
  EXPECT_EQ(f().ListView1->SelectedItem()->Index, 1);
  EXPECT_EQ(playerctl({"metadata", "xesam:title"}), QStringLiteral("first"));

  playerctl({"stop"});
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Play"));
  EXPECT_EQ(f().Label3->text(), QStringLiteral("Time: "));
  EXPECT_EQ(playerctl({"status"}), QStringLiteral("Stopped"));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MprisTest, RateSetOverTheBusMovesTheTempoSlider) {
  add("first.mp3");
  f().PushButton1->click();
  setRate("1.25");
  EXPECT_EQ(f().sldTempo[0]->value(), 25);
  EXPECT_EQ(f().Frame3->title(), QStringLiteral("Tempo + 25%"));
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), 25.0f);
  EXPECT_TRUE(property("Rate").contains("double 1.25")) << property("Rate").toStdString();

  setRate("9");  // beyond the slider: as fast as it goes
  EXPECT_EQ(f().sldTempo[0]->value(), 200);
  EXPECT_TRUE(property("MaximumRate").contains("double 3"));
  setRate("0");  // no speed at all is none of the slider's
  EXPECT_EQ(f().sldTempo[0]->value(), 200);
  setRate("0.5");
  EXPECT_EQ(f().Frame3->title(), QStringLiteral("Tempo + -50%"));
  EXPECT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), -50.0f);
  EXPECT_TRUE(property("MinimumRate").contains("double 0.05"));
}

TEST_F(MprisTest, ChangesMadeInTheWindowAreSignalledOnTheBus) {
  QDBusConnection listener = QDBusConnection::connectToBus(address, "lentaro-listener");
  SignalLog log;
  ASSERT_TRUE(listener.connect(Mpris::kServiceName, Mpris::kObjectPath,
                               "org.freedesktop.DBus.Properties", "PropertiesChanged", &log,
                               SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
  ASSERT_TRUE(listener.connect(Mpris::kServiceName, Mpris::kObjectPath, Mpris::kPlayerInterface,
                               "Seeked", &log, SLOT(seeked(qlonglong))));
  const auto waitFor = [&](const std::function<bool()>& done) {
    QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
  };
  const auto seekedTo = [&](double seconds) {
    for (qlonglong us : std::as_const(log.seeks))
      if (std::abs(static_cast<double>(us) / 1e6 - seconds) < 0.05) return true;
    return false;
  };
  const auto changed = [&](const char* name, const QVariant& value) {
    for (const QVariantMap& c : std::as_const(log.changes))
      if (c.value(QString::fromLatin1(name)) == value) return true;
    return false;
  };

  add("first.mp3");
  f().PushButton1->click();  // the window's own button
  EXPECT_TRUE(waitFor([&] { return changed("PlaybackStatus", QStringLiteral("Playing")); }));
  EXPECT_TRUE(waitFor([&] { return changed("CanSeek", true); }));

  f().sldVolume->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_TRUE(waitFor([&] { return changed("Volume", 0.95); }));

  playerctl({"position", "7"});
  EXPECT_TRUE(waitFor([&] { return seekedTo(7.0); }));

  // A seek made in the window (its Forward key) is one too.
  table().trigger("forward5");
  EXPECT_TRUE(waitFor([&] { return seekedTo(12.0); }));
}

TEST_F(MprisTest, IdentityRaiseAndQuit) {
  const QString reply =
      dbusSend({"org.freedesktop.DBus.Properties.GetAll", "string:org.mpris.MediaPlayer2"});
  for (const char* value : {"\"Lentaro\"", "\"org.orvessa.Lentaro\"", "\"audio/mpeg\""})
    EXPECT_TRUE(reply.contains(QLatin1String(value))) << value << " in " << reply.toStdString();

  dbusSend({"org.mpris.MediaPlayer2.Raise"});
  EXPECT_TRUE(frame()->isVisible());
  dbusSend({"org.mpris.MediaPlayer2.Quit"});
  EXPECT_EQ(endStatuses, std::vector<int>{0});
  EXPECT_FALSE(frame()->isVisible());
}

// Without a session bus the program starts as before and says nothing.
TEST_F(DesktopTest, WithoutASessionBusNothingIsPublishedAndNothingSaid) {
  QTemporaryDir runtime;  // holds no bus socket
  const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
  const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
  qunsetenv("DBUS_SESSION_BUS_ADDRESS");
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  EXPECT_EQ(Mpris::publishOnSessionBus(f()), nullptr);
  for (const auto& [name, value] :
       {std::pair{"DBUS_SESSION_BUS_ADDRESS", address}, std::pair{"XDG_RUNTIME_DIR", xdg}})
    value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
  EXPECT_EQ(Mpris::publish(f(), QDBusConnection(QStringLiteral("not-connected"))), nullptr);
  EXPECT_TRUE(ui.messages.empty());

  add("first.mp3");
  f().PushButton1->click();
  EXPECT_EQ(f().PushButton1->text(), QStringLiteral("Stop"));
}

}  // namespace
}  // namespace lentaro::testing

#include "mpris_test.moc"
