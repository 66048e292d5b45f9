// Export and the waveform overview in the window: the File entry and the
// playlist's context menu, the progress on the status bar while the window
// and its playback go on, Cancel there, and the overview following the
// file that plays, under Slider1 without moving anything.
#include <lentaro/bass_offline.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include "DesktopFixture.h"
#include "app/PlayerControl.h"
#include "playback/WaveformPeaks.h"
#include "playback/WaveformView.h"
#include "recording/Exporter.h"

namespace lentaro::testing {
namespace {

class ExportWindowTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    ASSERT_TRUE(out.isValid());
    f().Text1->setText(out.path() + "/");
  }
  QWidget* status() { return frame()->statusBar()->findChild<QWidget*>("exportStatus"); }
  bool waitForExport() {
    return QTest::qWaitFor([this] { return !f().exporter_->running(); }, 60000);
  }
  QStringList outFiles() { return QDir(out.path()).entryList(QDir::Files | QDir::Hidden); }

  QTemporaryDir out;
};

TEST_F(ExportWindowTest, ExportRunsBesidePlaybackWithProgressOnTheStatusBar) {
  add("first.mp3");
  add("second.mp3");
  f().ListView1->Select(2);
  f().PushButton1->click();
  ASSERT_EQ(BASS_ChannelIsActive(channel()), DWORD{BASS_ACTIVE_PLAYING});
  render(0.5);

  f().ListView1->Select(1);
  f().sldTempo[0]->setValue(-50);
  f().sldTempo[1]->setValue(5);
  ui.saveResults = {out.filePath("first_-50_5.wav")};
  int progressed = 0;
  QObject::connect(f().exporter_, &recording::Exporter::progressed, [&] { ++progressed; });
  EXPECT_EQ(status(), nullptr);  // made at the first export
  table().trigger("export");
  ASSERT_EQ(ui.saveRequests.size(), 1u);
  EXPECT_EQ(ui.saveRequests[0].proposedPath, out.filePath("first_-50_5.mp3"));
  ASSERT_TRUE(f().exporter_->running());
  EXPECT_TRUE(status()->isVisibleTo(frame()));
  EXPECT_EQ(status()->findChild<QLabel*>("exportLabel")->text(), "Exporting first_-50_5.wav");
  EXPECT_EQ(status()->findChild<QLabel*>("exportLabel")->toolTip(),
            out.filePath("first_-50_5.wav"));

  // Meanwhile the other file plays on as before, and a second export is
  // refused.
  const double before = position();
  render(1.0);
  EXPECT_NEAR(position(), before + 1.0, 0.01);
  table().trigger("export");
  ASSERT_EQ(ui.saveRequests.size(), 1u) << "no dialog while one runs";
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].text.startsWith("An export is already running"));

  ASSERT_TRUE(waitForExport());
  EXPECT_GT(progressed, 0);
  EXPECT_FALSE(status()->isVisibleTo(frame()));
  EXPECT_EQ(frame()->statusBar()->currentMessage(), "Exported first_-50_5.wav (1:00)");
  const QByteArray wav = QFile::encodeName(out.filePath("first_-50_5.wav"));
  const DWORD h = BASS_Lentaro_RenderOpen(wav.constData(), 0, 0, 1, 0, 0);
  ASSERT_NE(h, 0u);
  // first.mp3 decodes to 30.07 s (the encoder pads its last frame).
  EXPECT_NEAR(static_cast<double>(BASS_Lentaro_RenderLength(h)), 60.13 * 44100, 0.05 * 44100);
  BASS_Lentaro_RenderClose(h);
  EXPECT_EQ(BASS_ChannelIsActive(channel()), DWORD{BASS_ACTIVE_PLAYING});
}

TEST_F(ExportWindowTest, CancelOnTheStatusBarLeavesNothing) {
  add("first.mp3");
  ui.saveResults = {out.filePath("x.flac")};
  table().trigger("export");
  ASSERT_TRUE(f().exporter_->running());
  status()->findChild<QToolButton*>("exportCancel")->click();
  ASSERT_TRUE(waitForExport());
  EXPECT_TRUE(outFiles().isEmpty()) << outFiles().join(",").toStdString();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text,
            "The export of \u201cfirst.mp3\u201d was cancelled. Nothing was saved.");
  EXPECT_FALSE(status()->isVisibleTo(frame()));
}

// Quitting ends the process without destructors: the export stops first
// and takes its partial file with it.
TEST_F(ExportWindowTest, QuitDuringAnExportLeavesNothing) {
  add("first.mp3");
  ui.saveResults = {out.filePath("q.mp3")};
  table().trigger("export");
  ASSERT_TRUE(f().exporter_->running());
  table().trigger("quit");
  EXPECT_EQ(endStatuses, std::vector<int>{0});
  EXPECT_FALSE(f().exporter_->running());
  EXPECT_TRUE(outFiles().isEmpty()) << outFiles().join(",").toStdString();
}

TEST_F(ExportWindowTest, PlaylistContextMenuExportsTheRowUnderThePointer) {
  add("first.mp3");
  add("second.mp3");
  playlist::PlaylistView* list = f().ListView1;
  const QPoint second = list->visualRect(list->model()->index(1, 0)).center();
  Q_EMIT list->customContextMenuRequested(second);
  auto* menu = list->findChild<QMenu*>("playlistMenu");
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->actions(), QList<QAction*>{table().action("export")});
  EXPECT_EQ(list->SelectedItem()->Index, 2);
  menu->actions().value(0)->trigger();  // the dialog is cancelled
  ASSERT_EQ(ui.saveRequests.size(), 1u);
  EXPECT_EQ(ui.saveRequests[0].proposedPath, out.filePath("second_0_0.mp3"));
  EXPECT_FALSE(f().exporter_->running());
  menu->close();

  // Below the rows: no menu.
  QTest::qWait(0);  // the closed menu deletes itself
  Q_EMIT list->customContextMenuRequested(QPoint(5, list->viewport()->height() - 3));
  EXPECT_EQ(list->findChild<QMenu*>("playlistMenu"), nullptr);
}

TEST_F(ExportWindowTest, WaveformLiesUnderSlider1AndFollowsThePlayingFile) {
  const QRect slider = f().Slider1->geometry();
  const QRect time = f().Label3->geometry();
  auto* view = f().waveform_;
  ASSERT_EQ(view->parentWidget(), f().Frame2);
  EXPECT_TRUE(view->geometry().contains(slider.center()));
  EXPECT_LT(view->geometry().bottom(), time.top()) << "the time labels stay clear";
  const QObjectList order = f().Frame2->children();
  EXPECT_LT(order.indexOf(view), order.indexOf(f().Slider1)) << "drawn under the slider";
  EXPECT_EQ(slider, QRect(10, 16, 503, 20));

  add("first.mp3");
  add("second.mp3");
  f().PushButton1->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->peaks().complete(); }, 30000));
  EXPECT_NEAR(view->peaks().seconds, 30.07, 0.01);
  // first.mp3 is a steady sine at half scale.
  EXPECT_NEAR(view->peaks().maxs[512], 0.5, 0.05);
  render(3.0);
  // The refresh tick brings the overview's position line along.
  EXPECT_TRUE(QTest::qWaitFor([&] { return std::abs(view->position() - 3.0) < 0.01; }, 2000))
      << view->position();

  f().ListView1->Select(2);
  Q_EMIT f().ListView1->DblClick(2);
  EXPECT_EQ(f().waveformPeaks_->path(), data("second.mp3"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->peaks().complete(); }, 30000));
  EXPECT_NEAR(view->peaks().seconds, 20.06, 0.01);
}

}  // namespace
}  // namespace lentaro::testing
