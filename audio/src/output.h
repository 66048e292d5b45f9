// Where the mixed sound goes. Every output calls Mixer::render from a
// single thread of its own (or, for the manual output, from whoever calls
// BASS_Lentaro_RenderOutput).
#pragma once

#include <memory>

namespace lentaro::audio {

class Mixer;

class Output {
 public:
  enum class Kind { kDevice, kNoSound, kManual };

  virtual ~Output() = default;
  virtual Kind kind() const = 0;
  // Frames the mixer is asked for at a time.
  virtual int periodFrames() const { return 512; }
  // Starts calling the mixer. False when no device could be opened.
  virtual bool start() = 0;
  // Stops calling the mixer; once it returns no callback runs.
  virtual void stop() = 0;
  // Called now and then from the engine's own thread: reopens a device
  // that went away. Returns false while there is none.
  virtual bool keepAlive() { return true; }
};

// The system's default output through SDL2.
std::unique_ptr<Output> makeDeviceOutput(Mixer& mixer, int rate);
// No sound; a thread of the engine renders and drops blocks in real time.
std::unique_ptr<Output> makeNoSoundOutput(Mixer& mixer, int rate);
// No thread at all; rendering is pulled.
std::unique_ptr<Output> makeManualOutput();

}  // namespace lentaro::audio
