// Play and Record while a practice loop repeats: the MP3 holds what was
// heard, pass after pass at the loop's seams, nothing left out and nothing
// doubled. The file is a rising sweep, so any slip of the passes (a gap, a
// repeated stretch) moves the place where each pass matches the source.
#include <gtest/gtest.h>
#include <lentaro/bass.h>
#include <mpg123.h>

#include <QFile>
#include <QLineEdit>
#include <cmath>
#include <vector>

#include "PracticeController.h"
#include "RecordingFixture.h"
#include "app/Form1.h"
#include "playlist/PlaylistView.h"

using namespace lentaro;
using namespace lentaro::testing;

namespace {

// The left channel of an MP3 as mpg123 decodes it (gapless), in [-1, 1).
std::vector<float> decodeLeft(const QString& path) {
  std::vector<float> out;
  int err = MPG123_OK;
  mpg123_handle* h = mpg123_new(nullptr, &err);
  if (h == nullptr) return out;
  mpg123_param(h, MPG123_FORCE_STEREO, 1, 0);
  if (mpg123_open(h, QFile::encodeName(path).constData()) == MPG123_OK) {
    std::vector<short> buffer(16384);
    size_t got = 0;
    int r = MPG123_OK;
    do {
      r = mpg123_read(h, reinterpret_cast<unsigned char*>(buffer.data()),
                      buffer.size() * sizeof(short), &got);
      for (size_t i = 0; i + 1 < got / sizeof(short); i += 2)
        out.push_back(static_cast<float>(buffer[i]) / 32768.0f);
    } while (r == MPG123_OK || r == MPG123_NEW_FORMAT);
    mpg123_close(h);
  }
  mpg123_delete(h);
  return out;
}

double correlation(const std::vector<float>& a, long long ia, const std::vector<float>& b,
                   long long ib, long long n) {
  double ab = 0, aa = 0, bb = 0;
  for (long long i = 0; i < n; ++i) {
    const double x = a[static_cast<size_t>(ia + i)], y = b[static_cast<size_t>(ib + i)];
    ab += x * y;
    aa += x * x;
    bb += y * y;
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// Where in `recorded` (searched over [from, to)) the source's stretch
// starting at `at` best matches, and how well.
std::pair<long long, double> bestMatch(const std::vector<float>& recorded, long long from,
                                       long long to, const std::vector<float>& source, long long at,
                                       long long n) {
  std::pair<long long, double> best{from, -2};
  for (long long i = from; i < to; ++i) {
    const double c = correlation(recorded, i, source, at, n);
    if (c > best.second) best = {i, c};
  }
  return best;
}

class LoopRecording : public RecordingTest {};

TEST_F(LoopRecording, TheMp3HoldsEveryPassJoinedAtTheSeamsWithoutAGap) {
  const QString song = copySource("tone.mp3", "song.mp3");
  w->ListView1->Add(song);
  w->Text1->setText(out.path());
  PracticeController& practice = *w->practice_;

  constexpr double kStart = 2.0, kEnd = 3.0;  // one second of the sweep
  constexpr int kPasses = 4;
  record({{framesOf(0.5),
           [&] {
             practice.tick();  // the recording's own channel
             practice.setLoopStartAt(kStart);
             practice.setLoopEndAt(kEnd);
           }},
          {framesOf(kPasses * (kEnd - kStart)), [&] { stopWithThisButton(); }}});
  ASSERT_TRUE(finishRecording());
  const QString mp3 = out.filePath("song_recorded.mp3");
  expectMp3OfAllRendered(mp3);

  const std::vector<float> recorded = decodeLeft(mp3);
  const std::vector<float> source = decodeLeft(song);
  ASSERT_GE(static_cast<long long>(recorded.size()), framesOf(0.5 + kPasses - 0.1));

  // The first pass: where the jump to the loop's start landed (the output
  // is a little behind the moment the loop was set).
  const long long pass = framesOf(kEnd - kStart);
  const long long inner = framesOf(0.05), n = framesOf(0.3);
  const auto [first, c0] =
      bestMatch(recorded, framesOf(0.45), framesOf(0.65), source, framesOf(kStart) + inner, n);
  EXPECT_GT(c0, 0.95);
  const long long passStart = first - inner;

  // Every later pass lies exactly one pass further on, its start, middle
  // and end all matching the source.
  for (int k = 1; k < kPasses - 1; ++k) {
    for (const double within : {0.05, 0.35, 0.65}) {
      const long long expected = passStart + k * pass + framesOf(within);
      const auto [at, c] =
          bestMatch(recorded, expected - 200, expected + 200, source, framesOf(kStart + within), n);
      EXPECT_LE(std::llabs(at - expected), 2) << "pass " << k + 1 << " at " << within;
      EXPECT_GT(c, 0.95) << "pass " << k + 1 << " at " << within;
    }
  }

  // No silence at a seam: every 5 ms around each one has sound.
  for (int k = 1; k < kPasses; ++k) {
    const long long seam = passStart + k * pass;
    for (long long at = seam - framesOf(0.02); at < seam + framesOf(0.02); at += framesOf(0.005)) {
      double energy = 0;
      for (long long i = at; i < at + framesOf(0.005); ++i)
        energy += recorded[static_cast<size_t>(i)] * recorded[static_cast<size_t>(i)];
      EXPECT_GT(std::sqrt(energy / static_cast<double>(framesOf(0.005))), 0.1) << "near seam " << k;
    }
  }
}

}  // namespace
