// The tempo/pitch stage by measurement: frequencies, durations, levels and
// positions of generated signals after tempo, pitch and rate conversion,
// with either stretcher.
#include <cmath>

#include "engine_signals.h"

namespace lentaro::audio::test {
namespace {

using Dsp = ManualEngine;

// Renders a non-looping channel to its end (bounded by maxSeconds).
std::vector<int16_t> renderToEnd(HSTREAM ch, double maxSeconds) {
  std::vector<int16_t> all;
  const int block = 4410;
  for (int i = 0; i < maxSeconds * 10 && BASS_ChannelIsActive(ch) != BASS_ACTIVE_STOPPED; ++i) {
    const auto part = render(block);
    all.insert(all.end(), part.begin(), part.end());
  }
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_STOPPED}) << "the channel ended";
  return all;
}

// Each shape is measured with both stretchers.
struct Shape {
  float tempo;
  float pitch;
  DWORD stretcher = BASS_LENTARO_STRETCHER_HIGH;
};

template <class T>
std::vector<T> withBothStretchers(std::vector<T> high) {
  const size_t n = high.size();
  for (size_t i = 0; i < n; ++i) {
    high.push_back(high[i]);
    high.back().stretcher = BASS_LENTARO_STRETCHER_FAST;
  }
  return high;
}

class TempoPitch : public Dsp, public ::testing::WithParamInterface<Shape> {};

TEST_P(TempoPitch, FrequencyFollowsPitchAndDurationFollowsTempo) {
  const Shape s = GetParam();
  const double seconds = 2.0, hz = 1000.0;
  const HSTREAM ch = tempoChannel(sine(44100, 2, seconds, hz));
  ASSERT_TRUE(
      BASS_ChannelSetAttribute(ch, BASS_ATTRIB_LENTARO_STRETCHER, static_cast<float>(s.stretcher)));
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, s.tempo));
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, s.pitch));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const auto out = renderToEnd(ch, seconds / (1 + s.tempo / 100.0) + 2);
  const double wantSeconds = seconds / (1 + s.tempo / 100.0);
  const double gotSeconds = static_cast<double>(soundingLength(out)) / 44100;
  // SoundTouch rounds its sequences: within 1.5 % (36 ms of 4 s at -50 %).
  EXPECT_NEAR(gotSeconds, wantSeconds, std::max(0.03, 0.015 * wantSeconds));
  const double wantHz = hz * std::pow(2.0, s.pitch / 12.0);
  const auto mid = static_cast<size_t>(wantSeconds * 44100 / 2);
  EXPECT_NEAR(frequency(out, mid - 8820, mid + 8820), wantHz, wantHz * 0.005);
  // The stretched sine keeps its level (no doubling, no loss).
  EXPECT_NEAR(rms(out, mid - 8820, mid + 8820) / (0.5 * 32768 / std::sqrt(2.0)), 1.0, 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, TempoPitch,
    ::testing::ValuesIn(withBothStretchers<Shape>(
        {{-50, 0}, {100, 0}, {0, 12}, {0, -12}, {-50, 5}, {200, -7}, {-75, 0}})));

struct Format {
  int rate;
  int channels;
  DWORD stretcher = BASS_LENTARO_STRETCHER_HIGH;
};

class AnyRate : public Dsp, public ::testing::WithParamInterface<Format> {};

TEST_P(AnyRate, PlaysAtTheRightSpeedAndPitch) {
  const Format f = GetParam();
  const HSTREAM ch = tempoChannel(sine(f.rate, f.channels, 1.0, 1000.0));
  ASSERT_TRUE(
      BASS_ChannelSetAttribute(ch, BASS_ATTRIB_LENTARO_STRETCHER, static_cast<float>(f.stretcher)));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const auto out = renderToEnd(ch, 5);
  EXPECT_NEAR(static_cast<double>(soundingLength(out)) / 44100, 1.0, 0.03);
  EXPECT_NEAR(frequency(out, 8820, 35280), 1000.0, 5.0);
  for (size_t i = 4410; i < 8820; ++i) ASSERT_EQ(out[2 * i], out[2 * i + 1]);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, AnyRate,
    ::testing::ValuesIn(withBothStretchers<Format>(
        {{8000, 1}, {11025, 2}, {16000, 1}, {22050, 2}, {32000, 1}, {44100, 1}, {48000, 2}})));

TEST_F(Dsp, ChangesWhilePausedAreHeardOnContinue) {
  const HSTREAM ch = tempoChannel(sine(44100, 2, 20.0, 500.0), BASS_FX_FREESOURCE);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  render(22050);
  ASSERT_TRUE(BASS_ChannelPause(ch));
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, 12));
  EXPECT_NE(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_STOPPED});
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const auto out = render(44100);
  EXPECT_NEAR(frequency(out, 4410, 44100), 1000.0, 5.0);
}

// How many output frames pass from a pitch change to the new pitch, before
// any device buffer: what the engine itself adds to the control latency.
TEST_F(Dsp, PitchAndTempoChangesReachTheOutputQuickly) {
  const HSTREAM ch = tempoChannel(sine(44100, 2, 20.0, 500.0), BASS_FX_FREESOURCE);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, -20));
  render(44100);
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, 12));
  const auto out = render(22050);
  size_t changed = out.size();
  for (size_t at = 0; at + 882 < out.size() / 2; at += 441) {
    if (std::abs(frequency(out, at, at + 882) - 1000.0) < 20) {
      changed = at;
      break;
    }
  }
  EXPECT_LE(static_cast<double>(changed) / 44100, 0.07) << "seconds until the new pitch";
}

// A slider drag: many small changes in a row. Each one restarts the
// stretch at the place heard; the splices must not click.
TEST_F(Dsp, SliderDragsSpliceWithoutClicks) {
  const HSTREAM ch = tempoChannel(sine(44100, 2, 30.0, 500.0), BASS_FX_FREESOURCE);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, -10));
  std::vector<int16_t> out = render(8820);
  for (int step = 1; step <= 40; ++step) {
    ASSERT_TRUE(BASS_ChannelSetAttribute(ch, step % 2 ? BASS_ATTRIB_TEMPO_PITCH : BASS_ATTRIB_TEMPO,
                                         step % 2 ? static_cast<float>(step) / 8 : -10.0f + step));
    const auto part = render(441 + 37 * (step % 5));
    out.insert(out.end(), part.begin(), part.end());
  }
  // The steepest a 0.5 sine of at most 750 Hz gets is about 1750 per
  // sample; a splice without a fade jumps by up to the full amplitude.
  int worst = 0;
  for (size_t i = 1; i < out.size() / 2; ++i) {
    worst = std::max(worst, std::abs(out[2 * i] - out[2 * (i - 1)]));
  }
  EXPECT_LT(worst, 2600);
  // And the sound keeps going at the level it had.
  EXPECT_NEAR(rms(out, out.size() / 2 - 4410, out.size() / 2) / rms(out, 0, 8820), 1.0, 0.1);
}

// Reported position against the place actually heard, tracked through a
// click train: a click that leaves the output at frame o came from source
// frame k * period; the position reported at o must name it.
class PositionTracking : public Dsp, public ::testing::WithParamInterface<Shape> {};

TEST_P(PositionTracking, ReportedPositionIsTheAudiblePlace) {
  const Shape s = GetParam();
  const int rate = 44100;
  const double period = 0.25;
  const HSTREAM ch = tempoChannel(clicks(rate, 8.0, period), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
  ASSERT_TRUE(
      BASS_ChannelSetAttribute(ch, BASS_ATTRIB_LENTARO_STRETCHER, static_cast<float>(s.stretcher)));
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, s.tempo));
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, s.pitch));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const double speed = 1 + s.tempo / 100.0;
  const int block = 441;
  std::vector<int16_t> out;
  std::vector<double> posAfter;                              // source frame after each block
  const int blocks = static_cast<int>(10.0 / speed / 0.01);  // past one loop
  for (int b = 0; b < blocks; ++b) {
    const auto part = render(block);
    out.insert(out.end(), part.begin(), part.end());
    posAfter.push_back(static_cast<double>(BASS_ChannelGetPosition(ch, BASS_POS_BYTE) / 4));
  }
  const auto every = static_cast<int64_t>(period * rate);
  const auto quietNeeded = static_cast<size_t>(0.4 * period / speed * 44100);
  size_t quiet = quietNeeded;
  int found = 0;
  double worst = 0;
  for (size_t i = 0; i < out.size() / 2; ++i) {
    if (std::abs(out[2 * i]) < 1500) {
      ++quiet;
      continue;
    }
    if (quiet >= quietNeeded && i >= static_cast<size_t>(block)) {
      const size_t b = i / block;
      const double before = b == 0 ? 0 : posAfter[b - 1];
      double after = posAfter[b];
      if (after < before) after += 8.0 * rate;  // wrapped in this block
      double p = before + (after - before) * static_cast<double>(i - b * block) / block;
      const double k = std::round(p / static_cast<double>(every));
      const double err = (p - k * static_cast<double>(every)) / rate;
      worst = std::max(worst, std::abs(err));
      ++found;
    }
    quiet = 0;
  }
  EXPECT_GE(found, static_cast<int>(9.0 / period));
  EXPECT_LE(worst, 0.020) << "seconds of position error";
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, PositionTracking,
    ::testing::ValuesIn(withBothStretchers<Shape>(
        {{-50, 0}, {0, 0}, {100, 0}, {0, 12}, {0, -12}, {-30, 7}, {-75, 0}, {50, 0}, {0, 1}})));

}  // namespace
}  // namespace lentaro::audio::test
