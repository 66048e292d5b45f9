// The feed of one encoder process.
//
// Threads and shared state:
// - the output callback runs push(): it writes whole frames into ring_,
//   counts what does not fit in dropped_ and posts wake_ (sem_post never
//   blocks); it reads only accepting_;
// - the writer thread (run()) owns proc_ after start: it drains ring_ into
//   the pipe, reaps the child and publishes how it ended under stateMutex_,
//   which nothing on the callback touches; it starts with SIGPIPE blocked
//   and sets ended_ last;
// - control calls: close() hands the writer a deadline through atomics;
//   finish() does that and joins it under finishMutex_; status() is a
//   snapshot.
#include <poll.h>
#include <semaphore.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>

#include "encoder_feed.h"
#include "encoder_process.h"
#include "encoder_wav.h"
#include "spsc_ring.h"

namespace lentaro::audio {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Two seconds of sound ride out a slow encoder start; `lame` at its default
// settings runs many times faster than real time, so the ring only fills
// when the encoder has stalled.
constexpr int kRingSeconds = 2;
constexpr std::size_t kChunkSamples = 16384;
constexpr auto kIdleWait = 20ms;
// The longest a feed dropped without finish() waits for its encoder.
constexpr auto kDestructorBound = 3000ms;

int64_t toNs(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// A write to a pipe whose reader has gone raises SIGPIPE at this thread;
// it is blocked here, so it stays pending until taken away.
void discardPendingSigpipe() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  const timespec zero{0, 0};
  while (::sigtimedwait(&set, nullptr, &zero) > 0) {
  }
}

// Blocks SIGPIPE on the calling thread for its lifetime and restores the
// previous mask after; a thread started meanwhile inherits the block.
class SigpipeBlocked {
 public:
  SigpipeBlocked() {
    sigset_t pipeOnly;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous_);
  }
  ~SigpipeBlocked() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SigpipeBlocked(const SigpipeBlocked&) = delete;
  SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;

 private:
  sigset_t previous_;
};

class ProcessFeed final : public EncoderFeed {
 public:
  ProcessFeed(EncoderProcess proc, uint32_t rate, uint16_t channels, std::function<void()> onEnded)
      : channels_(channels),
        header_(makeStreamingWavHeader(rate, channels)),
        ring_(static_cast<std::size_t>(rate) * channels * kRingSeconds),
        proc_(std::move(proc)),
        onEnded_(std::move(onEnded)) {
    if (::sem_init(&wake_, 0, 0) != 0) throw std::system_error(errno, std::generic_category());
    try {
      // The process keeps its own SIGPIPE disposition: a write to an
      // encoder that has gone must fail with EPIPE on the writer, not end
      // the program. The writer is born with the signal blocked, so not
      // even its first write (the header) can raise it.
      SigpipeBlocked blocked;
      writer_ = std::thread([this] { run(); });
    } catch (...) {
      ::sem_destroy(&wake_);
      throw;
    }
  }

  ~ProcessFeed() override {
    finish(kDestructorBound);
    ::sem_destroy(&wake_);
  }

  void push(const int16_t* frames, std::size_t frameCount) override {
    if (!accepting_.load(std::memory_order_acquire) || frameCount == 0) return;
    const std::size_t wanted = frameCount * channels_;
    // Whole frames only: a partial frame would swap the channels of
    // everything after it.
    const std::size_t room = ring_.writeSpace() / channels_ * channels_;
    const std::size_t n = ring_.write(frames, std::min(wanted, room));
    if (n < wanted) {
      dropped_.fetch_add((wanted - n) * sizeof(int16_t), std::memory_order_relaxed);
    }
    if (n > 0) ::sem_post(&wake_);
  }

  void close(Clock::time_point deadline) override {
    accepting_.store(false, std::memory_order_release);
    const int64_t ns = toNs(deadline);
    int64_t current = deadlineNs_.load(std::memory_order_relaxed);
    while (ns < current &&
           !deadlineNs_.compare_exchange_weak(current, ns, std::memory_order_relaxed)) {
    }
    // Published by the release below: the writer reads the deadline only
    // after it has seen closing_.
    closing_.store(true, std::memory_order_release);
    ::sem_post(&wake_);
  }

  void finish(std::chrono::milliseconds bound) override {
    close(Clock::now() + bound);
    std::lock_guard lock(finishMutex_);
    if (writer_.joinable()) writer_.join();
  }

  bool ended() const override { return ended_.load(std::memory_order_acquire); }

  EncoderStatus status() const override {
    EncoderStatus s;
    {
      std::lock_guard lock(stateMutex_);
      s = state_;
    }
    s.bytesWritten = written_.load(std::memory_order_relaxed);
    s.bytesDropped = dropped_.load(std::memory_order_relaxed);
    return s;
  }

 private:
  enum class WriteResult { Ok, Refused, Abandoned };

  bool closing() const { return closing_.load(std::memory_order_acquire); }
  bool pastDeadline() const {
    return closing() && toNs(Clock::now()) >= deadlineNs_.load(std::memory_order_relaxed);
  }

  void run() {
    drain();
    ended_.store(true, std::memory_order_release);
    if (onEnded_) onEnded_();
  }

  void drain() {
    std::vector<int16_t> samples(kChunkSamples);
    std::vector<uint8_t> bytes(kChunkSamples * sizeof(int16_t));
    std::size_t headerLeft = 0;
    WriteResult sink = writeAll(header_.data(), header_.size(), &headerLeft);
    while (sink == WriteResult::Ok) {
      const std::size_t n = ring_.read(samples.data(), samples.size());
      if (n > 0) {
        toLittleEndian(samples.data(), n, bytes.data());
        std::size_t unwritten = 0;
        sink = writeAll(bytes.data(), n * sizeof(int16_t), &unwritten);
        // The part of a chunk that did not get through is lost like the ring.
        dropped_.fetch_add(unwritten, std::memory_order_relaxed);
        continue;
      }
      if (closing() && ring_.readSpace() == 0) break;
      if (auto ended = proc_.poll()) {
        publishEnd(*ended, /*early=*/true);
        break;
      }
      waitForWork();
    }
    if (proc_.reaped()) accepting_.store(false, std::memory_order_release);
    if (sink != WriteResult::Ok) {
      // Nothing more reaches the encoder: the callback stops copying and
      // whatever the ring still holds is counted as lost.
      accepting_.store(false, std::memory_order_release);
      dropped_.fetch_add(ring_.readSpace() * sizeof(int16_t), std::memory_order_relaxed);
      if (sink == WriteResult::Refused) markRefused();
    }
    // A child that refused its input may still be running; it ends with its
    // channel like any other.
    while (!proc_.reaped() && !closing()) {
      if (auto ended = proc_.poll()) {
        publishEnd(*ended, /*early=*/true);
        break;
      }
      waitForWork();
    }
    proc_.closeInput();
    if (!proc_.reaped()) {
      const auto deadline =
          Clock::time_point(std::chrono::nanoseconds(deadlineNs_.load(std::memory_order_relaxed)));
      publishEnd(proc_.waitUntil(deadline), /*early=*/false);
    }
  }

  // `unwritten` receives what is left of the n bytes when it gives up.
  WriteResult writeAll(const uint8_t* p, std::size_t n, std::size_t* unwritten) {
    *unwritten = 0;
    while (n > 0) {
      const ssize_t w = ::write(proc_.inputFd(), p, n);
      if (w > 0) {
        p += w;
        n -= static_cast<std::size_t>(w);
        written_.fetch_add(static_cast<uint64_t>(w), std::memory_order_relaxed);
        continue;
      }
      if (w < 0 && errno == EINTR) continue;
      if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (pastDeadline()) {
          *unwritten = n;
          return WriteResult::Abandoned;
        }
        pollfd pfd{proc_.inputFd(), POLLOUT, 0};
        ::poll(&pfd, 1, static_cast<int>(kIdleWait.count()));
        continue;
      }
      if (w < 0 && errno == EPIPE) discardPendingSigpipe();
      *unwritten = n;
      return WriteResult::Refused;
    }
    return WriteResult::Ok;
  }

  void toLittleEndian(const int16_t* in, std::size_t n, uint8_t* out) const {
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out, in, n * sizeof(int16_t));
    } else {
      for (std::size_t i = 0; i < n; ++i) {
        const auto v = static_cast<uint16_t>(in[i]);
        out[2 * i] = static_cast<uint8_t>(v & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
      }
    }
  }

  void waitForWork() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    ts.tv_nsec += std::chrono::duration_cast<std::chrono::nanoseconds>(kIdleWait).count();
    if (ts.tv_nsec >= 1000000000L) {
      ts.tv_sec += 1;
      ts.tv_nsec -= 1000000000L;
    }
    if (::sem_clockwait(&wake_, CLOCK_MONOTONIC, &ts) == 0) {
      // One wake is enough for every push since the last one.
      while (::sem_trywait(&wake_) == 0) {
      }
    }
  }

  void markRefused() {
    std::lock_guard lock(stateMutex_);
    if (!closing()) state_.failed = true;
  }

  // `early`: the child ended before its input was closed, which is a
  // failure whatever its status (the recording is cut short).
  void publishEnd(const ChildExit& e, bool early) {
    std::lock_guard lock(stateMutex_);
    state_.running = false;
    state_.exitStatus = e.exitStatus;
    state_.termSignal = e.termSignal;
    if (early || e.termSignal != 0 || e.exitStatus != 0) state_.failed = true;
  }

  const uint16_t channels_;
  const std::array<uint8_t, kWavHeaderBytes> header_;
  SpscRing<int16_t> ring_;  // the callback writes, the writer reads
  EncoderProcess proc_;     // the writer thread's once started
  const std::function<void()> onEnded_;
  sem_t wake_;  // posted by the callback and close(), waited on by the writer

  std::atomic<bool> accepting_{true};  // cleared by close() and the writer
  std::atomic<bool> closing_{false};   // set by close()
  std::atomic<int64_t> deadlineNs_{std::numeric_limits<int64_t>::max()};  // close()
  std::atomic<uint64_t> written_{0};                                      // the writer
  std::atomic<uint64_t> dropped_{0};  // the callback and the writer
  std::atomic<bool> ended_{false};    // the writer, last thing it does

  mutable std::mutex stateMutex_;
  EncoderStatus state_{.running = true};  // guarded by stateMutex_

  std::mutex finishMutex_;
  std::thread writer_;  // guarded by finishMutex_ once running
};

}  // namespace

std::unique_ptr<EncoderFeed> startEncoderFeed(const std::vector<std::string>& argv, int rate,
                                              int channels, std::function<void()> onEnded) {
  if (rate <= 0 || rate > 768000 || channels <= 0 || channels > 8) return nullptr;
  try {
    std::optional<EncoderProcess> proc = EncoderProcess::spawn(argv);
    if (!proc) return nullptr;
    // If the feed cannot be built, the process is destroyed with it, which
    // kills and reaps the child.
    return std::make_unique<ProcessFeed>(std::move(*proc), static_cast<uint32_t>(rate),
                                         static_cast<uint16_t>(channels), std::move(onEnded));
  } catch (...) {
    return nullptr;
  }
}

}  // namespace lentaro::audio
