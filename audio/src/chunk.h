// The unit that travels from a channel's producer (the decode-ahead thread,
// or whoever renders offline) to the output callback through an SpscRing.
#pragma once

#include <cstdint>

namespace lentaro::audio {

constexpr int kOutputRate = 44100;
constexpr int kOutputChannels = 2;
constexpr int kChunkFrames = 256;

struct Chunk {
  enum Flags : uint32_t { kEnd = 1 };  // nothing follows: the stream has ended

  // The seek generation it was made in; the callback drops chunks from an
  // older generation, so audio from before a seek is never heard.
  uint64_t epoch = 0;
  // Source frame of the first frame and source frames per output frame.
  // The place of frame i is srcStart + i * slope, taken modulo the source
  // length (a loop may wrap inside a chunk).
  double srcStart = 0;
  double slope = 1;
  int32_t frames = 0;
  uint32_t flags = 0;
  float samples[kChunkFrames * kOutputChannels];  // stereo, 44.1 kHz, before volume
};

}  // namespace lentaro::audio
