// The feed of one encoder process: a WAV stream on its standard input.
//
// Threads: push() only from the output callback, and it never blocks,
// allocates or locks. close(), ended() and status() from any thread, and
// they never block for long (status() takes a lock the writer holds only
// to publish). finish() and the destructor wait for the writer: not on the
// UI thread when the encoder may hang (the engine finishes feeds on a
// thread of its own). A writer thread of the feed drains the ring into the
// process's pipe, closes it, waits for the process and reaps it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
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

  // Never blocks. From now on push() takes nothing; the writer flushes
  // what the ring holds, closes the process's input and waits for it to
  // exit until `deadline`, then kills it. A later call may bring the
  // deadline forward, never push it back.
  virtual void close(std::chrono::steady_clock::time_point deadline) = 0;

  // close(now + bound), then waits for the writer to end (about `bound`
  // at most). Idempotent.
  virtual void finish(std::chrono::milliseconds bound) = 0;

  // True once the writer has ended: the process is reaped, status() is
  // final and destroying the feed no longer waits.
  virtual bool ended() const = 0;

  // A snapshot.
  virtual EncoderStatus status() const = 0;
};

// Starts argv[0] with argv[1..] (no shell) and writes a WAV header for
// 16-bit PCM at `rate` with `channels`, with length fields that make the
// encoder read until its input ends. Returns null when the process cannot
// be started (missing, not executable): the caller reports
// BASS_ERROR_CREATE. `onEnded`, if given, runs once on the writer thread
// right after ended() turns true; it must not wait for the feed (it runs
// before the writer thread returns).
std::unique_ptr<EncoderFeed> startEncoderFeed(const std::vector<std::string>& argv, int rate,
                                              int channels,
                                              std::function<void()> onEnded = nullptr);

// Splits a command line into words at spaces; a pair of double quotes
// groups a word and is removed. No other escapes.
std::vector<std::string> splitCommandLine(const std::string& cmdline);

}  // namespace lentaro::audio
