// Generated-signal decoders and small measuring helpers for the engine's
// tests: every sample is known, so results can be checked exactly.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <numbers>
#include <thread>
#include <vector>

#include "decoder.h"
#include "engine_internal.h"
#include "lentaro/bass.h"

namespace lentaro::audio::test {

// Any signal given as a function of (frame, channel).
class SignalDecoder : public Decoder {
 public:
  using Fn = std::function<float(int64_t frame, int channel)>;
  SignalDecoder(int rate, int channels, int64_t frames, Fn fn)
      : format_{rate, channels}, frames_(frames), fn_(std::move(fn)) {}

  StreamFormat format() const override { return format_; }
  int64_t lengthFrames() const override { return frames_; }
  long read(float* out, long maxFrames) override {
    long n = 0;
    for (; n < maxFrames && pos_ < frames_; ++n, ++pos_) {
      for (int c = 0; c < format_.channels; ++c) *out++ = fn_(pos_, c);
    }
    return n;
  }
  bool seek(int64_t frame) override {
    if (frame < 0 || frame > frames_) return false;
    pos_ = frame;
    return true;
  }

 private:
  StreamFormat format_;
  int64_t frames_;
  Fn fn_;
  int64_t pos_ = 0;
};

// Left carries the low 15 bits of (frame + 1), right the next 15 bits, as
// exact 16-bit values: the output names the source frame it came from.
inline float counterSample(int64_t frame, int channel) {
  const int64_t v = frame + 1;
  const int64_t bits = channel == 0 ? (v & 0x7fff) : ((v >> 15) & 0x7fff);
  return static_cast<float>(bits) / 32768.0f;
}

inline int64_t counterFrame(const int16_t* stereoFrame) {
  return ((static_cast<int64_t>(stereoFrame[1]) << 15) | stereoFrame[0]) - 1;
}

inline std::unique_ptr<Decoder> counter(int64_t frames) {
  return std::make_unique<SignalDecoder>(44100, 2, frames, counterSample);
}

inline std::unique_ptr<Decoder> sine(int rate, int channels, double seconds, double hz,
                                     float amp = 0.5f) {
  const auto frames = static_cast<int64_t>(seconds * rate);
  return std::make_unique<SignalDecoder>(rate, channels, frames, [=](int64_t f, int) {
    return amp * static_cast<float>(std::sin(2 * std::numbers::pi * hz * f / rate));
  });
}

// A 30 ms burst of 1 kHz every `period` seconds on silence: clicks long
// enough to survive any stretch, whose place in the output can be found.
inline std::unique_ptr<Decoder> clicks(int rate, double seconds, double period) {
  const auto frames = static_cast<int64_t>(seconds * rate);
  const auto every = static_cast<int64_t>(period * rate);
  const auto burst = static_cast<int64_t>(0.030 * rate);
  return std::make_unique<SignalDecoder>(rate, 2, frames, [=](int64_t f, int) {
    const int64_t k = f % every;
    if (k >= burst) return 0.0f;
    return 0.8f * static_cast<float>(std::sin(2 * std::numbers::pi * 1000.0 * k / rate));
  });
}

// Every frame of `out` continues the counter from `first`, wrapping at
// `length`.
inline void expectCounterRun(const std::vector<int16_t>& out, int64_t first, int64_t length) {
  for (size_t i = 0; i < out.size() / 2; ++i) {
    const int64_t want = (first + static_cast<int64_t>(i)) % length;
    ASSERT_EQ(counterFrame(&out[2 * i]), want) << "output frame " << i;
  }
}

// Renders `frames` stereo frames of the manual output.
inline std::vector<int16_t> render(int frames) {
  std::vector<int16_t> out(2 * static_cast<size_t>(frames));
  EXPECT_EQ(BASS_Lentaro_RenderOutput(out.data(), frames), frames);
  return out;
}

// Frequency of one channel by counting rising zero crossings with linear
// interpolation between the samples either side.
inline double frequency(const std::vector<int16_t>& s, size_t from, size_t to, int rate = 44100) {
  double first = -1, last = -1;
  int crossings = 0;
  for (size_t i = from + 1; i < to; ++i) {
    const double a = s[2 * (i - 1)], b = s[2 * i];
    if (a < 0 && b >= 0) {
      const double t = static_cast<double>(i - 1) + a / (a - b);
      if (first < 0) first = t;
      last = t;
      ++crossings;
    }
  }
  if (crossings < 2) return 0;
  return (crossings - 1) * rate / (last - first);
}

inline double rms(const std::vector<int16_t>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(s[2 * i]) * s[2 * i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

// Frames until the last sample louder than `threshold`.
inline size_t soundingLength(const std::vector<int16_t>& s, int threshold = 300) {
  for (size_t i = s.size() / 2; i > 0; --i) {
    if (std::abs(s[2 * (i - 1)]) > threshold) return i;
  }
  return 0;
}

// Opens a generated signal as a tempo channel on the manual output.
inline HSTREAM tempoChannel(std::unique_ptr<Decoder> d, DWORD flags = BASS_FX_FREESOURCE) {
  const HSTREAM src = createStreamFromDecoder(std::move(d));
  EXPECT_NE(src, 0u);
  const HSTREAM ch = BASS_FX_TempoCreate(src, flags);
  EXPECT_NE(ch, 0u);
  return ch;
}

// The status of an encoder once its process has ended. Freeing its channel
// returns at once; the engine finishes the encoder on a thread of its own
// within its bound (five seconds, then a kill), so this waits a bit longer
// for the process, never for sound.
inline BASS_ENCODE_STATUS endedStatus(HENCODE enc) {
  using namespace std::chrono_literals;
  BASS_ENCODE_STATUS st{};
  const auto giveUp = std::chrono::steady_clock::now() + 10s;
  while (BASS_Encode_GetStatus(enc, &st) && st.running &&
         std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_FALSE(st.running) << "encoder " << enc << " still running";
  return st;
}

class ManualEngine : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(BASS_Init(0, 44100, BASS_DEVICE_MANUAL, nullptr, nullptr)); }
  void TearDown() override { EXPECT_TRUE(BASS_Free()); }
};

}  // namespace lentaro::audio::test
