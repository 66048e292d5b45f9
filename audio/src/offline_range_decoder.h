// A file's decoder seen as if the file ended at `end`: an offline render
// of a range stops there, as a channel whose file ends there would. It also
// tells how far decoding has come, for a progress display.
//
// Ownership: owns the decoder it wraps. Threads: reads and seeks from one
// thread at a time (the render's); place() from any thread.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>

#include "decoder.h"

namespace lentaro::audio {

class RangeDecoder final : public Decoder {
 public:
  // end: 1 .. inner->lengthFrames().
  RangeDecoder(std::unique_ptr<Decoder> inner, int64_t end) : inner_(std::move(inner)), end_(end) {}

  StreamFormat format() const override { return inner_->format(); }
  int64_t lengthFrames() const override { return end_; }

  long read(float* out, long maxFrames) override {
    const int64_t pos = place_.load(std::memory_order_relaxed);
    const long want = static_cast<long>(std::min<int64_t>(maxFrames, end_ - pos));
    if (want <= 0) return 0;
    const long got = inner_->read(out, want);
    place_.store(pos + got, std::memory_order_relaxed);
    return got;
  }

  bool seek(int64_t frame) override {
    if (frame < 0 || frame > end_ || !inner_->seek(frame)) return false;
    place_.store(frame, std::memory_order_relaxed);
    return true;
  }

  // The next frame read. Any thread.
  int64_t place() const { return place_.load(std::memory_order_relaxed); }

 private:
  std::unique_ptr<Decoder> inner_;
  const int64_t end_;
  std::atomic<int64_t> place_{0};
};

}  // namespace lentaro::audio
