#include "offline_encoder.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>

#include "chunk.h"
#include "encoder_wav.h"

namespace lentaro::audio {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPollMs = 50;

// Holds SIGPIPE back on the calling thread while it lives; a SIGPIPE that
// a write to a closed pipe raised meanwhile is taken away before the old
// mask comes back, so it never reaches the process.
class HeldSigpipe {
 public:
  HeldSigpipe() {
    sigset_t pipeOnly;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous_);
  }
  ~HeldSigpipe() {
    if (!sigismember(&previous_, SIGPIPE)) {
      sigset_t pending;
      sigemptyset(&pending);
      if (::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGPIPE);
        const timespec zero{0, 0};
        while (::sigtimedwait(&set, nullptr, &zero) > 0) {
        }
      }
    }
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  HeldSigpipe(const HeldSigpipe&) = delete;
  HeldSigpipe& operator=(const HeldSigpipe&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace

std::unique_ptr<OfflineEncoder> OfflineEncoder::start(const std::vector<std::string>& argv) {
  std::optional<EncoderProcess> proc = EncoderProcess::spawn(argv);
  if (!proc) return nullptr;
  return std::unique_ptr<OfflineEncoder>(new OfflineEncoder(std::move(*proc)));
}

OfflineEncoder::OfflineEncoder(EncoderProcess proc) : proc_(std::move(proc)) {}

OfflineEncoder::~OfflineEncoder() = default;  // the process kills and reaps its child

bool OfflineEncoder::writeAll(const uint8_t* p, size_t n) {
  if (refused_) return false;
  HeldSigpipe held;
  auto lastProgress = Clock::now();
  while (n > 0) {
    const ssize_t w = ::write(proc_.inputFd(), p, n);
    if (w > 0) {
      p += w;
      n -= static_cast<size_t>(w);
      written_ += static_cast<uint64_t>(w);
      lastProgress = Clock::now();
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
        Clock::now() - lastProgress < kStallLimit) {
      pollfd pfd{proc_.inputFd(), POLLOUT, 0};
      ::poll(&pfd, 1, kPollMs);
      continue;
    }
    refused_ = true;
    return false;
  }
  return true;
}

bool OfflineEncoder::sendHeader() {
  if (headerSent_) return true;
  headerSent_ = true;
  const auto header = makeStreamingWavHeader(kOutputRate, kOutputChannels);
  return writeAll(header.data(), header.size());
}

bool OfflineEncoder::write(const int16_t* frames, int count) {
  if (!sendHeader()) return false;
  if (count <= 0) return true;
  const size_t samples = static_cast<size_t>(count) * kOutputChannels;
  bytes_.resize(samples * sizeof(int16_t));
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(bytes_.data(), frames, bytes_.size());
  } else {
    for (size_t i = 0; i < samples; ++i) {
      const auto v = static_cast<uint16_t>(frames[i]);
      bytes_[2 * i] = static_cast<uint8_t>(v & 0xFF);
      bytes_[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
  }
  return writeAll(bytes_.data(), bytes_.size());
}

EncoderStatus OfflineEncoder::finish(bool abandon, std::chrono::milliseconds timeout) {
  if (!abandon) sendHeader();
  proc_.closeInput();
  const ChildExit end = proc_.waitUntil(abandon ? Clock::now() : Clock::now() + timeout);
  EncoderStatus s;
  s.running = false;
  s.exitStatus = end.exitStatus;
  s.termSignal = end.termSignal;
  s.bytesWritten = written_;
  s.failed = abandon || refused_ || end.exitStatus != 0 || end.termSignal != 0;
  return s;
}

}  // namespace lentaro::audio
