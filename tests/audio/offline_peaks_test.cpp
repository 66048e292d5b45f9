// Waveform peaks of known signals: silence, a full-scale sine, a click
// train; the order and the early end of their progress; and a real file.
#include <cmath>
#include <numbers>
#include <vector>

#include "engine_files.h"
#include "engine_signals.h"
#include "lentaro/bass_offline.h"
#include "offline_peaks.h"

namespace lentaro::audio::test {
namespace {

struct Peaks {
  std::vector<float> mins, maxs;
  std::vector<int> progress;  // columnsDone of each call
  int filled = 0;
};

Peaks peaksOf(Decoder& d, int columns, const volatile int* cancel = nullptr, int cancelAfter = -1,
              volatile int* cancelFlag = nullptr) {
  Peaks p;
  p.mins.assign(static_cast<size_t>(columns), 99.0f);
  p.maxs.assign(static_cast<size_t>(columns), 99.0f);
  struct Ctx {
    Peaks* p;
    int cancelAfter;
    volatile int* flag;
  } ctx{&p, cancelAfter, cancelFlag};
  p.filled = computePeaks(
      d, columns, p.mins.data(), p.maxs.data(), cancel,
      [](int done, void* user) {
        auto* c = static_cast<Ctx*>(user);
        c->p->progress.push_back(done);
        if (c->cancelAfter >= 0 && done >= c->cancelAfter) *c->flag = 1;
      },
      &ctx);
  return p;
}

TEST(OfflinePeaks, SilenceIsZeroEverywhere) {
  SignalDecoder d(44100, 2, 44100 * 5, [](int64_t, int) { return 0.0f; });
  const Peaks p = peaksOf(d, 256);
  ASSERT_EQ(p.filled, 256);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(p.mins[i], 0.0f) << i;
    EXPECT_EQ(p.maxs[i], 0.0f) << i;
  }
}

// A full-scale sine reaches both extremes in every column (each column
// holds many periods); a right channel at half level changes nothing, the
// peaks being taken over both channels.
TEST(OfflinePeaks, FullScaleSineFillsEveryColumn) {
  const double hz = 441.0;
  SignalDecoder d(44100, 2, 44100 * 8, [=](int64_t f, int c) {
    const float s = static_cast<float>(std::sin(2 * std::numbers::pi * hz * f / 44100 + 0.3));
    return c == 0 ? s : 0.5f * s;
  });
  const Peaks p = peaksOf(d, 1024);
  ASSERT_EQ(p.filled, 1024);
  for (int i = 0; i < 1024; ++i) {
    EXPECT_NEAR(p.mins[i], -1.0f, 2e-3f) << i;
    EXPECT_NEAR(p.maxs[i], 1.0f, 2e-3f) << i;
  }
}

// 30 ms bursts every second over 10 s in 100 columns of 0.1 s: the column
// that holds a burst peaks at its level, all others are silent.
TEST(OfflinePeaks, ClickTrainPeaksOnlyWhereTheClicksAre) {
  auto d = clicks(44100, 10.0, 1.0);
  const Peaks p = peaksOf(*d, 100);
  ASSERT_EQ(p.filled, 100);
  for (int i = 0; i < 100; ++i) {
    if (i % 10 == 0) {
      EXPECT_NEAR(p.maxs[i], 0.8f, 0.01f) << i;
      EXPECT_NEAR(p.mins[i], -0.8f, 0.01f) << i;
    } else {
      EXPECT_EQ(p.maxs[i], 0.0f) << i;
      EXPECT_EQ(p.mins[i], 0.0f) << i;
    }
  }
}

// Progress comes in order as columns fill and ends at all of them; a
// file shorter than the columns leaves the columns without frames at 0.
TEST(OfflinePeaks, ProgressInOrderAndShortFiles) {
  auto d = sine(44100, 1, 30.0, 100.0, 0.5f);
  const Peaks p = peaksOf(*d, 300);
  ASSERT_FALSE(p.progress.empty());
  EXPECT_GT(p.progress.size(), 10u) << "reported while it fills, not only at the end";
  for (size_t i = 1; i < p.progress.size(); ++i) EXPECT_GT(p.progress[i], p.progress[i - 1]);
  EXPECT_EQ(p.progress.back(), 300);

  SignalDecoder tiny(44100, 1, 10, [](int64_t, int) { return 0.25f; });
  const Peaks t = peaksOf(tiny, 40);
  ASSERT_EQ(t.filled, 40);
  int sounding = 0;
  for (int i = 0; i < 40; ++i) {
    if (t.maxs[i] != 0) {
      ++sounding;
      EXPECT_EQ(t.maxs[i], 0.25f);
      EXPECT_EQ(t.mins[i], 0.25f) << "a constant signal is its own minimum";
    } else {
      EXPECT_EQ(t.mins[i], 0.0f);
    }
  }
  EXPECT_EQ(sounding, 10);
}

// Counts what a decoder was asked for.
class CountingDecoder : public SignalDecoder {
 public:
  using SignalDecoder::SignalDecoder;
  long read(float* out, long maxFrames) override {
    const long n = SignalDecoder::read(out, maxFrames);
    delivered += n;
    return n;
  }
  int64_t delivered = 0;
};

TEST(OfflinePeaks, CancelStopsSoon) {
  const int64_t frames = 44100LL * 600;  // ten minutes
  CountingDecoder d(44100, 2, frames, [](int64_t f, int) { return (f % 100) / 100.0f; });
  volatile int cancel = 0;
  const Peaks p = peaksOf(d, 1000, &cancel, 10, &cancel);
  EXPECT_GE(p.filled, 10);
  EXPECT_LT(p.filled, 20);
  EXPECT_LT(d.delivered, frames / 50) << "decoding went on after the cancel";
}

TEST(OfflinePeaks, FileThroughTheCInterface) {
  std::vector<float> mins(200), maxs(200);
  double seconds = 0;
  int calls = 0;
  const int filled = BASS_Lentaro_ComputePeaks(
      corpus("cbr128.mp3").c_str(), 200, mins.data(), maxs.data(), &seconds, nullptr,
      [](int, void* user) { ++*static_cast<int*>(user); }, &calls);
  ASSERT_EQ(filled, 200);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
  EXPECT_NEAR(seconds, 3.0, 0.001);
  EXPECT_GT(calls, 0);
  // The corpus tone: two sines at -3 dB, amplitude-modulated at 3 Hz, so
  // its envelope rises and falls nine times.
  int loud = 0, lowered = 0;
  for (int i = 0; i < 200; ++i) {
    EXPECT_LE(maxs[i], 1.0f);
    EXPECT_GE(mins[i], -1.0f);
    EXPECT_LE(mins[i], maxs[i]);
    if (maxs[i] > 0.5f && mins[i] < -0.5f) ++loud;
    if (maxs[i] < 0.3f) ++lowered;
  }
  EXPECT_GT(loud, 50);
  EXPECT_GT(lowered, 9);
  EXPECT_EQ(BASS_Lentaro_ComputePeaks(corpus("no such file.mp3").c_str(), 200, mins.data(),
                                      maxs.data(), nullptr, nullptr, nullptr, nullptr),
            -1);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
  EXPECT_EQ(BASS_Lentaro_ComputePeaks(corpus("cbr128.mp3").c_str(), 0, mins.data(), maxs.data(),
                                      nullptr, nullptr, nullptr, nullptr),
            -1);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

}  // namespace
}  // namespace lentaro::audio::test
