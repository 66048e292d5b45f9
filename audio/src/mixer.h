// Mixes the playing tempo channels into the output and copies each one's
// sound to its encoder feeds (count-in clicks only when the channel asks:
// otherwise they reach the output alone).
//
// render() is the output callback (one thread at a time: the device
// thread, the no-sound thread or an offline render); it reads the channel
// slots without locks. add()/remove() are control calls (the UI thread,
// never under the engine's table lock); remove() returns only once no
// callback can still be using the channel, so the caller may then release
// it. waitForCallback() is the same wait for anything else a callback may
// hold (an encoder feed taken off a channel); any thread but the
// callback's.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace lentaro::audio {

class TempoChannel;

class Mixer {
 public:
  static constexpr int kSlots = 256;
  static constexpr int kMaxBlock = 1024;

  Mixer();

  // False when all kSlots are taken.
  bool add(TempoChannel* channel);
  void remove(TempoChannel* channel);
  // Returns once a callback running at the time of the call has finished.
  void waitForCallback() const;

  // Callback: frames of interleaved 16-bit stereo.
  void render(int16_t* out, int frames);

  // Frames rendered since construction (the output clock).
  uint64_t framesRendered() const { return rendered_.load(std::memory_order_relaxed); }

 private:
  void renderBlock(int16_t* out, int frames, uint64_t callback);

  // Written by add()/remove(), read by the callback.
  std::array<std::atomic<TempoChannel*>, kSlots> slots_{};
  // Callback-written: odd while a callback runs; waitForCallback() waits
  // for it to move on.
  std::atomic<uint64_t> callbackSeq_{0};
  std::atomic<uint64_t> rendered_{0};  // callback-written, read anywhere
  // Callback-only scratch, sized once here.
  std::vector<float> mix_;
  std::vector<float> channel_;
  std::vector<float> monitor_;  // what a channel plays for the output only
  std::vector<int16_t> pcm_;
};

// Float to 16-bit with clipping; 1.0 maps to 32767, -1.0 to -32768, and a
// value k/32768 maps back to exactly k.
inline int16_t toPcm16(float v) {
  const float s = v * 32768.0f;
  if (s >= 32767.0f) return 32767;
  if (s <= -32768.0f) return -32768;
  return static_cast<int16_t>(s < 0 ? s - 0.5f : s + 0.5f);
}

}  // namespace lentaro::audio
