#include "PlaybackFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <cmath>
#include <cstdlib>

#include "playback/PlaybackWiring.h"

namespace lentaro::playback::testing {

namespace {

constexpr int kRate = 44100;

class EngineEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ready = BASS_Init(0, kRate, BASS_DEVICE_MANUAL, nullptr, nullptr);
    initError = ready ? 0 : BASS_ErrorGetCode();
  }
  void TearDown() override {
    if (ready) BASS_Free();
    ready = false;
  }
  bool ready = false;
  int initError = 0;
};

EngineEnvironment* const engine =
    static_cast<EngineEnvironment*>(::testing::AddGlobalTestEnvironment(new EngineEnvironment));

}  // namespace

bool engineReady() {
  return engine->ready;
}

int engineInitError() {
  return engine->initError;
}

PlaybackTest::PlaybackTest() {
  // The main window's controls with their design captions and ranges.
  window.resize(536, 657);
  list = new playlist::PlaylistView(&window);
  list->setGeometry(8, 8, 456, 169);
  w.ListView1 = list;
  w.PushButton1 = new QPushButton(QStringLiteral("Play"), &window);
  w.PushButton7 = new QPushButton(QStringLiteral("Play and Record"), &window);
  w.Frame1 = new QGroupBox(QStringLiteral("Pitch"), &window);
  w.Frame3 = new QGroupBox(QStringLiteral("Tempo"), &window);
  const auto slider = [this](const char* name, int min, int max, int value, int y) {
    auto* s = new QSlider(Qt::Horizontal, &window);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(min, max);
    s->setValue(value);
    s->setPageStep(1);
    s->setGeometry(8, y, 440, 30);
    return s;
  };
  w.sldTempo[0] = slider("sldTempo0", -200, 200, 0, 300);
  w.sldTempo[1] = slider("sldTempo1", -30, 30, 0, 340);
  w.sldVolume = slider("sldVolume", 0, 100, 100, 380);
  w.Slider1 = slider("Slider1", 0, 1, 0, 420);
  w.Label3 = new QLabel(QStringLiteral("Time:"), &window);
  w.Label2 = new QLabel(QStringLiteral("Total Time:"), &window);
  w.Timer2 = new QTimer(&window);
  w.Timer2->setInterval(Playback::kRefreshMs);
  w.Timer2->start();
  pb = std::make_unique<Playback>(ui, w);
  connectPlayback(*pb);
  window.show();
}

PlaybackTest::~PlaybackTest() {
  // Channels outlive a Playback (the engine owns them); free this test's,
  // so that the next test's output holds nothing of it.
  if (engineReady()) BASS_StreamFree(pb->state().CurrentChannel);
  pb.reset();
}

QString PlaybackTest::data(const char* name) {
  return QDir(qEnvironmentVariable("LENTARO_TEST_DATA")).filePath(QStringLiteral("playback/")) +
         QString::fromLatin1(name);
}

void PlaybackTest::add(const char* name) {
  const QString path = data(name);
  ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
  list->Add(path);
}

std::vector<int16_t> PlaybackTest::render(double seconds) {
  const int frames = static_cast<int>(std::lround(seconds * kRate));
  std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
  int done = 0;
  while (done < frames) {
    const int n = std::min(4096, frames - done);
    const int got = BASS_Lentaro_RenderOutput(out.data() + static_cast<ptrdiff_t>(done) * 2, n);
    if (got <= 0) break;
    done += got;
  }
  out.resize(static_cast<size_t>(done) * 2);
  return out;
}

void PlaybackTest::letARefreshTickPass() {
  bool probed = false;
  QTimer::singleShot(Playback::kRefreshMs * 3 / 2, &window, [&probed] { probed = true; });
  while (!probed)
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

double PlaybackTest::position() {
  const DWORD ch = channel();
  return BASS_ChannelBytes2Seconds(ch, BASS_ChannelGetPosition(ch, BASS_POS_BYTE));
}

float PlaybackTest::attribute(DWORD attrib) {
  float v = std::nanf("");
  BASS_ChannelGetAttribute(channel(), attrib, &v);
  return v;
}

double PlaybackTest::frequency(const std::vector<int16_t>& stereo) {
  const size_t frames = stereo.size() / 2;
  if (frames < 2) return 0;
  int crossings = 0;
  for (size_t i = 1; i < frames; ++i) {
    const bool was = stereo[(i - 1) * 2] >= 0;
    const bool is = stereo[i * 2] >= 0;
    if (was != is) ++crossings;
  }
  return crossings / 2.0 / (static_cast<double>(frames) / kRate);
}

int PlaybackTest::peak(const std::vector<int16_t>& stereo) {
  int p = 0;
  for (int16_t s : stereo) p = std::max(p, std::abs(static_cast<int>(s)));
  return p;
}

}  // namespace lentaro::playback::testing
