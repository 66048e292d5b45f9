// "High": Rubber Band's R3 engine in real-time mode.
//
// Real-time mode neither pads the start nor compensates its delay: the
// library asks for getPreferredStartPad() input frames before the first
// one wanted, and its output is getStartDelay() frames late. Both are
// taken at every restart, with the source's own frames before the place
// as the pad (zeros only where the file has none), so the output frame
// after the delay is the place itself and a change adds no latency.
//
// The pitch method is the one made for changing pitch: besides changing
// smoothly, its start delay is the true one at every transposition
// (measured with click trains: within 3.5 ms at 0.5x to 2x the pitch and
// 0.25x to 3x the speed; the other methods are off by up to 160 ms when
// transposing one way or the other).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

#include "chunk.h"
#include "library_rubberband.h"
#include "stretcher.h"

namespace lentaro::audio {
namespace {

// Frames handed to the library at a time, each way. Input always goes in
// whole blocks, so that what comes out depends on the source alone, not on
// how the caller happened to cut it (a loop's seams cut it anywhere); the
// output is taken out after every block, which the library's real-time
// buffers need to keep from overrunning.
constexpr int kBlock = 1024;

class RubberBandStretcher final : public Stretcher {
 public:
  RubberBandStretcher(const RubberbandLibrary& rb, int sourceRate, int channels)
      : Stretcher(StretcherKind::kHigh, channels),
        rb_(rb),
        state_(nullptr, StateDeleter{rb.rubberband_delete}),
        rate_(sourceRate),
        in_(static_cast<size_t>(channels), std::vector<float>(kBlock)),
        out_(static_cast<size_t>(channels), std::vector<float>(kBlock)) {
    ready_.reserve(static_cast<size_t>(16 * kBlock * channels));
    for (int c = 0; c < channels; ++c) {
      inPtrs_[c] = in_[static_cast<size_t>(c)].data();
      outPtrs_[c] = out_[static_cast<size_t>(c)].data();
    }
  }

  int restart(double speed, double semitones, int64_t before) override {
    // The library's rates are in the source's frames: the output rate is
    // reached by reading the source that much faster, as a transposition.
    // Made afresh for the ratios it will run at: it sizes its buffers for
    // the ratios it is made with, and reading past them at others crashes
    // (a millisecond or two, against the tens a restart's warm-up costs).
    state_.reset(rb_.rubberband_new(
        static_cast<unsigned>(rate_), static_cast<unsigned>(channels()),
        RubberBandOptionProcessRealTime | RubberBandOptionEngineFiner |
            RubberBandOptionPitchHighConsistency | RubberBandOptionThreadingNever,
        kOutputRate / (rate_ * speed), std::exp2(semitones / 12.0) * rate_ / kOutputRate));
    rb_.rubberband_set_max_process_size(state_.get(), kBlock);
    slope_ = speed * rate_ / kOutputRate;
    pad_ = static_cast<int>(rb_.rubberband_get_preferred_start_pad(state_.get()));
    delay_ = static_cast<int>(rb_.rubberband_get_start_delay(state_.get()));
    fed_ = 0;
    taken_ = 0;
    filled_ = 0;
    end_ = -1;
    ready_.clear();
    readAt_ = 0;
    const int warm = static_cast<int>(std::clamp<int64_t>(before, 0, pad_));
    putSilence(pad_ - warm);
    return warm;
  }

  void put(const float* in, int frames) override {
    const int ch = channels();
    for (int i = 0; i < frames; ++i) {
      for (int c = 0; c < ch; ++c)
        in_[static_cast<size_t>(c)][static_cast<size_t>(filled_)] = in[i * ch + c];
      if (++filled_ == kBlock) process();
    }
    fed_ += frames;
  }

  void flush() override {
    if (end_ >= 0) return;
    // Real-time mode has no end: what it holds comes out as silence pushes
    // it, and the output stops where the source's last frame is.
    end_ = delay_ + static_cast<int64_t>(std::ceil(static_cast<double>(fed_ - pad_) / slope_));
    for (int i = 0; i < 64 && taken_ + readyFrames() < end_; ++i) {
      putSilence(kBlock);
      fed_ -= kBlock;  // not the source's: held() stays as it was
    }
  }

  int available() const override {
    const int ready = readyFrames();
    return end_ < 0 ? ready : static_cast<int>(std::min<int64_t>(ready, end_ - taken_));
  }

  int receive(float* out, int frames) override {
    const int n = std::max(0, std::min(frames, available()));
    const auto from = ready_.begin() + static_cast<long>(readAt_) * channels();
    std::copy(from, from + n * channels(), out);
    readAt_ += n;
    if (readAt_ == readyEnd()) {
      ready_.clear();
      readAt_ = 0;
    }
    taken_ += n;
    return n;
  }

  double held() const override {
    // Output frame j (counted from the restart, delay included) is the
    // source's frame pad + (j - delay) * slope, counted from the first
    // frame fed.
    return static_cast<double>(fed_) - pad_ - static_cast<double>(taken_ - delay_) * slope_;
  }

 private:
  int readyEnd() const { return static_cast<int>(ready_.size()) / channels(); }
  int readyFrames() const { return readyEnd() - readAt_; }

  void process() {
    rb_.rubberband_process(state_.get(), inPtrs_, static_cast<unsigned>(filled_), 0);
    filled_ = 0;
    // Never more than it has: the library reports a short read on stderr.
    if (readAt_ > 0) {
      ready_.erase(ready_.begin(), ready_.begin() + static_cast<long>(readAt_) * channels());
      readAt_ = 0;
    }
    for (int a; (a = rb_.rubberband_available(state_.get())) > 0;) {
      const unsigned n = rb_.rubberband_retrieve(state_.get(), outPtrs_,
                                                 static_cast<unsigned>(std::min(a, kBlock)));
      for (unsigned i = 0; i < n; ++i) {
        for (const auto& c : out_) ready_.push_back(c[i]);
      }
    }
  }

  void putSilence(int frames) {
    for (int i = 0; i < frames; ++i) {
      for (auto& c : in_) c[static_cast<size_t>(filled_)] = 0.0f;
      if (++filled_ == kBlock) process();
    }
    fed_ += frames;
  }

  struct StateDeleter {
    decltype(&::rubberband_delete) free;
    void operator()(RubberBandState state) const { free(state); }
  };

  const RubberbandLibrary& rb_;
  // Made by restart(). RubberBandState is a pointer to the library's
  // (opaque) state.
  std::unique_ptr<std::remove_pointer_t<RubberBandState>, StateDeleter> state_;
  const double rate_;
  std::vector<std::vector<float>> in_;   // a block per channel, filled_ frames of it so far
  std::vector<std::vector<float>> out_;  // a block per channel
  std::vector<float> ready_;             // output taken from the library, interleaved
  int readAt_ = 0;                       // frames of ready_ already received
  float* inPtrs_[2] = {nullptr, nullptr};
  float* outPtrs_[2] = {nullptr, nullptr};
  double slope_ = 1;
  int pad_ = 0;
  int delay_ = 0;
  int filled_ = 0;
  int64_t fed_ = 0;    // frames put since the restart, the pad's silence included
  int64_t taken_ = 0;  // frames received since the restart
  int64_t end_ = -1;   // after flush(): the frame after the source's last one
};

}  // namespace

std::unique_ptr<Stretcher> makeRubberBandStretcher(int sourceRate, int channels) {
  const RubberbandLibrary* rb = rubberbandLibrary();
  if (!rb) return nullptr;
  return std::make_unique<RubberBandStretcher>(*rb, sourceRate, channels);
}

}  // namespace lentaro::audio
