// A playable channel: a decoding source behind the tempo stage, with
// volume, play state, position and attached encoder feeds.
//
// Three sides, each with its own thread rule:
// - control (the UI thread, under the engine's table lock or holding a
//   reference): play, pause, stop, seek, attributes, position;
// - producer (pump(): the decode-ahead thread, or a control call or an
//   offline render, serialised by the producer lock): fills the ring;
// - consumer (render(), dropStale(): the output callback only): takes
//   chunks from the ring, never blocks, allocates or locks.
// They meet only in atomics and the single-producer/single-consumer ring.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "chunk.h"
#include "decode_source.h"
#include "spsc_ring.h"
#include "tempo_stage.h"

namespace lentaro::audio {

class EncoderFeed;

class TempoChannel {
 public:
  enum State : int { kStopped = 0, kPlaying = 1, kPaused = 3 };
  static constexpr int kMaxFeeds = 4;

  TempoChannel(std::shared_ptr<DecodeSource> source, bool loop, bool ownsSource);
  TempoChannel(const TempoChannel&) = delete;
  TempoChannel& operator=(const TempoChannel&) = delete;

  // ---- control ----
  void play(bool restart);
  void pause();
  void stop();
  int activity() const;  // BASS_ACTIVE_*
  // Sample-exact; prepares the first chunks from the new place before it
  // returns, so the next callback already plays them.
  void seek(int64_t frame);
  void setTempo(float percent) { tempo_.store(percent, std::memory_order_relaxed); }
  void setPitch(float semitones) { pitch_.store(semitones, std::memory_order_relaxed); }
  void setVolume(float v) { volume_.store(v, std::memory_order_relaxed); }
  float tempo() const { return tempo_.load(std::memory_order_relaxed); }
  float pitch() const { return pitch_.load(std::memory_order_relaxed); }
  float volume() const { return volume_.load(std::memory_order_relaxed); }
  // The audible source frame. atBlockStart: the output plays the last
  // rendered block after the call (a device); otherwise the rendered sound
  // counts as heard (offline render, the no-sound device).
  int64_t position(bool atBlockStart) const;
  const std::shared_ptr<DecodeSource>& source() const { return source_; }
  bool ownsSource() const { return ownsSource_; }
  bool attachFeed(EncoderFeed* feed);

  // ---- producer ----
  // Applies pending attributes and fills the ring to `targetFrames` queued
  // frames. Returns true if it made a chunk.
  bool pump(int targetFrames);

  // ---- consumer ----
  bool isPlaying() const { return state_.load(std::memory_order_acquire) == kPlaying; }
  // Renders up to `frames` stereo frames after volume into out; returns
  // how many it had (fewer when stalled or at the end).
  int render(float* out, int frames);
  // Drops chunks from before the last seek.
  void dropStale();
  EncoderFeed* feed(int i) const { return feeds_[i].load(std::memory_order_acquire); }

  static constexpr int kRingChunks = 24;

 private:
  void restartAt(int64_t frame);  // producer lock held
  size_t fill(int targetFrames);  // producer lock held; returns the chunks made
  int64_t placeOf(const Chunk& c, int offset) const;

  const std::shared_ptr<DecodeSource> source_;
  const bool loop_;
  const bool ownsSource_;
  const int64_t length_;

  // Control -> producer and consumer.
  std::atomic<float> tempo_{0};
  std::atomic<float> pitch_{0};
  std::atomic<float> volume_{1};
  std::atomic<int> state_{kStopped};
  std::atomic<uint64_t> requestEpoch_{1};
  std::atomic<int64_t> seekPos_{0};
  std::array<std::atomic<EncoderFeed*>, kMaxFeeds> feeds_{};

  // Producer.
  std::mutex producerMutex_;
  TempoStage stage_;
  uint64_t producedEpoch_ = 1;
  size_t writtenThisEpoch_ = 0;
  Chunk scratch_;

  SpscRing<Chunk> ring_{kRingChunks};

  // Consumer.
  Chunk cur_;  // epoch 0: stale, so the first render takes from the ring
  int curOffset_ = 0;
  float gain_ = 1;
  bool gainPrimed_ = false;

  // Consumer -> control.
  std::atomic<uint64_t> pubEpoch_{0};
  std::atomic<int64_t> pubStart_{0};
  std::atomic<int64_t> pubEnd_{0};
  std::atomic<bool> stalled_{false};
  std::atomic<bool> endReached_{false};
};

}  // namespace lentaro::audio
