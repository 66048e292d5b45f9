// The default output through a PulseAudio server (or PipeWire's PulseAudio
// service). Preferred to SDL's route to the same server because it sets
// the server's buffer itself: SDL asks for a target buffer of one period,
// so every period the server runs dry before the next one is written, and
// a scheduling delay of a few milliseconds is a dropout. Here the server
// keeps kTargetMs queued and asks for more every kRequestMs, so the
// program has most of the target to answer in, and the server wakes far
// less often.
//
// Threads: start(), stop() and keepAlive() on the engine's control or
// decode-ahead thread (never at the same time); the write callback on
// libpulse's mainloop thread, which renders the mixer without locks of
// ours (it holds the mainloop's own lock, which only this file takes).
#include <atomic>
#include <cstring>
#include <string>

#include "library_pulse.h"
#include "mixer.h"
#include "output.h"
#include "thread_priority.h"

namespace lentaro::audio {

namespace {

// Chosen by measurement through a PulseAudio null sink with both cores
// loaded: 40 ms queued held without a break where 12 ms broke up, but not
// every time; 50 ms held in every run and cost the server less (2 % of a
// core against 3 %), and volume is still heard within about 45 ms and
// tempo and pitch within 85 ms. 60 ms, or requests every 20 ms, took the
// latencies past 50 and 100 ms; 40 ms with 20 ms requests woke the server
// far more, not less.
//
// With the stream's latency adjusted, the server gives the sink
// (target - 2 x request) / 2 of it and wakes the sink that often: small
// requests leave the sink the longer sleep. 5 ms requests (the sink waking
// every 20 ms) cost the server 0.78-1.17 % of a core in six one-minute
// runs, against 0.88-1.45 % in nine with 10 ms requests (the sink every
// 15 ms).
constexpr int kTargetMs = 50;
constexpr int kRequestMs = 5;
// What the engine keeps decoded ahead is counted in these: more than a
// request, so that the decode-ahead thread does not wake for every one.
constexpr int kPeriodMs = 10;
constexpr int kFrameBytes = 4;  // 16-bit stereo

class PulseOutput final : public Output {
 public:
  PulseOutput(Mixer& mixer, int rate) : mixer_(mixer), rate_(rate) {}
  ~PulseOutput() override { stop(); }

  Kind kind() const override { return Kind::kDevice; }
  int periodFrames() const override { return rate_ * kPeriodMs / 1000; }

  bool start() override { return open(); }

  void stop() override { close(); }

  bool keepAlive() override {
    if (loop_ && !broken_.load(std::memory_order_acquire)) return true;
    close();
    return open();
  }

 private:
  bool open() {
    if (!pa_) return false;  // libpulse is not installed
    broken_.store(false, std::memory_order_relaxed);
    loop_ = pa_->pa_threaded_mainloop_new();
    if (!loop_) return false;
    context_ = pa_->pa_context_new(pa_->pa_threaded_mainloop_get_api(loop_), "Lentaro");
    if (!context_) return fail();
    pa_->pa_context_set_state_callback(context_, &PulseOutput::contextState, this);
    // No autospawn: where no server runs the caller falls back to SDL
    // instead of starting a daemon behind the user's back.
    if (pa_->pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
      return fail();
    if (pa_->pa_threaded_mainloop_start(loop_) < 0) return fail();
    pa_->pa_threaded_mainloop_lock(loop_);
    bool ok = waitFor([this] {
      const pa_context_state_t s = pa_->pa_context_get_state(context_);
      return s == PA_CONTEXT_READY ? 1 : (PA_CONTEXT_IS_GOOD(s) ? 0 : -1);
    });
    if (ok) ok = openStream();
    pa_->pa_threaded_mainloop_unlock(loop_);
    return ok ? true : fail();
  }

  // Mainloop lock held.
  bool openStream() {
    pa_sample_spec format{};
    format.format = PA_SAMPLE_S16LE;
    format.rate = static_cast<uint32_t>(rate_);
    format.channels = 2;
    stream_ = pa_->pa_stream_new(context_, "Playback", &format, nullptr);
    if (!stream_) return false;
    pa_->pa_stream_set_state_callback(stream_, &PulseOutput::streamState, this);
    pa_->pa_stream_set_write_callback(stream_, &PulseOutput::streamWrite, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(rate_ * kTargetMs / 1000 * kFrameBytes);
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(rate_ * kRequestMs / 1000 * kFrameBytes);
    attr.fragsize = static_cast<uint32_t>(-1);
    // No timing updates: the position comes from the frames rendered, and
    // each update is one more request the server answers.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY);
    if (pa_->pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0)
      return false;
    return waitFor([this] {
      const pa_stream_state_t s = pa_->pa_stream_get_state(stream_);
      return s == PA_STREAM_READY ? 1 : (PA_STREAM_IS_GOOD(s) ? 0 : -1);
    });
  }

  // Mainloop lock held: waits for `state` to say 1 (done) or -1 (failed).
  template <class F>
  bool waitFor(F state) {
    for (;;) {
      const int s = state();
      if (s != 0) return s > 0;
      pa_->pa_threaded_mainloop_wait(loop_);
    }
  }

  bool fail() {
    close();
    return false;
  }

  void close() {
    if (!loop_) return;
    pa_->pa_threaded_mainloop_stop(loop_);  // from here on no callback runs
    if (stream_) {
      pa_->pa_stream_disconnect(stream_);
      pa_->pa_stream_unref(stream_);
      stream_ = nullptr;
    }
    if (context_) {
      pa_->pa_context_disconnect(context_);
      pa_->pa_context_unref(context_);
      context_ = nullptr;
    }
    pa_->pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
    raised_ = false;
  }

  static void contextState(pa_context* c, void* user) {
    auto* self = static_cast<PulseOutput*>(user);
    if (!PA_CONTEXT_IS_GOOD(self->pa_->pa_context_get_state(c)))
      self->broken_.store(true, std::memory_order_release);
    self->pa_->pa_threaded_mainloop_signal(self->loop_, 0);
  }

  static void streamState(pa_stream* s, void* user) {
    auto* self = static_cast<PulseOutput*>(user);
    if (!PA_STREAM_IS_GOOD(self->pa_->pa_stream_get_state(s)))
      self->broken_.store(true, std::memory_order_release);
    self->pa_->pa_threaded_mainloop_signal(self->loop_, 0);
  }

  // The server wants `bytes` more: render that much straight into its
  // buffer.
  static void streamWrite(pa_stream* s, size_t bytes, void* user) {
    auto* self = static_cast<PulseOutput*>(user);
    if (!self->raised_) {
      raiseThreadPriority(ThreadRole::kOutput);
      self->raised_ = true;
    }
    while (bytes >= kFrameBytes) {
      void* data = nullptr;
      size_t n = bytes;
      if (self->pa_->pa_stream_begin_write(s, &data, &n) < 0 || data == nullptr) return;
      n -= n % kFrameBytes;
      if (n == 0) {
        self->pa_->pa_stream_cancel_write(s);
        return;
      }
      self->mixer_.render(static_cast<int16_t*>(data), static_cast<int>(n / kFrameBytes));
      if (self->pa_->pa_stream_write(s, data, n, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
      bytes -= n;
    }
  }

  Mixer& mixer_;
  const int rate_;
  const PulseLibrary* const pa_ = pulseLibrary();  // null when libpulse is missing
  // Owned by the control/decode-ahead side (open/close); the callbacks
  // only read them while the mainloop runs, which close() stops first.
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  bool raised_ = false;              // mainloop thread only
  std::atomic<bool> broken_{false};  // set by the callbacks, read by keepAlive()
};

}  // namespace

std::unique_ptr<Output> makePulseOutput(Mixer& mixer, int rate) {
  return std::make_unique<PulseOutput>(mixer, rate);
}

}  // namespace lentaro::audio
