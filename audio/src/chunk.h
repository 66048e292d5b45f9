// The unit that travels from a channel's producer (the decode-ahead thread,
// or whoever renders offline) to the output callback through an SpscRing.
#pragma once

#include <cstdint>

namespace lentaro::audio {

constexpr int kOutputRate = 44100;
constexpr int kOutputChannels = 2;
constexpr int kChunkFrames = 256;

struct Chunk {
  enum Flags : uint32_t {
    kEnd = 1,  // nothing follows: the stream has ended
    // Count-in clicks rather than the music (which waits meanwhile); with
    // kCueRecorded they also go to the channel's encoders.
    kCue = 2,
    kCueRecorded = 4,
    kLoops = 8,      // placeLo..placeHi is a loop range
    kPassEnds = 16,  // its last frame ends a pass: the place after it is placeLo
  };

  // The seek generation it was made in; the callback drops chunks from an
  // older generation, so audio from before a seek is never heard.
  uint64_t epoch = 0;
  // Source frame of the first frame and source frames per output frame.
  // The place of frame i is srcStart + i * slope, held inside the range
  // [placeLo, placeHi) of a loop (or [0, length] without one): a chunk
  // never spans a loop's seam, and a place estimated a little outside the
  // range is held at its edge.
  double srcStart = 0;
  double slope = 1;
  double placeLo = 0;
  double placeHi = 0;
  // Passes of the loop completed before its first frame, counted since the
  // channel was made (only the difference between two values means
  // anything).
  uint64_t pass = 0;
  int32_t frames = 0;
  uint32_t flags = 0;
  float samples[kChunkFrames * kOutputChannels];  // stereo, 44.1 kHz, before volume
};

}  // namespace lentaro::audio
