// Where the mixed sound goes. Every output calls Mixer::render from a
// single thread of its own (or, for the manual output, from whoever calls
// BASS_Lentaro_RenderOutput).
#pragma once

#include <chrono>
#include <memory>

namespace lentaro::audio {

class Mixer;

class Output {
 public:
  enum class Kind { kDevice, kNoSound, kManual };

  virtual ~Output() = default;
  virtual Kind kind() const = 0;
  // Frames the mixer is asked for at a time. Any thread.
  virtual int periodFrames() const { return 512; }
  // Control thread (init and shutdown). Starts calling the mixer. False
  // when no device could be opened.
  virtual bool start() = 0;
  // Control thread, after the decode-ahead thread has ended. Stops calling
  // the mixer; once it returns no callback runs.
  virtual void stop() = 0;
  // Called every keepAliveInterval() from the engine's decode-ahead thread
  // (never alongside start() or stop()): reopens a device that went away,
  // possibly with another period. Returns false while there is none; the
  // channels keep their state and go on where they were once it is back.
  virtual bool keepAlive() { return true; }
  virtual std::chrono::milliseconds keepAliveInterval() const {
    return std::chrono::milliseconds(250);
  }
};

// The system's default output: a PulseAudio server when one answers
// (unless SDL_AUDIODRIVER names another driver), SDL2 otherwise.
std::unique_ptr<Output> makeDeviceOutput(Mixer& mixer, int rate);
// Those two routes on their own.
std::unique_ptr<Output> makePulseOutput(Mixer& mixer, int rate);
std::unique_ptr<Output> makeSdlOutput(Mixer& mixer, int rate);
// No sound; a thread of the engine renders and drops blocks in real time.
std::unique_ptr<Output> makeNoSoundOutput(Mixer& mixer, int rate);
// No thread at all; rendering is pulled.
std::unique_ptr<Output> makeManualOutput();

}  // namespace lentaro::audio
