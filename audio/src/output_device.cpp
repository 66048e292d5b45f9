// The system's default output: the PulseAudio server when one runs (every
// Debian desktop has one, or PipeWire's stand-in), SDL's own choice of
// driver otherwise. A user who names an SDL driver (SDL_AUDIODRIVER, e.g.
// "alsa") gets SDL as asked; "dummy" (a machine without sound) gets the
// engine's own no-sound output, which plays in real time as SDL's would
// without starting SDL's audio subsystem (and its session-bus connection)
// on the way to the first window.
//
// Threads: as the output it wraps.
#include <cstdlib>
#include <cstring>

#include "output.h"

namespace lentaro::audio {

namespace {

bool sdlDummyNamed() {
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  return driver != nullptr && std::strcmp(driver, "dummy") == 0;
}

bool sdlDriverNamed() {
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  return driver != nullptr && *driver != '\0' && std::strcmp(driver, "pulseaudio") != 0 &&
         std::strcmp(driver, "pulse") != 0 && std::strcmp(driver, "pipewire") != 0;
}

class DeviceOutput final : public Output {
 public:
  DeviceOutput(Mixer& mixer, int rate) : mixer_(mixer), rate_(rate) {}

  Kind kind() const override { return inner_ ? inner_->kind() : Kind::kDevice; }
  int periodFrames() const override { return inner_ ? inner_->periodFrames() : 512; }
  std::chrono::milliseconds keepAliveInterval() const override {
    return inner_ ? inner_->keepAliveInterval() : Output::keepAliveInterval();
  }

  bool start() override {
    if (sdlDummyNamed()) {
      inner_ = makeNoSoundOutput(mixer_, rate_);
      return inner_->start();
    }
    if (!sdlDriverNamed()) {
      inner_ = makePulseOutput(mixer_, rate_);
      if (inner_->start()) return true;
    }
    inner_ = makeSdlOutput(mixer_, rate_);
    if (inner_->start()) return true;
    inner_.reset();
    return false;
  }
  void stop() override {
    if (inner_) inner_->stop();
  }
  bool keepAlive() override { return inner_ && inner_->keepAlive(); }

 private:
  Mixer& mixer_;
  const int rate_;
  std::unique_ptr<Output> inner_;  // made in start(), kept until destruction
};

}  // namespace

std::unique_ptr<Output> makeDeviceOutput(Mixer& mixer, int rate) {
  return std::make_unique<DeviceOutput>(mixer, rate);
}

}  // namespace lentaro::audio
