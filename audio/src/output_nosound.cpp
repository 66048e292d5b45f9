// Device 0: no sound, but time passes as if there were a device, so
// positions advance and encoders are fed in real time.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "mixer.h"
#include "output.h"

namespace lentaro::audio {

namespace {

constexpr int kBlockFrames = 512;

class NoSoundOutput final : public Output {
 public:
  NoSoundOutput(Mixer& mixer, int rate) : mixer_(mixer), rate_(rate) {}
  ~NoSoundOutput() override { stop(); }

  Kind kind() const override { return Kind::kNoSound; }

  bool start() override {
    quit_.store(false);
    thread_ = std::thread([this] { run(); });
    return true;
  }

  void stop() override {
    quit_.store(true);
    if (thread_.joinable()) thread_.join();
  }

 private:
  void run() {
    std::vector<int16_t> block(2 * kBlockFrames);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    uint64_t frames = 0;
    while (!quit_.load(std::memory_order_relaxed)) {
      mixer_.render(block.data(), kBlockFrames);
      frames += kBlockFrames;
      std::this_thread::sleep_until(start + std::chrono::microseconds(frames * 1000000 / rate_));
    }
  }

  Mixer& mixer_;
  const int rate_;
  std::atomic<bool> quit_{false};  // set by stop(), read by the render thread
  std::thread thread_;             // start() and stop(): the control thread
};

class ManualOutput final : public Output {
 public:
  Kind kind() const override { return Kind::kManual; }
  bool start() override { return true; }
  void stop() override {}
};

}  // namespace

std::unique_ptr<Output> makeNoSoundOutput(Mixer& mixer, int rate) {
  return std::make_unique<NoSoundOutput>(mixer, rate);
}

std::unique_ptr<Output> makeManualOutput() {
  return std::make_unique<ManualOutput>();
}

}  // namespace lentaro::audio
