// Export: what the file says is what the renderer (and so the engine)
// plays; cancels and failures leave no file and say what happened; the
// name the dialog proposes; one export at a time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <lentaro/bass_offline.h>
#include <sndfile.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include "ScriptedUiHost.h"
#include "playlist/PlaylistView.h"
#include "recording/EncoderResource.h"
#include "recording/ExportJob.h"
#include "recording/ExportName.h"
#include "recording/Exporter.h"

namespace lentaro::recording {
namespace {

using lentaro::testing::ScriptedUiHost;

QString data(const char* name) {
  return qEnvironmentVariable("LENTARO_TEST_DATA") + QStringLiteral("/recording/") +
         QString::fromUtf8(name);
}

std::vector<int16_t> renderAll(const QString& path, float tempo, float pitch, float volume,
                               QWORD start = 0, QWORD end = 0) {
  const QByteArray name = QFile::encodeName(path);
  const DWORD h = BASS_Lentaro_RenderOpen(name.constData(), tempo, pitch, volume, start, end);
  EXPECT_NE(h, 0u);
  std::vector<int16_t> out, block(2 * 4096);
  for (int n; (n = BASS_Lentaro_RenderRead(h, block.data(), 4096)) > 0;)
    out.insert(out.end(), block.begin(), block.begin() + 2 * n);
  BASS_Lentaro_RenderClose(h);
  return out;
}

std::vector<int16_t> readSoundFile(const QString& path, int* format = nullptr) {
  SF_INFO info{};
  SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
  EXPECT_TRUE(f) << path.toStdString();
  if (!f) return {};
  EXPECT_EQ(info.samplerate, 44100);
  EXPECT_EQ(info.channels, 2);
  if (format) *format = info.format & SF_FORMAT_TYPEMASK;
  std::vector<int16_t> out(2 * static_cast<size_t>(info.frames));
  EXPECT_EQ(sf_readf_short(f, out.data(), info.frames), info.frames);
  sf_close(f);
  return out;
}

QStringList filesIn(const QString& folder) {
  return QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
}

QByteArray failingEncoder() {
  return "#!/bin/sh\ncat >/dev/null\nexit 1\n";
}

ExportOutcome runJob(const ExportRequest& r, ExportJob::EncoderSource encoder = {}) {
  std::atomic<bool> cancel{false};
  ExportJob job(
      r, encoder ? std::move(encoder) : [] { return QByteArray(); }, QDir::tempPath());
  return job.run(cancel);
}

TEST(ExportName, ProposedNameCarriesTempoAndPitch) {
  EXPECT_EQ(ExportProposedPath("/out/", "/music/song.mp3", -50, 5), "/out/song_-50_5.mp3");
  EXPECT_EQ(ExportProposedPath("/out", "/music/my.song.mp3", 0, 0), "/out/my.song_0_0.mp3");
  EXPECT_EQ(ExportProposedPath("/out/", "/music/noext", 120, -12), "/out/noext_120_-12.mp3");
  EXPECT_EQ(ExportFormatOf("/a/b.WAV"), ExportFormat::Wav);
  EXPECT_EQ(ExportFormatOf("/a/b.flac"), ExportFormat::Flac);
  EXPECT_EQ(ExportFormatOf("/a/b.Mp3"), ExportFormat::Mp3);
  EXPECT_EQ(ExportFormatOf("/a/b.ogg"), std::nullopt);
  EXPECT_TRUE(ExportNameLacksExtension("/a.b/song"));
  EXPECT_FALSE(ExportNameLacksExtension("/a/song.ogg"));
}

// WAV and FLAC hold exactly what the renderer gives; a range gives just
// its frames; the MP3 decodes to the render's length (lame's Info tag).
TEST(ExportJob, FilesHoldExactlyTheRender) {
  QTemporaryDir out;
  const QString source = data("tone.mp3");
  const auto expected = renderAll(source, -50, 5, 0.8f);
  ASSERT_GT(expected.size(), 2u * 44100 * 19);
  for (const auto& [format, name, sfType] :
       {std::tuple{ExportFormat::Wav, "a.wav", SF_FORMAT_WAV},
        std::tuple{ExportFormat::Flac, "a.flac", SF_FORMAT_FLAC}}) {
    SCOPED_TRACE(name);
    ExportRequest r{source, out.filePath(name), format, -50, 5, 0.8f};
    const ExportOutcome o = runJob(r);
    ASSERT_EQ(o.kind, ExportOutcome::Kind::Done) << o.reason.toStdString();
    EXPECT_NEAR(o.seconds, expected.size() / 2 / 44100.0, 1e-9);
    int type = 0;
    const auto written = readSoundFile(r.outputPath, &type);
    EXPECT_EQ(type, sfType);
    ASSERT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected) << "a sample differs";
  }
  ExportRequest range{source,   out.filePath("range.wav"), ExportFormat::Wav, 0, 0, 1, 4 * 44100,
                      4 * 88200};
  ASSERT_EQ(runJob(range).kind, ExportOutcome::Kind::Done);
  EXPECT_TRUE(readSoundFile(range.outputPath) == renderAll(source, 0, 0, 1, 4 * 44100, 4 * 88200));
  EXPECT_EQ(readSoundFile(range.outputPath).size(), 2u * 44100);

  ExportRequest mp3{source, out.filePath("a.mp3"), ExportFormat::Mp3, -50, 5, 0.8f};
  ASSERT_EQ(runJob(mp3, &LoadEncoderResource).kind, ExportOutcome::Kind::Done);
  const QByteArray name = QFile::encodeName(mp3.outputPath);
  const DWORD h = BASS_Lentaro_RenderOpen(name.constData(), 0, 0, 1, 0, 0);
  ASSERT_NE(h, 0u) << "the MP3 does not decode";
  EXPECT_EQ(BASS_Lentaro_RenderLength(h), expected.size() / 2);
  BASS_Lentaro_RenderClose(h);
  EXPECT_EQ(filesIn(out.path()), (QStringList{"a.flac", "a.mp3", "a.wav", "range.wav"}));
}

// Failures say what happened and leave nothing; a file that stood at the
// name before is left as it was.
TEST(ExportJob, FailuresLeaveNoFileAndSayWhy) {
  QTemporaryDir out;
  const QString source = data("short.mp3");
  {
    SCOPED_TRACE("encoder exits 1");
    QFile old(out.filePath("kept.mp3"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older file");
    old.close();
    const ExportOutcome o =
        runJob({source, out.filePath("kept.mp3"), ExportFormat::Mp3}, &failingEncoder);
    EXPECT_EQ(o.kind, ExportOutcome::Kind::Failed);
    EXPECT_TRUE(o.reason.contains("exit status 1")) << o.reason.toStdString();
    EXPECT_EQ(filesIn(out.path()), QStringList{"kept.mp3"});
    QFile check(out.filePath("kept.mp3"));
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), "an older file");
    QFile::remove(out.filePath("kept.mp3"));
  }
  {
    SCOPED_TRACE("encoder that cannot start");
    const ExportOutcome o = runJob({source, out.filePath("x.mp3"), ExportFormat::Mp3},
                                   [] { return QByteArray("#!/nonexistent/interpreter\n"); });
    EXPECT_EQ(o.kind, ExportOutcome::Kind::Failed);
    EXPECT_EQ(o.reason, "The MP3 encoder could not be started.");
    EXPECT_TRUE(filesIn(out.path()).isEmpty());
  }
  {
    SCOPED_TRACE("folder that cannot be written");
    QString folder = out.filePath("locked");
    ASSERT_TRUE(QDir().mkdir(folder));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    // The superuser writes anywhere it has rights; the system's own
    // folder of kernel objects refuses new files to anyone.
    const int probe =
        ::open(QFile::encodeName(folder + "/probe").constData(), O_CREAT | O_WRONLY, 0600);
    if (probe >= 0) {
      ::close(probe);
      QFile::remove(folder + "/probe");
      folder = "/sys";
    }
    for (ExportFormat format : {ExportFormat::Wav, ExportFormat::Mp3}) {
      const ExportOutcome o = runJob({source, folder + "/x.out", format}, &LoadEncoderResource);
      EXPECT_EQ(o.kind, ExportOutcome::Kind::Failed);
      EXPECT_EQ(o.reason,
                "The folder \u201c" + folder + "\u201d cannot be written (Permission denied).");
    }
    EXPECT_EQ(runJob({source, out.filePath("none/x.wav"), ExportFormat::Wav}).reason,
              "The folder \u201c" + out.filePath("none") + "\u201d does not exist.");
    QFile::setPermissions(out.filePath("locked"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  {
    SCOPED_TRACE("source that cannot be read");
    const ExportOutcome o =
        runJob({out.filePath("gone.mp3"), out.filePath("y.wav"), ExportFormat::Wav});
    EXPECT_TRUE(o.reason.endsWith("cannot be read: it is missing, or you may not read it."));
  }
  EXPECT_EQ(filesIn(out.path()), QStringList{});
}

// The window's side: the dialog, the worker, the cancel and the refusal.
class ExporterTest : public ::testing::Test {
 protected:
  ExporterTest() {
    widgets.owner = &window;
    widgets.Text1 = new QLineEdit(out.path() + "/", &window);
    widgets.ListView1 = list = new playlist::PlaylistView(&window);
    for (QSlider*& s : widgets.sldTempo) s = new QSlider(&window);
    widgets.sldTempo[0]->setRange(-200, 200);
    widgets.sldTempo[1]->setRange(-30, 30);
    widgets.sldVolume = new QSlider(&window);
    widgets.sldVolume->setRange(0, 100);
    widgets.sldVolume->setValue(100);
    exporter = std::make_unique<Exporter>(ui, widgets);
    QObject::connect(exporter.get(), &Exporter::finished,
                     [this](const ExportOutcome& o) { outcomes.push_back(o); });
  }
  bool waitForEnd() {
    return QTest::qWaitFor([this] { return !exporter->running() && !outcomes.empty(); }, 30000);
  }

  QWidget window;
  QTemporaryDir out;
  ScriptedUiHost ui;
  ExportWidgets widgets;
  playlist::PlaylistView* list;
  std::unique_ptr<Exporter> exporter;
  std::vector<ExportOutcome> outcomes;
};

TEST_F(ExporterTest, DialogProposesTheNameAndTheSlidersAreUsed) {
  ui.messages.clear();
  exporter->exportSelected();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Select a file in the list to export.");

  list->Add(data("short.mp3"));
  widgets.sldTempo[0]->setValue(-50);
  widgets.sldTempo[1]->setValue(5);
  widgets.sldVolume->setValue(50);
  ui.saveResults = {out.filePath("chosen")};  // no extension: an MP3
  exporter->setEncoderSource([] { return QByteArray("#!/bin/sh\ncat >\"$2\"\n"); });
  exporter->exportSelected();
  ASSERT_EQ(ui.saveRequests.size(), 1u);
  EXPECT_EQ(ui.saveRequests[0].proposedPath, out.filePath("short_-50_5.mp3"));
  EXPECT_EQ(ui.saveRequests[0].filter, "MP3 (*.mp3);;WAV (*.wav);;FLAC (*.flac)");
  EXPECT_EQ(exporter->current().outputPath, out.filePath("chosen.mp3"));
  EXPECT_EQ(exporter->current().tempo, -50.0f);
  EXPECT_EQ(exporter->current().pitch, 5.0f);
  EXPECT_EQ(exporter->current().volume, 0.5f);
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(outcomes[0].kind, ExportOutcome::Kind::Done) << outcomes[0].reason.toStdString();

  ui.saveResults = {out.filePath("x.ogg")};
  exporter->exportSelected();
  EXPECT_FALSE(exporter->running());
  EXPECT_TRUE(ui.messages.back().text.startsWith("Lentaro exports MP3, WAV and FLAC files."));
}

// The loop range, when the window has one, is what is exported.
TEST_F(ExporterTest, LoopRangeHookChoosesThePart) {
  list->Add(data("tone.mp3"));
  exporter->setLoopRangeSource([](const QString&) { return ExportRange{4 * 22050, 4 * 66150}; });
  ui.saveResults = {out.filePath("part.wav")};
  exporter->exportSelected();
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(readSoundFile(out.filePath("part.wav")).size(), 2u * 44100);
}

TEST_F(ExporterTest, CancelRemovesThePartialFileAndSaysSo) {
  ExportRequest r{data("tone.mp3"), out.filePath("c.flac"), ExportFormat::Flac, -90};
  int progressSeen = 0;
  QObject::connect(exporter.get(), &Exporter::progressed, [&](double, double) {
    if (++progressSeen == 1) exporter->cancel();
  });
  ASSERT_TRUE(exporter->start(r));
  ASSERT_TRUE(waitForEnd());
  EXPECT_EQ(outcomes[0].kind, ExportOutcome::Kind::Cancelled);
  EXPECT_GE(progressSeen, 1);
  EXPECT_TRUE(filesIn(out.path()).isEmpty()) << filesIn(out.path()).join(",").toStdString();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text,
            "The export of \u201ctone.mp3\u201d was cancelled. Nothing was saved.");
}

TEST_F(ExporterTest, FailureIsToldAndASecondExportIsRefusedWhileOneRuns) {
  exporter->setEncoderSource(&failingEncoder);
  ASSERT_TRUE(exporter->start({data("tone.mp3"), out.filePath("f.mp3"), ExportFormat::Mp3, -50}));
  EXPECT_FALSE(exporter->start({data("short.mp3"), out.filePath("g.wav"), ExportFormat::Wav}));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].text.startsWith("An export is already running (\u201cf.mp3\u201d)."));
  ASSERT_TRUE(waitForEnd());
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].kind, ExportOutcome::Kind::Failed);
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_TRUE(
      ui.messages[1].text.startsWith("\u201ctone.mp3\u201d could not be exported.\n\n"
                                     "The MP3 encoder stopped with an error (exit status 1)."))
      << ui.messages[1].text.toStdString();
  EXPECT_TRUE(ui.messages[1].text.endsWith("Nothing was saved."));
  EXPECT_EQ(ui.messages[1].icon, MsgIcon::Exclamation);
  EXPECT_TRUE(filesIn(out.path()).isEmpty());
}

}  // namespace
}  // namespace lentaro::recording
