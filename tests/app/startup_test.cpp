#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QToolButton>
#include <ctime>

#include "Form1Fixture.h"
#include "app/ActionTable.h"
#include "app/AppStyle.h"
#include "app/HomePage.h"
#include "app/QuitSignals.h"
#include "playlist/PlaylistView.h"
#include "shell/AppTitle.h"
#include "util/sMain.h"

namespace lentaro::testing {
namespace {

using Calls = std::vector<std::string>;

TEST_F(Form1Test, StartUpChecksVersionsThenLoadsThenOpensTheOutputWithTheWindow) {
  QDir::setCurrent(QDir::tempPath());
  Form1& f = make();
  ASSERT_TRUE(f.Form_Initialize());

  EXPECT_EQ(engine.calls, (Calls{"BASS_GetVersion", "BASS_FX_GetVersion", "BASS_Init"}));
  EXPECT_TRUE(engine.windowLoadedAtInit);  // Form_Load ran to its end first
  EXPECT_EQ(engine.initDevice, -1);
  EXPECT_EQ(engine.initFreq, 44100u);
  EXPECT_EQ(engine.initFlags, 0u);
  // The handle of the window the program shows (the frame with the menu bar).
  EXPECT_EQ(engine.initWindow, reinterpret_cast<void*>(f.window()->winId()));
  EXPECT_EQ(engine.initGuid, nullptr);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(endStatuses.empty());
  EXPECT_FALSE(f.isVisible());  // showing is the caller's step
  EXPECT_EQ(QDir::current().canonicalPath(), QDir(appDir).canonicalPath());
  EXPECT_EQ(AppTitle(), QStringLiteral("Lentaro"));

  f.showCentred();
  EXPECT_TRUE(f.isVisible());
  if (QScreen* screen = f.screen()) {
    const QRect shown = f.window()->frameGeometry();
    EXPECT_LE((shown.center() - screen->availableGeometry().center()).manhattanLength(), 2);
  }
}

// Image-format plugins (and the libraries behind them) this process has
// loaded, by file name.
QStringList loadedImagePlugins() {
  QFile maps(QStringLiteral("/proc/self/maps"));
  if (!maps.open(QIODevice::ReadOnly)) return {QStringLiteral("(maps unreadable)")};
  QStringList found;
  for (const QByteArray& line : maps.readAll().split('\n')) {
    const int at = line.indexOf("/imageformats/");
    if (at < 0) continue;
    const QString name = QString::fromUtf8(line.mid(at + 14));
    if (!found.contains(name)) found.append(name);
  }
  return found;
}

// Reading an image without naming its format makes Qt load every
// image-format plugin to ask it, a cost the start-up once paid for the menu
// bar's overflow arrow and the program's icon; the cursor then took the ico
// plugin. None loads now, and the arrow and the icon are there.
TEST_F(Form1Test, TheShownWindowHasLoadedNoImagePlugin) {
  installAppStyle();
  Form1& f = make();
  ASSERT_TRUE(f.Form_Initialize());
  f.showCentred();
  QCoreApplication::processEvents();

  EXPECT_EQ(loadedImagePlugins(), QStringList());
  EXPECT_TRUE(f.window()->windowIcon().availableSizes().contains(QSize(64, 64)));

  auto* bar = f.window()->findChild<QMenuBar*>();
  ASSERT_NE(bar, nullptr);
  auto* overflow = bar->findChild<QToolButton*>(QStringLiteral("qt_menubar_ext_button"));
  ASSERT_NE(overflow, nullptr);
  for (const bool vertical : {false, true}) {
    const QIcon arrow =
        QApplication::style()->standardIcon(vertical ? QStyle::SP_ToolBarVerticalExtensionButton
                                                     : QStyle::SP_ToolBarHorizontalExtensionButton);
    const QImage drawn = arrow.pixmap(16, 16).toImage();
    int inked = 0;
    for (int y = 0; y < drawn.height(); ++y)
      for (int x = 0; x < drawn.width(); ++x) inked += qAlpha(drawn.pixel(x, y)) > 0 ? 1 : 0;
    EXPECT_GT(inked, 8) << "vertical " << vertical;
    EXPECT_LT(inked, 16 * 16 / 2) << "vertical " << vertical;
  }
  EXPECT_FALSE(overflow->icon().isNull());
}

TEST_F(Form1Test, WrongVersionsEndTheProcessBeforeAnyWindow) {
  struct Case {
    DWORD core, fx;
    const char* text;
    Calls calls;
  };
  const Case cases[] = {
      {0x02030000,
       0x02040000,
       "An incorrect version of BASS.DLL was loaded (2.4 is required)",
       {"BASS_GetVersion"}},
      {0x02050000,
       0x02040000,
       "An incorrect version of BASS.DLL was loaded (2.4 is required)",
       {"BASS_GetVersion"}},
      {0x02040000,
       0x02030000,
       "An incorrect version of BASS_FX.DLL was loaded (2.4 is required)",
       {"BASS_GetVersion", "BASS_FX_GetVersion"}},
      {0x02040000,
       0x02050011,
       "An incorrect version of BASS_FX.DLL was loaded (2.4 is required)",
       {"BASS_GetVersion", "BASS_FX_GetVersion"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    engine = FakeEngine{};
    engine.version = c.core;
    engine.fxVersion = c.fx;
    ui.messages.clear();
    endStatuses.clear();

    Form1& f = make();
    EXPECT_FALSE(f.Form_Initialize());
    EXPECT_EQ(engine.calls, c.calls);  // no init, and no second check after the first fails
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, QString::fromLatin1(c.text));
    EXPECT_EQ(ui.messages[0].title, QStringLiteral("Lentaro"));
    EXPECT_EQ(ui.messages[0].icon, MsgIcon::Critical);
    EXPECT_EQ(ui.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(endStatuses, std::vector<int>{kStartupFailedStatus});
    EXPECT_FALSE(f.loaded());
    EXPECT_EQ(f.ListView1, nullptr);  // the window was never built
    EXPECT_FALSE(f.isVisible());
  }
}

TEST_F(Form1Test, NoOutputDeviceReportsTheCodeAndEndsWithoutShowing) {
  engine.initResult = FALSE;
  engine.errorCode = 3;
  Form1& f = make();
  EXPECT_FALSE(f.Form_Initialize());

  EXPECT_EQ(engine.calls,
            (Calls{"BASS_GetVersion", "BASS_FX_GetVersion", "BASS_Init", "BASS_ErrorGetCode"}));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Can't initialize device\r\n\r\n(error code: 3)"));
  EXPECT_EQ(ui.messages[0].title, QStringLiteral("Error"));
  EXPECT_EQ(ui.messages[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(endStatuses, std::vector<int>{kStartupFailedStatus});
  EXPECT_TRUE(f.loaded());
  EXPECT_FALSE(f.isVisible());
}

TEST_F(Form1Test, HomePageOpensOnlyOnTheDrawOfSeven) {
  EXPECT_EQ(homePageNumber(0.0), 1);
  EXPECT_EQ(homePageNumber(0.065), 7);
  EXPECT_EQ(homePageNumber(0.999999), 100);

  started(0.065);
  ASSERT_EQ(ui.openedUrls.size(), 1u);
  EXPECT_EQ(ui.openedUrls[0], homePageUrl());
  EXPECT_EQ(homePageUrl().scheme(), QStringLiteral("https"));
  EXPECT_TRUE(ui.messages.empty());

  for (double draw : {0.0, 0.05, 0.07, 0.5, 0.99}) {
    ui.openedUrls.clear();
    form.reset();
    started(draw);
    EXPECT_TRUE(ui.openedUrls.empty()) << draw;
  }
}

// A browser that cannot start: the load step reports statement 110 and the
// start-up goes on to the end.
class NoBrowserHost : public ScriptedUiHost {
 public:
  bool openUrl(const QUrl& url) override {
    ScriptedUiHost::openUrl(url);
    return false;
  }
};

TEST_F(Form1Test, FailingStepOfTheLoadIsReportedAndTheStartUpGoesOn) {
  NoBrowserHost host;
  StartupServices services;
  services.ui = &host;
  services.audio = engine.calls_table();
  services.endProcess = [this](int status) { endStatuses.push_back(status); };
  services.randomUnit = [] { return 0.06; };
  services.appDir = appDir;
  form = std::make_unique<Form1>(services);
  engine.form = form.get();

  EXPECT_TRUE(form->Form_Initialize());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].title, QStringLiteral("Application Error"));
  EXPECT_TRUE(host.messages[0].text.contains(
      QStringLiteral("\r\nin Lentaro2017/04/05.Form1.Form_Load at line 110\r\r")));
  EXPECT_FALSE(form->Text1->text().isEmpty());  // statement 134 still ran
  EXPECT_TRUE(endStatuses.empty());
}

TEST_F(Form1Test, FirstStartOffersTheDesktopAndStoresIt) {
  ASSERT_FALSE(settings().contains(QStringLiteral("Path")));
  Form1& f = started();
  const QString desktop = sMain::GetDesktopFolder();
  EXPECT_TRUE(desktop.endsWith(QLatin1Char('/')));
  EXPECT_EQ(f.Text1->text(), desktop);
  EXPECT_EQ(settings().value(QStringLiteral("Path")).toString(), desktop);

  // Every change is stored at once, an emptied text included.
  f.Text1->setText(QStringLiteral("/srv/music"));
  EXPECT_EQ(settings().value(QStringLiteral("Path")).toString(), QStringLiteral("/srv/music"));
  f.Text1->clear();
  EXPECT_TRUE(settings().contains(QStringLiteral("Path")));
  EXPECT_EQ(settings().value(QStringLiteral("Path")).toString(), QString());

  // The next start shows what was stored, not the desktop.
  f.Text1->setText(QStringLiteral("/srv/music/"));
  form.reset();
  EXPECT_EQ(started().Text1->text(), QStringLiteral("/srv/music/"));
}

TEST_F(Form1Test, HandCursorIsLoadedWhenPresentAndSilentlySkippedWhenMissing) {
  EXPECT_TRUE(started().pointer().hasCustomCursor());
  form.reset();

  QTemporaryDir empty;
  appDir = empty.path();
  Form1& f = started();
  EXPECT_FALSE(f.pointer().hasCustomCursor());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Form1Test, ClosingFreesTheEngineClosesOtherWindowsAndEndsTheProcess) {
  Form1& f = started();
  f.showCentred();
  QWidget other;
  other.show();
  bool pendingRan = false;
  QMetaObject::invokeMethod(
      qApp, [&] { pendingRan = true; }, Qt::QueuedConnection);
  engine.calls.clear();

  EXPECT_TRUE(f.close());
  EXPECT_TRUE(pendingRan);  // pending events ran once before the engine went
  EXPECT_EQ(engine.calls, (Calls{"BASS_Free"}));
  EXPECT_FALSE(other.isVisible());
  EXPECT_EQ(endStatuses, std::vector<int>{0});
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace lentaro::testing

namespace lentaro::testing {
namespace {

TEST(QuitSignals, TerminationClosesTheWindowTheNormalWay) {
  QWidget window;
  window.show();
  bool closed = false;
  {
    auto* signals_ = new QuitSignals(&window);
    ::raise(SIGTERM);
    for (int i = 0; i < 50 && window.isVisible(); ++i)
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    closed = !window.isVisible();
    delete signals_;  // default handlers again
  }
  EXPECT_TRUE(closed);
}

// The bar's menus, each entry with its keys (submenus indented), and the
// status bar's fields: what the commands' late making must leave as the
// early one does.
QStringList menusAndFields(Form1& f) {
  QStringList out;
  std::function<void(const QMenu*, const QString&)> walk = [&](const QMenu* menu,
                                                               const QString& indent) {
    for (const QAction* a : menu->actions()) {
      QStringList keys;
      for (const QKeySequence& k : a->shortcuts()) keys << k.toString();
      out << indent + (a->isSeparator() ? QStringLiteral("--") : a->text()) + QLatin1Char(' ') +
                 keys.join(QLatin1Char(','));
      if (a->menu()) walk(a->menu(), indent + QStringLiteral("  "));
    }
  };
  for (const QAction* top : f.frame()->menuBar()->actions()) {
    out << top->text();
    walk(top->menu(), QStringLiteral("  "));
  }
  for (const QWidget* w : f.frame()->statusBar()->findChildren<QWidget*>())
    if (!w->objectName().isEmpty()) out << w->objectName();
  return out;
}

TEST_F(Form1Test, TheProgramsWindowPaintsBeforeItsCommandsAndThenHasThemAll) {
  // An encoder folder an earlier run left: removed after the first paint.
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  qputenv("TMPDIR", QFile::encodeName(temp.path()));
  const QString left = temp.filePath(QStringLiteral("lentaro-Ab12Cd"));
  const auto leaveFolder = [&] {
    ASSERT_TRUE(QDir().mkdir(left));
    ::chmod(QFile::encodeName(left).constData(), 0700);
    const timespec hourAgo{std::time(nullptr) - 3600, 0};
    const timespec times[2] = {hourAgo, hourAgo};
    ::utimensat(AT_FDCWD, QFile::encodeName(left).constData(), times, 0);
  };

  leaveFolder();
  Form1& early = started();
  early.showCentred();
  QThreadPool::globalInstance()->waitForDone();
  EXPECT_FALSE(QFileInfo::exists(left));
  const QStringList expected = menusAndFields(early);
  ASSERT_GT(expected.size(), 40);
  const QSize size = early.window()->size();

  leaveFolder();
  finishAfterFirstPaint = true;
  Form1& late = started();
  // The bar shows its titles, as wide and tall as it will be; no entries.
  QStringList titles;
  for (const QAction* top : late.frame()->menuBar()->actions()) {
    titles << top->text();
    EXPECT_TRUE(top->menu()->actions().isEmpty()) << top->text().toStdString();
  }
  EXPECT_EQ(titles, (QStringList{"&File", "&Playback", "&Help"}));
  EXPECT_EQ(late.actions()->action(QStringLiteral("playPause")), nullptr);
  QThreadPool::globalInstance()->waitForDone();
  EXPECT_TRUE(QFileInfo::exists(left));

  late.showCentred();
  QApplication::setActiveWindow(late.window());
  // The first turn of the event loop exposes and paints the window, which
  // asks for the rest; the next turn makes it.
  QCoreApplication::processEvents();
  ASSERT_TRUE(late.window()->windowHandle()->isExposed());
  QCoreApplication::processEvents();
  ASSERT_NE(late.actions()->action(QStringLiteral("playPause")), nullptr);
  EXPECT_EQ(menusAndFields(late), expected);
  EXPECT_EQ(late.window()->size(), size);
  QThreadPool::globalInstance()->waitForDone();
  EXPECT_FALSE(QFileInfo::exists(left));
  qunsetenv("TMPDIR");
  // Its keys work from then on: Space on the empty list says what Play
  // says.
  late.ListView1->setFocus();
  QTest::keyClick(late.ListView1, Qt::Key_Space);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, QStringLiteral("Add song first."));
}

// Started minimised, the window is never painted: the commands come all
// the same, a moment later.
TEST_F(Form1Test, AWindowNeverPaintedStillGetsItsCommands) {
  finishAfterFirstPaint = true;
  finishAtTheLatest = std::chrono::milliseconds(0);
  Form1& f = started();
  ASSERT_EQ(f.actions()->action(QStringLiteral("quit")), nullptr);
  QCoreApplication::processEvents();  // the deadline, set to now above
  EXPECT_NE(f.actions()->action(QStringLiteral("quit")), nullptr);
  EXPECT_FALSE(f.frame()->menuBar()->actions().value(0)->menu()->actions().isEmpty());
}

}  // namespace
}  // namespace lentaro::testing
