// The C interface over generated signals on the manual output: handles and
// error codes, play state, exact positions, seeking and looping.
#include <gmock/gmock.h>

#include "engine_signals.h"
#include "mixer.h"

namespace lentaro::audio::test {
namespace {

using Channel = ManualEngine;

TEST(EngineLifecycle, CallsBeforeInitAndTwiceFail) {
  EXPECT_EQ(BASS_GetVersion() >> 16, 0x0204u);
  EXPECT_EQ(BASS_FX_GetVersion() >> 16, 0x0204u);
  EXPECT_EQ(createStreamFromDecoder(counter(100)), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_FALSE(BASS_Free());
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_FALSE(BASS_Init(0, 44100, BASS_DEVICE_MANUAL, nullptr, reinterpret_cast<void*>(1)));
  EXPECT_FALSE(BASS_Init(7, 44100, 0, nullptr, nullptr));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);

  ASSERT_TRUE(BASS_Init(0, 44100, BASS_DEVICE_MANUAL, nullptr, nullptr));
  EXPECT_FALSE(BASS_Init(0, 44100, BASS_DEVICE_MANUAL, nullptr, nullptr));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  int16_t frame[2];
  EXPECT_EQ(BASS_Lentaro_RenderOutput(frame, 1), 1);
  EXPECT_TRUE(BASS_Free());

  // The no-sound device renders on its own thread: manual pulls are refused.
  ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
  EXPECT_EQ(BASS_Lentaro_RenderOutput(frame, 1), -1);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
  EXPECT_TRUE(BASS_Free());
}

TEST_F(Channel, DeadHandlesAreHarmlessAndNeverReused) {
  const HSTREAM ch = tempoChannel(counter(1000));
  ASSERT_TRUE(BASS_StreamFree(ch));
  const HSTREAM again = tempoChannel(counter(1000));
  EXPECT_GT(again, ch);

  for (DWORD dead : {DWORD{0}, ch, DWORD{0xfffffff0u}}) {
    SCOPED_TRACE(dead);
    float v = 0;
    EXPECT_FALSE(BASS_StreamFree(dead));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_MusicFree(dead));
    EXPECT_FALSE(BASS_ChannelPlay(dead, TRUE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_ChannelPause(dead));
    EXPECT_FALSE(BASS_ChannelStop(dead));
    EXPECT_EQ(BASS_ChannelIsActive(dead), DWORD{BASS_ACTIVE_STOPPED});
    EXPECT_FALSE(BASS_ChannelSetAttribute(dead, BASS_ATTRIB_VOL, 0.5f));
    EXPECT_FALSE(BASS_ChannelGetAttribute(dead, BASS_ATTRIB_VOL, &v));
    EXPECT_EQ(BASS_ChannelGetPosition(dead, BASS_POS_BYTE), ~QWORD{0});
    EXPECT_EQ(BASS_ChannelGetLength(dead, BASS_POS_BYTE), ~QWORD{0});
    EXPECT_FALSE(BASS_ChannelSetPosition(dead, 0, BASS_POS_BYTE));
    EXPECT_LT(BASS_ChannelBytes2Seconds(dead, 100), 0);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(dead, 1.0), ~QWORD{0});
    EXPECT_EQ(BASS_FX_TempoCreate(dead, 0), 0u);
    EXPECT_EQ(BASS_Encode_Start(dead, "lame - out.mp3", 0, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  }
  EXPECT_TRUE(BASS_StreamFree(again));
}

TEST_F(Channel, FreeingTheTempoChannelFreesAnOwnedSourceOnly) {
  const HSTREAM owned = createStreamFromDecoder(counter(1000));
  const HSTREAM ch = BASS_FX_TempoCreate(owned, BASS_FX_FREESOURCE);
  ASSERT_NE(ch, 0u);
  // One decoder, one consumer: a second wrap is refused.
  EXPECT_EQ(BASS_FX_TempoCreate(owned, 0), 0u);
  EXPECT_EQ(BASS_FX_TempoCreate(ch, 0), 0u);
  EXPECT_TRUE(BASS_StreamFree(ch));
  EXPECT_FALSE(BASS_StreamFree(owned));

  const HSTREAM kept = createStreamFromDecoder(counter(1000));
  const HSTREAM ch2 = BASS_FX_TempoCreate(kept, 0);
  EXPECT_TRUE(BASS_StreamFree(ch2));
  EXPECT_TRUE(BASS_StreamFree(kept));
}

TEST_F(Channel, AttributesClampAndRefuseNonFinite) {
  const HSTREAM ch = tempoChannel(counter(1000));
  float v = -1;
  for (DWORD a : {BASS_ATTRIB_VOL, BASS_ATTRIB_TEMPO, BASS_ATTRIB_TEMPO_PITCH}) {
    ASSERT_TRUE(BASS_ChannelGetAttribute(ch, a, &v));
    EXPECT_EQ(v, a == BASS_ATTRIB_VOL ? 1.0f : 0.0f) << "a new channel starts neutral";
    EXPECT_FALSE(BASS_ChannelSetAttribute(ch, a, std::nanf("")));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_FALSE(BASS_ChannelSetAttribute(ch, a, INFINITY));
    EXPECT_FALSE(BASS_ChannelSetAttribute(ch, a, -INFINITY));
    ASSERT_TRUE(BASS_ChannelGetAttribute(ch, a, &v));
    EXPECT_EQ(v, a == BASS_ATTRIB_VOL ? 1.0f : 0.0f) << "a refused value changes nothing";
  }
  const struct {
    DWORD attrib;
    float set, want;
  } cases[] = {
      {BASS_ATTRIB_VOL, 1.5f, 1.0f},
      {BASS_ATTRIB_VOL, -0.2f, 0.0f},
      {BASS_ATTRIB_VOL, 0.25f, 0.25f},
      {BASS_ATTRIB_TEMPO, -200.0f, -95.0f},
      {BASS_ATTRIB_TEMPO, 200.0f, 200.0f},
      {BASS_ATTRIB_TEMPO, 1e9f, 5000.0f},
      {BASS_ATTRIB_TEMPO_PITCH, 61.0f, 60.0f},
      {BASS_ATTRIB_TEMPO_PITCH, -99.0f, -60.0f},
      {BASS_ATTRIB_TEMPO_PITCH, -30.0f, -30.0f},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(BASS_ChannelSetAttribute(ch, c.attrib, c.set));
    ASSERT_TRUE(BASS_ChannelGetAttribute(ch, c.attrib, &v));
    EXPECT_EQ(v, c.want) << c.attrib << " set to " << c.set;
  }
  EXPECT_FALSE(BASS_ChannelSetAttribute(ch, 12345, 1.0f));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
  EXPECT_FALSE(BASS_ChannelGetAttribute(ch, BASS_ATTRIB_VOL, nullptr));
}

TEST_F(Channel, PlayPauseStopStatesAndContinuation) {
  const HSTREAM ch = tempoChannel(counter(100000), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_STOPPED});
  render(300);  // a stopped channel is silent and does not move
  EXPECT_EQ(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), 0u);

  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_PLAYING});
  expectCounterRun(render(1000), 0, 100000);
  EXPECT_EQ(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), 4000u);

  ASSERT_TRUE(BASS_ChannelPause(ch));
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_PAUSED});
  const auto silent = render(500);
  EXPECT_EQ(std::count(silent.begin(), silent.end(), 0), 1000);
  EXPECT_EQ(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), 4000u) << "pause keeps the position";

  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  expectCounterRun(render(700), 1000, 100000);

  ASSERT_TRUE(BASS_ChannelStop(ch));
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_STOPPED});
  render(100);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE)) << "a stopped channel can be played again";
  expectCounterRun(render(100), 1700, 100000);

  ASSERT_TRUE(BASS_ChannelPlay(ch, TRUE));
  expectCounterRun(render(100), 0, 100000);

  // A decoding channel is not playable.
  const HSTREAM src = createStreamFromDecoder(counter(10));
  EXPECT_FALSE(BASS_ChannelPlay(src, FALSE));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
}

TEST_F(Channel, LoopSeamIsSampleContinuous) {
  // A length that is no multiple of any internal block.
  const int64_t len = 3 * 256 + 77;
  const HSTREAM ch = tempoChannel(counter(len), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  expectCounterRun(render(5 * static_cast<int>(len) + 13), 0, len);
  EXPECT_EQ(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), 13u * 4);
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_PLAYING});
}

TEST_F(Channel, WithoutLoopTheChannelEndsAndPlayStartsOver) {
  const HSTREAM ch = tempoChannel(counter(1000));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const auto out = render(1500);
  expectCounterRun(std::vector<int16_t>(out.begin(), out.begin() + 2000), 0, 1000);
  EXPECT_EQ(std::count(out.begin() + 2000, out.end(), 0), 1000) << "silence after the end";
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_STOPPED});
  EXPECT_EQ(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), 4000u);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  expectCounterRun(render(10), 0, 1000);
}

// The end of a non-looping stream heard before a seek never counts after
// it: the channel plays on from the new place, and once stopped at the
// end, a seek makes the next play go on from there instead of from 0.
TEST_F(Channel, ASeekWhileTheLastChunkPlaysIsNotUndoneByTheEnd) {
  const int64_t len = 20000;
  const HSTREAM ch = tempoChannel(counter(len));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  expectCounterRun(render(static_cast<int>(len) - 10), 0, len);
  ASSERT_TRUE(BASS_ChannelSetPosition(ch, 10000 * 4, BASS_POS_BYTE));
  expectCounterRun(render(3000), 10000, len);
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_PLAYING});
  EXPECT_EQ(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), 13000u * 4);

  render(8000);  // to the end and past it
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_STOPPED});
  ASSERT_TRUE(BASS_ChannelSetPosition(ch, 5000 * 4, BASS_POS_BYTE));
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_STOPPED}) << "a seek does not start play";
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  expectCounterRun(render(1000), 5000, len);
  EXPECT_EQ(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), 6000u * 4);
}

TEST_F(Channel, SeeksAreSampleExactAndDropBufferedSound) {
  const int64_t len = 200000;
  const HSTREAM ch = tempoChannel(counter(len), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  render(2000);
  for (int64_t target : {int64_t{12345}, int64_t{0}, len - 10, int64_t{99999}, int64_t{5}}) {
    ASSERT_TRUE(BASS_ChannelSetPosition(ch, static_cast<QWORD>(target) * 4, BASS_POS_BYTE));
    EXPECT_EQ(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), static_cast<QWORD>(target) * 4)
        << "the new place reads back at once";
    expectCounterRun(render(600), target, len);
  }
  // Several seeks while paused: only the last place is heard.
  ASSERT_TRUE(BASS_ChannelPause(ch));
  for (int i = 1; i <= 8; ++i) {
    ASSERT_TRUE(BASS_ChannelSetPosition(ch, static_cast<QWORD>(i) * 10000 * 4, BASS_POS_BYTE));
  }
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  expectCounterRun(render(3000), 80000, len);

  // A position inside a frame goes to that frame's start; past the end fails.
  ASSERT_TRUE(BASS_ChannelSetPosition(ch, 4 * 777 + 3, BASS_POS_BYTE));
  expectCounterRun(render(10), 777, len);
  EXPECT_FALSE(BASS_ChannelSetPosition(ch, static_cast<QWORD>(len + 1) * 4, BASS_POS_BYTE));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
  EXPECT_FALSE(BASS_ChannelSetPosition(ch, 0, 1));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
}

TEST_F(Channel, ByteCountsFollowTheSourceFormat) {
  // 16-bit samples, the source's own channel count and rate.
  const HSTREAM mono = tempoChannel(sine(22050, 1, 2.0, 440));
  EXPECT_EQ(BASS_ChannelGetLength(mono, BASS_POS_BYTE), 2u * 44100);
  EXPECT_DOUBLE_EQ(BASS_ChannelBytes2Seconds(mono, 2 * 22050), 1.0);
  EXPECT_EQ(BASS_ChannelSeconds2Bytes(mono, 1.5), 2u * 33075);
  const HSTREAM stereo = tempoChannel(counter(44100 * 3));
  EXPECT_EQ(BASS_ChannelGetLength(stereo, BASS_POS_BYTE), 4u * 44100 * 3);
  for (QWORD frames : {QWORD{0}, QWORD{1}, QWORD{44099}, QWORD{123457}}) {
    const double secs = BASS_ChannelBytes2Seconds(stereo, frames * 4);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(stereo, secs), frames * 4) << "round trip of " << frames;
  }
  EXPECT_EQ(BASS_ChannelSeconds2Bytes(stereo, -1.0), ~QWORD{0});
  EXPECT_EQ(BASS_ChannelSeconds2Bytes(stereo, std::nan("")), ~QWORD{0});
  // The length does not change with tempo.
  ASSERT_TRUE(BASS_ChannelSetAttribute(stereo, BASS_ATTRIB_TEMPO, 100));
  EXPECT_EQ(BASS_ChannelGetLength(stereo, BASS_POS_BYTE), 4u * 44100 * 3);
}

TEST_F(Channel, VolumeScalesAndRampsWithoutSteps) {
  const HSTREAM ch = tempoChannel(sine(44100, 2, 3.0, 441, 0.8f), BASS_FX_FREESOURCE);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const auto full = render(44100);
  ASSERT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, 0.5f));
  const auto half = render(44100);
  const double ratio = rms(half, 4410, 44100) / rms(full, 0, 44100);
  EXPECT_NEAR(ratio, 0.5, 0.002);
  // The change is complete within a few milliseconds and never jumps: the
  // gain moves by less than 1 % of full scale per frame.
  EXPECT_NEAR(rms(half, 441, 4410) / rms(full, 0, 44100), 0.5, 0.01);
  for (size_t i = 0; i < 441; ++i) {
    const double expected =
        0.8 * 32768 * std::sin(2 * std::numbers::pi * 441 * (44100.0 + i) / 44100);
    const double gain = std::abs(expected) > 2000 ? half[2 * i] / expected : -1;
    if (gain >= 0) {
      EXPECT_LE(gain, 1.0 + 1e-3);
      EXPECT_GE(gain, 0.5 - 1e-3);
    }
  }
  // A volume set before the first play is there from the first frame.
  const HSTREAM quiet = tempoChannel(sine(44100, 2, 1.0, 441, 0.8f));
  ASSERT_TRUE(BASS_StreamFree(ch));
  ASSERT_TRUE(BASS_ChannelSetAttribute(quiet, BASS_ATTRIB_VOL, 0.0f));
  ASSERT_TRUE(BASS_ChannelPlay(quiet, FALSE));
  const auto silent = render(2000);
  EXPECT_EQ(std::count(silent.begin(), silent.end(), 0), 4000);
}

TEST_F(Channel, MonoPlaysOnBothSidesAndChannelsMix) {
  const HSTREAM a = tempoChannel(sine(44100, 1, 1.0, 441, 0.25f));
  const HSTREAM b = tempoChannel(sine(44100, 1, 1.0, 441, 0.25f));
  ASSERT_TRUE(BASS_ChannelPlay(a, FALSE));
  const auto one = render(4410);
  for (size_t i = 0; i < one.size(); i += 2) ASSERT_EQ(one[i], one[i + 1]);
  ASSERT_TRUE(BASS_ChannelPlay(a, TRUE));
  ASSERT_TRUE(BASS_ChannelPlay(b, FALSE));
  const auto two = render(4410);
  EXPECT_NEAR(rms(two, 0, 4410) / rms(one, 0, 4410), 2.0, 0.01);
}

// The mixer has a fixed number of slots: one channel more is refused with
// BASS_ERROR_MEM, leaves its source as it was, and fits once another
// channel is freed.
TEST_F(Channel, RunningOutOfMixerSlotsIsRefusedAndRecovers) {
  std::vector<HSTREAM> channels;
  for (int i = 0; i < Mixer::kSlots; ++i) {
    channels.push_back(tempoChannel(counter(1000)));
    ASSERT_NE(channels.back(), 0u) << "channel " << i;
  }
  ASSERT_TRUE(BASS_ChannelPlay(channels.back(), FALSE));
  const HSTREAM src = createStreamFromDecoder(counter(5000));
  EXPECT_EQ(BASS_FX_TempoCreate(src, BASS_FX_FREESOURCE), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_MEM);
  EXPECT_EQ(BASS_ChannelGetLength(src, BASS_POS_BYTE), 5000u * 4) << "the source is still there";
  expectCounterRun(render(500), 0, 1000);  // the others play on

  ASSERT_TRUE(BASS_StreamFree(channels[100]));
  ASSERT_TRUE(BASS_StreamFree(channels.back()));
  const HSTREAM ch = BASS_FX_TempoCreate(src, BASS_FX_FREESOURCE);
  ASSERT_NE(ch, 0u) << BASS_ErrorGetCode();
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  expectCounterRun(render(3000), 0, 5000);
  EXPECT_EQ(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), 3000u * 4);
  EXPECT_NE(BASS_FX_TempoCreate(createStreamFromDecoder(counter(10)), 0), 0u) << "the freed slot";
  EXPECT_EQ(BASS_FX_TempoCreate(createStreamFromDecoder(counter(10)), 0), 0u) << "full again";
}

}  // namespace
}  // namespace lentaro::audio::test
