// Every setting the attributes take, with either stretcher and at source
// rates far from the output's: Rubber Band's real-time buffers overrun at
// extreme ratios (and, transposing down, at shortenings well within
// them), so "High" hands those to "Fast". Each case plays, changes
// across that border while playing (a splice from one stretcher to the
// other) and must keep making sound at the pitch asked for.
#include <cmath>

#include "engine_signals.h"

namespace lentaro::audio::test {
namespace {

struct Extreme {
  int rate;
  float tempo;
  float pitch;
};

class StretcherRange : public ManualEngine,
                       public ::testing::WithParamInterface<std::tuple<DWORD, Extreme>> {};

TEST_P(StretcherRange, PlaysAtTheEdgesAndAcrossTheHandOver) {
  const auto [kind, e] = GetParam();
  const double hz = 440.0;
  const HSTREAM ch = tempoChannel(sine(e.rate, 2, 30.0, hz), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
  ASSERT_TRUE(
      BASS_ChannelSetAttribute(ch, BASS_ATTRIB_LENTARO_STRETCHER, static_cast<float>(kind)));
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, e.tempo));
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, e.pitch));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const auto extreme = render(22050);
  // The pitch heard, where it is still a tone the output rate can carry.
  const double want = hz * std::exp2(e.pitch / 12.0);
  if (want > 50 && want < 8000) {
    EXPECT_NEAR(frequency(extreme, 8820, 22050) / want, 1.0, 0.03);
  }
  EXPECT_GT(rms(extreme, 8820, 22050), 1000.0) << "silent at the extreme";

  // From the extreme to an ordinary setting and back, while playing.
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, -20));
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, 3));
  const auto ordinary = render(22050);
  EXPECT_NEAR(frequency(ordinary, 8820, 22050) / (hz * std::exp2(3 / 12.0)), 1.0, 0.01);
  EXPECT_NEAR(rms(ordinary, 8820, 22050) / (0.5 * 32768 / std::sqrt(2.0)), 1.0, 0.15);
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, e.tempo));
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, e.pitch));
  render(22050);
  EXPECT_EQ(BASS_ChannelIsActive(ch), static_cast<DWORD>(BASS_ACTIVE_PLAYING));
  EXPECT_TRUE(BASS_StreamFree(ch));
}

INSTANTIATE_TEST_SUITE_P(
    Edges, StretcherRange,
    ::testing::Combine(
        ::testing::Values(DWORD{BASS_LENTARO_STRETCHER_HIGH}, DWORD{BASS_LENTARO_STRETCHER_FAST}),
        ::testing::Values(Extreme{44100, -95, 0}, Extreme{44100, 5000, 0}, Extreme{44100, 0, -60},
                          Extreme{44100, 0, 60}, Extreme{8000, -95, 24}, Extreme{96000, 700, -24},
                          Extreme{8000, 5000, -60}, Extreme{96000, -95, 36},
                          Extreme{44100, -87.5f, 0}, Extreme{44100, 700, 0},
                          // Down and shorter: Rubber Band read out of bounds.
                          Extreme{48000, 198.5f, -20.4f}, Extreme{44100, 200, -24},
                          Extreme{22050, 200, -12})));

}  // namespace
}  // namespace lentaro::audio::test
