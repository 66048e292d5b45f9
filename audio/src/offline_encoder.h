// An encoder program fed at the caller's pace: where an EncoderFeed takes
// what the output callback hands it and drops what does not fit, this one
// waits for the program, so an offline render reaches it whole.
//
// Ownership: owns the process (reaped by finish() or the destructor).
// Threads: one thread at a time, the caller's; it waits for the process.
// SIGPIPE is held back on that thread while it writes, so a program that
// stops reading makes a write fail instead of ending the caller.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoder_feed.h"
#include "encoder_process.h"

namespace lentaro::audio {

class OfflineEncoder {
 public:
  // Null when the program cannot be started.
  static std::unique_ptr<OfflineEncoder> start(const std::vector<std::string>& argv);
  ~OfflineEncoder();

  // Interleaved 16-bit stereo at the output rate; the WAV header goes first.
  // False once the program has stopped taking input (or took nothing for
  // kStallLimit).
  bool write(const int16_t* frames, int count);

  // Closes the input (after the header, if nothing was written yet) and
  // waits for the program until `timeout`, then kills it; `abandon` kills
  // it at once. Call once.
  EncoderStatus finish(bool abandon, std::chrono::milliseconds timeout);

  static constexpr std::chrono::seconds kStallLimit{10};

 private:
  explicit OfflineEncoder(EncoderProcess proc);
  bool writeAll(const uint8_t* p, size_t n);
  bool sendHeader();

  EncoderProcess proc_;
  bool headerSent_ = false;
  bool refused_ = false;
  uint64_t written_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace lentaro::audio
