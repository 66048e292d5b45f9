// The feed of one encoder process: a WAV stream on its standard input.
//
// Threads: start(), finish() and status() are called from the engine's
// control side (the UI thread); push() only from the output callback, and
// it never blocks, allocates or locks. A writer thread of the feed drains
// the ring into the process's pipe.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lentaro::audio {

struct EncoderStatus {
  bool running = false;
  bool failed = false;        // non-zero exit, a signal, or input refused early
  int exitStatus = -1;        // once ended normally
  int termSignal = 0;         // once killed
  uint64_t bytesWritten = 0;  // WAV bytes accepted by the pipe, header included
  uint64_t bytesDropped = 0;  // PCM bytes lost to a full ring
};

class EncoderFeed {
 public:
  virtual ~EncoderFeed() = default;

  // Output callback only. Interleaved 16-bit frames, `channels` per frame
  // as given to start(). Copies into the ring; an overflow is counted.
  virtual void push(const int16_t* frames, std::size_t frameCount) = 0;

  // Control side. Flushes what the ring holds, closes the process's input
  // and waits up to `bound` for it to exit. Idempotent.
  virtual void finish(std::chrono::milliseconds bound) = 0;

  // Any thread; a snapshot.
  virtual EncoderStatus status() const = 0;
};

// Starts argv[0] with argv[1..] (no shell) and writes a WAV header for
// 16-bit PCM at `rate` with `channels`, with length fields that make the
// encoder read until its input ends. Returns null when the process cannot
// be started (missing, not executable): the caller reports
// BASS_ERROR_CREATE.
std::unique_ptr<EncoderFeed> startEncoderFeed(const std::vector<std::string>& argv, int rate,
                                              int channels);

// Splits a command line into words at spaces; a pair of double quotes
// groups a word and is removed. No other escapes.
std::vector<std::string> splitCommandLine(const std::string& cmdline);

}  // namespace lentaro::audio
