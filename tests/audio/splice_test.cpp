// The splice on its own: two versions of a sound, as a restarted stretch
// gives them (the new one a few ms off in time, or at another pitch),
// joined without a dip in level or a burst of high frequencies.
#include "splice.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "signal_measures.h"

namespace lentaro::audio::test {
namespace {

using Signal = std::function<float(int64_t)>;

constexpr int kFade = 441;    // 10 ms
constexpr int kSearch = 440;  // offsets 0..440: ±5 ms

struct Spliced {
  std::vector<float> out;  // 50 ms of the old, the fade, 50 ms of the new
  SpliceMatch match;
  size_t fadeAt = 0;
};

// The old sound plays `before` frames and then fades into the new one,
// whose frame 0 stands kSearch / 2 frames before the fade's start: an
// offset of kSearch / 2 continues it where it is. Mono.
Spliced splice(const Signal& prev, const Signal& next) {
  const int before = 2205, after = 2205;
  Spliced s;
  for (int i = 0; i < before; ++i) s.out.push_back(prev(i));
  std::vector<float> old(kFade), fresh(kFade + kSearch + after);
  for (int i = 0; i < kFade; ++i) old[static_cast<size_t>(i)] = prev(before + i);
  for (size_t i = 0; i < fresh.size(); ++i)
    fresh[i] = next(before - kSearch / 2 + static_cast<int64_t>(i));
  s.match = bestSpliceOffset(old.data(), fresh.data(), 1, kFade, kSearch);
  std::vector<float> faded(kFade);
  spliceFade(old.data(), fresh.data() + s.match.offset, 1, kFade, s.match.correlation,
             faded.data());
  s.fadeAt = s.out.size();
  s.out.insert(s.out.end(), faded.begin(), faded.end());
  s.out.insert(s.out.end(), fresh.begin() + s.match.offset + kFade,
               fresh.begin() + s.match.offset + kFade + after);
  return s;
}

TEST(Splice, FindsWhereAShiftedCopyContinuesAndJoinsItSeamlessly) {
  // The new version runs 3.1 ms late (a sine's third of a period and
  // more): matched, the join is the signal itself.
  for (const Signal& x : {Signal([](int64_t f) { return 0.5f * sineAt(440, f); }),
                          Signal([](int64_t f) { return chordAt(196, f); })}) {
    const Signal late = [&](int64_t f) { return x(f - 137); };
    const Spliced s = splice(x, late);
    EXPECT_GT(s.match.correlation, 0.99);
    double worst = 0;
    for (size_t i = 0; i < s.fadeAt + kFade; ++i) {
      worst = std::max(worst, static_cast<double>(std::abs(s.out[i] - x(static_cast<int64_t>(i)))));
    }
    EXPECT_LT(worst, 0.01);
    // Within a period of where it was.
    EXPECT_LE(std::abs(s.match.offset - kSearch / 2 - 137), 44100 / 196.0);
  }
}

TEST(Splice, AJoinToAnotherPitchKeepsTheLevelAndMakesNoClick) {
  struct Change {
    const char* what;
    Signal from, to;
  };
  const double semitone = std::exp2(1.0 / 12), fifth = std::exp2(7.0 / 12);
  const std::vector<Change> changes = {
      {"sine +1", [](int64_t f) { return 0.5f * sineAt(1000, f); },
       [=](int64_t f) { return 0.5f * sineAt(1000 * semitone, f + 50); }},
      {"sine +12", [](int64_t f) { return 0.5f * sineAt(500, f); },
       [](int64_t f) { return 0.5f * sineAt(1000, f + 11); }},
      {"sine -7", [](int64_t f) { return 0.5f * sineAt(1000, f); },
       [=](int64_t f) { return 0.5f * sineAt(1000 / fifth, f + 7); }},
      {"chord +1", [](int64_t f) { return chordAt(220, f); },
       [=](int64_t f) { return chordAt(220 * semitone, f + 300); }},
      {"chord -12", [](int64_t f) { return chordAt(220, f); },
       [](int64_t f) { return chordAt(110, f + 123); }},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.what);
    const Spliced s = splice(c.from, c.to);
    const std::vector<float> out = quantised(s.out);
    EXPECT_GT(spliceDip(out, s.fadeAt, s.fadeAt + kFade), -1.0);
    const double level = rmsOf(out, 0, s.fadeAt);
    EXPECT_LT(20 * std::log10(rmsOf(out, s.fadeAt, s.fadeAt + kFade) / level), 1.0);
    EXPECT_LT(
        hfExcess(out, s.fadeAt, s.fadeAt + kFade, {{0, s.fadeAt}, {s.fadeAt + kFade, out.size()}}),
        3.0);
  }
}

TEST(Splice, SilenceOnEitherSideIsJoinedWithoutNumbersGoingWrong) {
  const Spliced s =
      splice([](int64_t) { return 0.0f; }, [](int64_t f) { return 0.5f * sineAt(300, f); });
  EXPECT_EQ(s.match.correlation, 0.0);
  EXPECT_EQ(s.match.offset, kSearch / 2);
  for (float v : s.out) ASSERT_TRUE(std::isfinite(v));
  EXPECT_NEAR(rmsOf(s.out, s.out.size() - 2205, s.out.size()), 0.5 / std::sqrt(2.0), 0.01);
}

}  // namespace
}  // namespace lentaro::audio::test
