// Practice loops by measurement on the manual output: the seam against the
// unlooped sound, places and passes, the speed trainer's steps in the
// rendered pass lengths, and the count-in's clicks in the output and in a
// recording.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <thread>

#include "engine_signals.h"

namespace lentaro::audio::test {
namespace {

constexpr int kRate = 44100;
constexpr int kFade = 220;  // the seam's crossfade: 5 ms

BOOL setLoop(HSTREAM ch, int64_t start, int64_t end) {
  return BASS_Lentaro_ChannelSetLoop(ch, static_cast<QWORD>(start) * 4,
                                     static_cast<QWORD>(end) * 4);
}

int64_t position(HSTREAM ch) {
  return static_cast<int64_t>(BASS_ChannelGetPosition(ch, BASS_POS_BYTE) / 4);
}

// Sound between silences on the left channel: where each stretch louder
// than `threshold` begins and ends, a burst being over after `gap` quiet
// frames.
struct Burst {
  size_t begin, end;
  int peak;
};
std::vector<Burst> bursts(const std::vector<int16_t>& s, int threshold, size_t gap) {
  const size_t n = s.size() / 2;
  std::vector<Burst> found;
  size_t quietSince = 0;
  bool in = false;
  for (size_t i = 0; i < n; ++i) {
    const int v = std::abs(s[2 * i]);
    if (v > threshold) {
      if (!in) found.push_back({i, i, 0});
      in = true;
      quietSince = i;
      found.back().end = i + 1;
      found.back().peak = std::max(found.back().peak, v);
    } else if (in && i - quietSince > gap) {
      in = false;
    }
  }
  return found;
}

// The loudest 5 ms of what lies above 2.5 kHz (a windowed-sinc high-pass):
// a sine far below it leaves only quantization, a step leaves a burst.
double loudestHighBand(const std::vector<int16_t>& s, size_t from, size_t to) {
  constexpr int kTaps = 101, kHalf = kTaps / 2;
  constexpr double kCut = 2500.0 / kRate;
  double h[kTaps];
  for (int i = 0; i < kTaps; ++i) {
    const int k = i - kHalf;
    const double lp =
        k == 0 ? 2 * kCut : std::sin(2 * std::numbers::pi * kCut * k) / (std::numbers::pi * k);
    const double w = 0.42 - 0.5 * std::cos(2 * std::numbers::pi * i / (kTaps - 1)) +
                     0.08 * std::cos(4 * std::numbers::pi * i / (kTaps - 1));
    h[i] = (k == 0 ? 1.0 : 0.0) - lp * w;
  }
  double loudest = 0, sum = 0;
  std::vector<double> sq;
  for (size_t i = from; i < to; ++i) {
    double y = 0;
    for (int j = 0; j < kTaps; ++j) y += h[j] * s[2 * (i + j - kHalf)];
    sq.push_back(y * y);
    sum += y * y;
    if (sq.size() > static_cast<size_t>(kFade)) sum -= sq[sq.size() - 1 - kFade];
    if (sq.size() >= static_cast<size_t>(kFade)) loudest = std::max(loudest, sum / kFade);
  }
  return std::sqrt(loudest);
}

using Loop = ManualEngine;

// Bypassed (tempo 0, pitch 0): every pass is the range's frames exactly,
// but for the 5 ms crossfade at its end, and the place and the pass count
// read back exactly. A range at the file's start has too little before it:
// its fade moves past the seam, onto the next pass's start.
TEST_F(Loop, BypassedPassesRepeatTheRangeExactlyButForTheCrossfade) {
  const int64_t len = 100000;
  for (int64_t start : {int64_t{30011}, int64_t{100}}) {
    const int64_t end = start + 3 * 256 + 5077;
    const int64_t before = std::min<int64_t>(kFade, start);  // of the fade, before the seam
    SCOPED_TRACE(start);
    const HSTREAM ch = tempoChannel(counter(len));
    ASSERT_TRUE(setLoop(ch, start, end));
    EXPECT_EQ(position(ch), start) << "outside the range: at its start";
    ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
    const int64_t range = end - start;
    std::vector<int16_t> out;
    for (int b = 0; b < 50; ++b) {
      const auto part = render(441);
      out.insert(out.end(), part.begin(), part.end());
      const auto played = static_cast<int64_t>(out.size() / 2);
      EXPECT_EQ(position(ch), start + played % range) << "after " << played;
      EXPECT_EQ(BASS_Lentaro_ChannelGetLoopPass(ch), static_cast<DWORD>(played / range));
    }
    for (size_t i = 0; i < out.size() / 2; ++i) {
      const int64_t k = static_cast<int64_t>(i) % range;
      if (k < range - before && (i < static_cast<size_t>(range) || k >= kFade - before)) {
        ASSERT_EQ(counterFrame(&out[2 * i]), start + k) << "output frame " << i;
      }
    }
    EXPECT_TRUE(BASS_StreamFree(ch));
  }
}

// The crossfade itself: a source whose left channel sounds only around the
// range's end and whose right only around its start shows the two weights
// directly. They keep the power (out^2 + in^2 = 1) and last 5 ms.
TEST_F(Loop, TheSeamIsAnEqualPowerCrossfadeOfFiveMilliseconds) {
  const int64_t start = 20000, end = 40000;
  const auto near = [](int64_t f, int64_t at) { return f >= at - 1000 && f < at + 1000; };
  const HSTREAM ch =
      tempoChannel(std::make_unique<SignalDecoder>(kRate, 2, 60000, [&](int64_t f, int c) {
        return (c == 0 ? near(f, end) : near(f, start)) ? 0.5f : 0.0f;
      }));
  ASSERT_TRUE(setLoop(ch, start, end));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const auto out = render(static_cast<int>(end - start) + 500);
  const auto seam = static_cast<size_t>(end - start);
  int fading = 0;
  double prevOut = 1;
  for (size_t i = seam - 600; i < out.size() / 2; ++i) {
    const double wOut = out[2 * i] / 16384.0, wIn = out[2 * i + 1] / 16384.0;
    if (i < seam - kFade || i >= seam) {
      ASSERT_EQ(wOut, i < seam ? 1.0 : 0.0) << "frame " << i;
      ASSERT_EQ(wIn, i < seam ? 0.0 : 1.0) << "frame " << i;
    }
    EXPECT_NEAR(wOut * wOut + wIn * wIn, 1.0, 0.005) << "frame " << i;
    EXPECT_LE(wOut, prevOut + 1e-4) << "fades out steadily, frame " << i;
    prevOut = wOut;
    if (wIn > 0.01 && wIn < 0.99) ++fading;
  }
  // Most of the 5 ms, the weights' slopes being gentle at either end.
  EXPECT_GT(fading, kFade / 2);
}

struct Shape {
  float tempo;
  float pitch;
};

class LoopSeam : public Loop, public ::testing::WithParamInterface<Shape> {
 protected:
  // Plays `seconds` from `start` at the shape, looping [start, end) or not
  // (the same steps either way: a new range takes play to its start as a
  // seek does); `places` gets the position after each 10 ms block.
  std::vector<int16_t> play(std::unique_ptr<Decoder> d, int64_t start, int64_t end, bool loop,
                            double seconds, std::vector<int64_t>* places = nullptr) {
    const HSTREAM ch = tempoChannel(std::move(d));
    EXPECT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, GetParam().tempo));
    EXPECT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, GetParam().pitch));
    if (loop) {
      EXPECT_TRUE(setLoop(ch, start, end));
    } else {
      EXPECT_TRUE(BASS_ChannelSetPosition(ch, static_cast<QWORD>(start) * 4, BASS_POS_BYTE));
    }
    EXPECT_TRUE(BASS_ChannelPlay(ch, FALSE));
    std::vector<int16_t> out;
    while (out.size() < static_cast<size_t>(2 * seconds * kRate)) {
      const auto part = render(kBlock);
      out.insert(out.end(), part.begin(), part.end());
      if (places) places->push_back(position(ch));
    }
    EXPECT_TRUE(BASS_StreamFree(ch));
    return out;
  }
  double speed() const { return 1 + GetParam().tempo / 100.0; }
  static constexpr int kBlock = 441;
};

// A 440 Hz sine looped where its phase jumps by half a period: a hard join
// would leave a burst of high frequencies (measured: 150-280 RMS in 5 ms
// above 2.5 kHz); the seam leaves no more than the stretcher's ordinary
// output of the unlooped sine, or -60 dB of the sine.
TEST_P(LoopSeam, ASineJoinsWithoutAHighFrequencyBurst) {
  const int64_t start = kRate, end = kRate + 54273;
  const double seconds = 4.5 * static_cast<double>(end - start) / kRate / speed();
  const auto looped = play(sine(kRate, 2, 8.0, 440), start, end, true, seconds);
  const auto plain = play(sine(kRate, 2, 8.0, 440), start, end, false, seconds);
  const size_t from = 4410, to = looped.size() / 2 - 100;
  const double seam = loudestHighBand(looped, from, to);
  const double ordinary = loudestHighBand(plain, from, to);
  std::printf("tempo %+g pitch %+g: loudest 5 ms above 2.5 kHz %.2f looped, %.2f unlooped\n",
              GetParam().tempo, GetParam().pitch, seam, ordinary);
  EXPECT_LE(seam, std::max(2 * ordinary, 16384 * 1e-3));
}

// Four beats of a click train (30 ms bursts every 0.25 s) from a click:
// looped, the stretcher is fed exactly what the unlooped train gives it,
// so the sound must be the unlooped sound sample for sample, every click
// once per pass in its place. The reported place stays in the range and
// within 20 ms of the click heard.
TEST_P(LoopSeam, AClickTrainLoopedOnItsBeatIsTheUnloopedSound) {
  const int64_t start = kRate, end = 2 * kRate, range = end - start;
  const double beat = 0.25 * kRate;
  const double seconds = 5.2 * static_cast<double>(range) / kRate / speed();
  std::vector<int64_t> places;
  const auto looped = play(clicks(kRate, 8.0, 0.25), start, end, true, seconds, &places);
  const auto plain = play(clicks(kRate, 8.0, 0.25), start, end, false, seconds);
  ASSERT_EQ(looped, plain);
  const auto found = bursts(looped, 1500, static_cast<size_t>(0.4 * beat / speed()));
  EXPECT_EQ(found.size(), static_cast<size_t>(std::ceil(5.2 * 4 - 0.1)));
  double worst = 0;
  for (const Burst& b : found) {
    const size_t block = b.begin / kBlock;
    if (block == 0) continue;
    // The place reported as it sounds, between the blocks either side.
    const auto before = static_cast<double>(places[block - 1]);
    auto next = static_cast<double>(places[block]);
    if (next < before) next += static_cast<double>(range);
    double place = before + (next - before) * static_cast<double>(b.begin % kBlock) / kBlock;
    if (place >= static_cast<double>(end)) place -= static_cast<double>(range);
    const double off = place - static_cast<double>(start);
    worst = std::max(worst, std::abs(off - std::round(off / beat) * beat) / kRate);
  }
  for (int64_t p : places) {
    ASSERT_GE(p, start);
    ASSERT_LT(p, end);
  }
  std::printf("tempo %+g pitch %+g: %zu clicks, place at worst %.1f ms off\n", GetParam().tempo,
              GetParam().pitch, found.size(), worst * 1e3);
  EXPECT_LE(worst, 0.020);
}

INSTANTIATE_TEST_SUITE_P(Shapes, LoopSeam,
                         ::testing::Values(Shape{-50, 0}, Shape{0, 0}, Shape{50, 0}, Shape{0, -5},
                                           Shape{0, 5}));

// Tempo and pitch moved by hand inside the loop, once just before a seam:
// the passes go on, no join clicks (no step between samples beyond what the
// sliders' splices allow a 500 Hz sine, as for slider drags) and the place
// stays in the range.
TEST_F(Loop, HandChangesInsideTheLoopKeepItsSeams) {
  const int64_t start = kRate, end = kRate + 30011;
  const HSTREAM ch = tempoChannel(sine(kRate, 2, 4.0, 500));
  ASSERT_TRUE(setLoop(ch, start, end));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  std::vector<int16_t> out;
  const auto play = [&](int frames) {
    const auto part = render(frames);
    out.insert(out.end(), part.begin(), part.end());
    const int64_t at = position(ch);
    EXPECT_TRUE(at >= start && at < end) << at;
  };
  const struct {
    DWORD attrib;
    float value;
  } changes[] = {{BASS_ATTRIB_TEMPO, -20}, {BASS_ATTRIB_TEMPO_PITCH, 2},
                 {BASS_ATTRIB_TEMPO, 15},  {BASS_ATTRIB_TEMPO_PITCH, -3},
                 {BASS_ATTRIB_TEMPO, 0},   {BASS_ATTRIB_TEMPO_PITCH, 0}};
  for (size_t i = 0; i < std::size(changes); ++i) {
    play(5000);
    // Every other one just before the seam.
    for (int n = 0; i % 2 == 0 && n < 2000 && position(ch) < end - 300; ++n) play(64);
    ASSERT_TRUE(BASS_ChannelSetAttribute(ch, changes[i].attrib, changes[i].value));
    play(3000);
  }
  play(static_cast<int>(2 * (end - start)));
  int worst = 0;
  for (size_t i = 1; i < out.size() / 2; ++i) {
    worst = std::max(worst, std::abs(out[2 * i] - out[2 * (i - 1)]));
  }
  EXPECT_LT(worst, 2600);
  EXPECT_GE(BASS_Lentaro_ChannelGetLoopPass(ch), 5u);
  std::printf("hand changes in a loop: largest step %d\n", worst);
}

// At tempo 0 every place is exact: a range away from the place heard
// takes play to its start at once; one around it plays on and wraps at its
// new end, also when what was made ahead had passed that end already. A
// seek outside the range goes to its start, one inside goes there, and
// 0/0 lets play run on past the old end.
TEST_F(Loop, ARangeSetWhilePlayingTakesEffectAtOnce) {
  const int64_t len = 200000;
  const HSTREAM ch = tempoChannel(counter(len));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  expectCounterRun(render(1000), 0, len);
  ASSERT_TRUE(setLoop(ch, 50000, 60000));
  EXPECT_EQ(position(ch), 50000);
  expectCounterRun(render(5000), 50000, len);
  for (const int64_t end : {int64_t{58000}, int64_t{55600}}) {
    SCOPED_TRACE(end);
    const int64_t at = position(ch);
    ASSERT_TRUE(setLoop(ch, 52000, end));
    EXPECT_EQ(BASS_Lentaro_ChannelGetLoopPass(ch), 0u);
    expectCounterRun(render(static_cast<int>(end - kFade - at)), at, len);
    render(kFade);
    expectCounterRun(render(3000), 52000, len);
    EXPECT_EQ(BASS_Lentaro_ChannelGetLoopPass(ch), 1u);
  }
  ASSERT_TRUE(BASS_ChannelSetPosition(ch, 10 * 4, BASS_POS_BYTE));
  EXPECT_EQ(position(ch), 52000);
  expectCounterRun(render(100), 52000, len);
  ASSERT_TRUE(BASS_ChannelSetPosition(ch, 53000 * 4, BASS_POS_BYTE));
  expectCounterRun(render(100), 53000, len);
  QWORD start = 0, end = 0;
  ASSERT_TRUE(BASS_Lentaro_ChannelGetLoop(ch, &start, &end));
  EXPECT_EQ(start, 52000u * 4);
  EXPECT_EQ(end, 55600u * 4);
  ASSERT_TRUE(setLoop(ch, 0, 0));
  ASSERT_TRUE(BASS_Lentaro_ChannelGetLoop(ch, &start, &end));
  EXPECT_EQ(start + end, 0u);
  expectCounterRun(render(4000), 53100, len);

  EXPECT_FALSE(setLoop(ch, 100, len + 1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
  EXPECT_FALSE(setLoop(ch, 5000, 5000 + 400));  // under 10 ms
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
  EXPECT_FALSE(setLoop(ch, 5000, 4000));
  EXPECT_FALSE(setLoop(createStreamFromDecoder(counter(1000)), 0, 500));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
  ASSERT_TRUE(BASS_StreamFree(ch));
  EXPECT_FALSE(setLoop(ch, 0, 500));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_EQ(BASS_Lentaro_ChannelGetLoopPass(ch), ~DWORD{0});
}

// The heard tempo, from how fast the reported place moves over `frames`.
double heardSpeed(HSTREAM ch, int64_t range, int frames) {
  const int64_t before = position(ch);
  render(frames);
  return static_cast<double>((position(ch) - before + range) % range) / frames;
}

// Renders until the pass count moves on.
void renderToNextPass(HSTREAM ch) {
  const DWORD pass = BASS_Lentaro_ChannelGetLoopPass(ch);
  for (int i = 0; i < 10000 && BASS_Lentaro_ChannelGetLoopPass(ch) == pass; ++i) render(64);
}

float tempoOf(HSTREAM ch) {
  float t = -1;
  EXPECT_TRUE(BASS_ChannelGetAttribute(ch, BASS_ATTRIB_TEMPO, &t));
  return t;
}

// A loop of four clicks from a click, the trainer going from 0 to 25 in
// steps of 10 every two passes. Each pass, from its first click to the
// next pass's, lasts the loop at the tempo of its step: the steps land on
// the seams, and the target is not passed. The tempo reported follows.
TEST_F(Loop, TheTrainerStepsAtTheSeams) {
  const HSTREAM ch = tempoChannel(clicks(kRate, 8.0, 0.25));
  ASSERT_TRUE(setLoop(ch, kRate, 2 * kRate));
  const BASS_LENTARO_TRAINER trainer{0, 10, 2, 25};
  ASSERT_TRUE(BASS_Lentaro_ChannelSetTrainer(ch, &trainer));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const float tempos[] = {0, 0, 10, 10, 20, 20, 25, 25, 25};
  double total = 0;
  for (float t : tempos) total += 1 / (1 + t / 100.0);
  std::vector<int16_t> out;
  std::vector<float> reported;
  while (out.size() < static_cast<size_t>(2 * (total + 0.1) * kRate)) {
    const auto part = render(441);
    out.insert(out.end(), part.begin(), part.end());
    reported.push_back(tempoOf(ch));
  }
  const auto found = bursts(out, 1500, static_cast<size_t>(0.08 * kRate));
  ASSERT_GE(found.size(), 4 * std::size(tempos) + 1);
  double worst = 0;
  size_t pass = 0;
  for (size_t p = 0; p < std::size(tempos); ++p) {
    const auto length = static_cast<double>(found[4 * p + 4].begin - found[4 * p].begin) / kRate;
    const double want = 1 / (1 + tempos[p] / 100.0);
    std::printf("pass %zu at %+.0f %%: %.4f s, want %.4f s\n", p, tempos[p], length, want);
    worst = std::max(worst, std::abs(length - want));
    // Reported from its first click on at the latest, and not a block
    // before the previous pass's last one.
    const size_t first = found[4 * p].begin / 441;
    EXPECT_EQ(reported[first], tempos[p]) << "pass " << p;
    if (p > 0) {
      EXPECT_EQ(reported[found[4 * p - 1].end / 441], tempos[p - 1]) << "pass " << p;
    }
    pass = p;
  }
  EXPECT_EQ(pass + 1, std::size(tempos));
  EXPECT_LT(worst, 0.012) << "seconds of pass length off";
  EXPECT_EQ(BASS_Lentaro_ChannelGetTempoChanges(ch), 4u) << "the start and three steps";
}

// Back-offs and hand tempos act at once: the place moves at the new speed.
// A back-off stops at the start tempo, the passes at the new tempo are
// counted afresh, and a hand tempo is the step the next one goes on from,
// up to the target.
TEST_F(Loop, BackOffAndHandTempoMoveTheTrainerAtOnce) {
  const int64_t range = 2 * kRate;
  const HSTREAM ch = tempoChannel(sine(kRate, 2, 4.0, 440));
  ASSERT_TRUE(setLoop(ch, kRate / 2, kRate / 2 + range));
  EXPECT_FALSE(BASS_Lentaro_ChannelTrainerBackOff(ch));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
  for (const BASS_LENTARO_TRAINER bad :
       {BASS_LENTARO_TRAINER{0, 0, 1, 50}, BASS_LENTARO_TRAINER{0, 10, 0, 50},
        BASS_LENTARO_TRAINER{20, 10, 1, 10}}) {
    EXPECT_FALSE(BASS_Lentaro_ChannelSetTrainer(ch, &bad));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
  }
  const BASS_LENTARO_TRAINER trainer{0, 25, 1, 50};
  ASSERT_TRUE(BASS_Lentaro_ChannelSetTrainer(ch, &trainer));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  renderToNextPass(ch);
  EXPECT_NEAR(heardSpeed(ch, range, 8820), 1.25, 0.03);
  ASSERT_TRUE(BASS_Lentaro_ChannelTrainerBackOff(ch));
  ASSERT_TRUE(BASS_Lentaro_ChannelTrainerBackOff(ch));  // at the start already
  EXPECT_EQ(tempoOf(ch), 0);
  EXPECT_NEAR(heardSpeed(ch, range, 8820), 1.0, 0.03);
  EXPECT_EQ(BASS_Lentaro_ChannelGetTempoChanges(ch), 3u);
  renderToNextPass(ch);
  EXPECT_EQ(tempoOf(ch), 25);
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, 40));
  EXPECT_NEAR(heardSpeed(ch, range, 8820), 1.4, 0.03);
  renderToNextPass(ch);
  EXPECT_EQ(tempoOf(ch), 50);
  renderToNextPass(ch);
  EXPECT_EQ(tempoOf(ch), 50);
  EXPECT_NEAR(heardSpeed(ch, range, 8820), 1.5, 0.03);
  EXPECT_EQ(BASS_Lentaro_ChannelGetTempoChanges(ch), 5u);
  ASSERT_TRUE(BASS_Lentaro_ChannelSetTrainer(ch, nullptr));
  EXPECT_EQ(tempoOf(ch), 50) << "off, the tempo stays";
}

struct CountCase {
  float tempo;
  float bpm;  // 0: four beats a loop
};

class CountIn : public Loop, public ::testing::WithParamInterface<CountCase> {};

// Three clicks a beat apart, the first louder, then the loop from its
// start one beat after the last click, the place held at the start
// meanwhile; again after every pass. The beat follows the tempo.
TEST_P(CountIn, ClicksOnTheBeatThenThePassFromTheLoopsStart) {
  const CountCase c = GetParam();
  const double speed = 1 + c.tempo / 100.0;
  const double beat = (c.bpm > 0 ? 60.0 / c.bpm : 0.25) / speed * kRate;
  const double pass = kRate / speed;
  // Music that starts with the loop and stops 50 ms before its end.
  const HSTREAM ch =
      tempoChannel(std::make_unique<SignalDecoder>(kRate, 2, 4 * kRate, [](int64_t f, int) {
        const double t = static_cast<double>(f % kRate) / kRate;
        return t < 0.95 ? 0.3f * static_cast<float>(std::sin(2 * std::numbers::pi * 500 * t)) : 0;
      }));
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, c.tempo));
  ASSERT_TRUE(setLoop(ch, kRate, 2 * kRate));
  const BASS_LENTARO_COUNTIN countIn{3, 4, c.bpm, FALSE};
  ASSERT_TRUE(BASS_Lentaro_ChannelSetCountIn(ch, &countIn));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  std::vector<int16_t> out;
  while (out.size() / 2 < static_cast<size_t>(2 * (3 * beat + pass) + 0.1 * kRate)) {
    const auto part = render(441);
    out.insert(out.end(), part.begin(), part.end());
    const double in = std::fmod(static_cast<double>(out.size() / 2), 3 * beat + pass);
    if (in > 0.02 * kRate && in < 3 * beat - 0.02 * kRate) {
      EXPECT_EQ(position(ch), kRate) << "in the count-in, " << out.size() / 2;
    }
  }
  // (The stretcher leaves a faint trace after the music's hard stop.)
  const auto found = bursts(out, 2000, 220);
  ASSERT_EQ(found.size(), 9u);
  // Bypassed, all is exact (but for the music's first samples being below
  // the threshold); stretched, the pass starts and ends where the
  // stretcher's place estimate says.
  const double slack = c.tempo == 0 ? 3 : 0.010 * kRate;
  for (int cycle = 0; cycle < 2; ++cycle) {
    const Burst* b = &found[4 * static_cast<size_t>(cycle)];
    const auto origin = static_cast<double>(b[0].begin);
    EXPECT_NEAR(origin, cycle * (3 * beat + pass), slack);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(static_cast<double>(b[k].begin), origin + k * beat, 1) << cycle << " " << k;
      EXPECT_LT(b[k].end - b[k].begin, 0.015 * kRate) << "a click, not music";
    }
    EXPECT_NEAR(static_cast<double>(b[0].peak) / b[1].peak, 0.6 / 0.35, 0.01) << "accented";
    EXPECT_EQ(b[1].peak, b[2].peak);
    EXPECT_NEAR(static_cast<double>(b[3].begin), origin + 3 * beat, slack) << cycle;
    EXPECT_NEAR(static_cast<double>(b[3].end), origin + 3 * beat + 0.95 * pass, slack + 44)
        << cycle;
  }
}

INSTANTIATE_TEST_SUITE_P(Beats, CountIn,
                         ::testing::Values(CountCase{0, 0}, CountCase{25, 0}, CountCase{-20, 150}));

// What an encoder on the channel gets: the music always, the count-in's
// clicks only when asked.
TEST_F(Loop, CountInClicksReachARecordingOnlyWhenAsked) {
  const std::string file = (std::filesystem::temp_directory_path() /
                            ("lentaro-countin-" + std::to_string(::getpid()) + ".wav"))
                               .string();
  const std::string cmd = "exec cat > '" + file + "'";
  const char* argv[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
  for (const BOOL record : {FALSE, TRUE}) {
    SCOPED_TRACE(record);
    const HSTREAM ch = tempoChannel(sine(kRate, 2, 3.0, 500, 0.3f));
    ASSERT_TRUE(setLoop(ch, kRate, kRate + kRate / 2));
    const BASS_LENTARO_COUNTIN countIn{2, 2, 0, record};
    ASSERT_TRUE(BASS_Lentaro_ChannelSetCountIn(ch, &countIn));
    const HENCODE enc = BASS_Encode_StartArgv(ch, argv, 0, nullptr, nullptr);
    ASSERT_NE(enc, 0u);
    ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
    const auto out = render(2 * kRate);
    ASSERT_TRUE(BASS_StreamFree(ch));
    EXPECT_FALSE(endedStatus(enc).failed);
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 44 + out.size() * 2);
    std::vector<int16_t> recorded(out.size());
    std::memcpy(recorded.data(), bytes.data() + 44, out.size() * 2);
    size_t clickFrames = 0;
    for (size_t i = 0; i < out.size(); ++i) {
      if (recorded[i] != out[i]) {
        ASSERT_EQ(recorded[i], 0) << "sample " << i << ": only clicks are left out";
        ++clickFrames;
      }
    }
    if (record) {
      EXPECT_EQ(clickFrames, 0u);
    } else {
      EXPECT_GT(clickFrames, 2 * 2 * 2 * 0.005 * kRate) << "two count-ins of two clicks";
    }
  }
  std::filesystem::remove(file);
}

// What a status bar polls, from another thread while the output renders,
// the passes go by and the trainer steps: only ever forward, and in range.
TEST_F(Loop, PassAndTempoQueriesFromAnotherThread) {
  const int64_t start = 1000, end = 1000 + kRate / 20;
  const HSTREAM ch = tempoChannel(sine(kRate, 2, 1.0, 440));
  ASSERT_TRUE(setLoop(ch, start, end));
  const BASS_LENTARO_TRAINER trainer{0, 5, 1, 100};
  ASSERT_TRUE(BASS_Lentaro_ChannelSetTrainer(ch, &trainer));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  std::atomic<bool> done{false};
  std::thread poller([&] {
    DWORD pass = 0, changes = 0;
    while (!done.load()) {
      const DWORD p = BASS_Lentaro_ChannelGetLoopPass(ch);
      const DWORD c = BASS_Lentaro_ChannelGetTempoChanges(ch);
      const int64_t at = position(ch);
      float t = -1;
      EXPECT_TRUE(BASS_ChannelGetAttribute(ch, BASS_ATTRIB_TEMPO, &t));
      EXPECT_GE(p, pass);
      EXPECT_GE(c, changes);
      EXPECT_TRUE(at >= start && at < end) << at;
      EXPECT_TRUE(t >= 0 && t <= 100) << t;
      pass = p;
      changes = c;
    }
  });
  for (int i = 0; i < 100; ++i) render(441);
  done.store(true);
  poller.join();
  EXPECT_GE(BASS_Lentaro_ChannelGetLoopPass(ch), 15u);
  EXPECT_GE(BASS_Lentaro_ChannelGetTempoChanges(ch), 15u);
}

}  // namespace
}  // namespace lentaro::audio::test
