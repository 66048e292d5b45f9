// The default output device through SDL2's audio subsystem. SDL runs the
// callback on its own thread; the engine's thread checks now and then that
// the device is still there and reopens the default one when it is lost
// (unplugged headphones, a sound server restart).
#include <atomic>

#include "library_sdl.h"
#include "mixer.h"
#include "output.h"

namespace lentaro::audio {

namespace {

// 512 frames is 11.6 ms at 44.1 kHz: short enough for the control latency,
// long enough for a desktop system's scheduling.
constexpr Uint16 kDeviceFrames = 512;

class SdlOutput final : public Output {
 public:
  SdlOutput(Mixer& mixer, int rate) : mixer_(mixer), rate_(rate) {}
  ~SdlOutput() override { stop(); }

  Kind kind() const override { return Kind::kDevice; }
  int periodFrames() const override { return period_.load(std::memory_order_relaxed); }

  bool start() override {
    if (!sdl_) return false;  // SDL is not installed
    if (sdl_->SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    subsystem_ = true;
    if (open()) return true;
    sdl_->SDL_QuitSubSystem(SDL_INIT_AUDIO);
    subsystem_ = false;
    return false;
  }

  void stop() override {
    if (device_ != 0) {
      sdl_->SDL_CloseAudioDevice(device_);  // waits for a running callback
      device_ = 0;
    }
    if (subsystem_) {
      sdl_->SDL_QuitSubSystem(SDL_INIT_AUDIO);
      subsystem_ = false;
    }
  }

  bool keepAlive() override {
    if (device_ != 0 && sdl_->SDL_GetAudioDeviceStatus(device_) != SDL_AUDIO_STOPPED) return true;
    if (device_ != 0) {
      sdl_->SDL_CloseAudioDevice(device_);
      device_ = 0;
    }
    return subsystem_ && open();
  }

 private:
  static void callback(void* user, Uint8* stream, int len) {
    auto* self = static_cast<SdlOutput*>(user);
    self->mixer_.render(reinterpret_cast<int16_t*>(stream), len / 4);
  }

  bool open() {
    SDL_AudioSpec want{};
    want.freq = rate_;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kDeviceFrames;
    want.callback = &SdlOutput::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts if the hardware wants another format.
    device_ = sdl_->SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) return false;
    period_.store(have.samples > 0 ? have.samples : kDeviceFrames, std::memory_order_relaxed);
    sdl_->SDL_PauseAudioDevice(device_, 0);
    return true;
  }

  Mixer& mixer_;
  const int rate_;
  const SdlLibrary* const sdl_ = sdlLibrary();  // null when SDL is missing
  // start() and stop() on the control thread, keepAlive() on the
  // decode-ahead thread: never at the same time (the engine starts that
  // thread after start() and joins it before stop()). SDL's callback
  // touches neither.
  SDL_AudioDeviceID device_ = 0;
  bool subsystem_ = false;
  std::atomic<int> period_{kDeviceFrames};  // written by open(), read anywhere
};

}  // namespace

std::unique_ptr<Output> makeSdlOutput(Mixer& mixer, int rate) {
  return std::make_unique<SdlOutput>(mixer, rate);
}

}  // namespace lentaro::audio
