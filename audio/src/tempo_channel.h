// A playable channel: a decoding source behind the tempo stage, with
// volume, play state, position and attached encoder feeds.
//
// Three sides, each with its own thread rule:
// - control (the UI thread, holding a reference taken under the engine's
//   table lock): play, pause, stop, seek, attributes, position;
// - producer (pump(): the decode-ahead thread, or a control call or an
//   offline render, serialised by producerMutex_): fills the ring;
// - consumer (render(), dropStale(): the output callback only): takes
//   chunks from the ring, never blocks, allocates or locks.
// They meet only in atomics and the single-producer/single-consumer ring.
//
// The tempo atomic is written by control calls, and by the producer when
// the speed trainer steps at a seam (under the producer lock; with the
// trainer on, control calls write it under that lock too).
//
// The play state and the seek generation share one atomic word, so the
// callback can stop the channel at the end of the stream only if no seek
// (and no pause or stop) came in between: an end heard in an old
// generation never undoes a newer seek.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "chunk.h"
#include "count_in.h"
#include "decode_source.h"
#include "speed_trainer.h"
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
  // restart, or a stream that was heard to its end since the last seek:
  // from the start. Otherwise on from where it stands.
  void play(bool restart);
  void pause();
  void stop();
  int activity() const;  // BASS_ACTIVE_*
  // Sample-exact; prepares the first chunks from the new place before it
  // returns, so the next callback already plays them. Leaves the play
  // state as it is.
  void seek(int64_t frame);
  // With the speed trainer on, a tempo set by hand becomes its current
  // step (taking the producer lock).
  void setTempo(float percent);
  void setPitch(float semitones) { pitch_.store(semitones, std::memory_order_relaxed); }
  void setVolume(float v) { volume_.store(v, std::memory_order_relaxed); }
  // The channel's own stretcher, from the next chunk made on (a sound
  // already stretched is spliced into the new one's). Until it is given
  // one, a channel follows the engine's default.
  void setStretcher(StretcherKind kind);
  void followDefaultStretcher(StretcherKind kind);
  StretcherKind stretcher() const {
    return static_cast<StretcherKind>(stretcher_.load(std::memory_order_relaxed));
  }
  float tempo() const { return tempo_.load(std::memory_order_relaxed); }
  float pitch() const { return pitch_.load(std::memory_order_relaxed); }
  float volume() const { return volume_.load(std::memory_order_relaxed); }
  // The audible source frame. atBlockStart: the output plays what the
  // last callback rendered after it returns (a device), so the place is
  // where that callback began; otherwise the rendered sound counts as
  // heard (offline render, the no-sound device).
  int64_t position(bool atBlockStart) const;
  // A loop range [start, end) in source frames; 0/0: the channel's own
  // (the whole file, looping as created). Takes effect at once: an audible
  // place outside the new range jumps to its start, one inside plays on
  // (restarting there only when what was made ahead no longer fits). The
  // count of passes starts again. False when the range is refused.
  bool setLoop(int64_t start, int64_t end);
  // The range last set (0/0: none). Any thread.
  void loop(int64_t* start, int64_t* end) const;
  // Passes heard to their end since the range was last set. Any thread.
  uint64_t loopPass() const;
  // nullptr switches the trainer off (the tempo stays). On: the tempo goes
  // to the start tempo at once.
  void setTrainer(const TrainerSettings* settings);
  // False when the trainer is off.
  bool trainerBackOff();
  // Tempo changes the trainer has made (start, steps, back-offs). Any
  // thread.
  uint64_t tempoChanges() const { return tempoChanges_.load(std::memory_order_acquire); }
  // A channel that is not playing and stands at its loop's start counts
  // in when it next plays.
  void setCountIn(const CountInSettings& settings);
  const std::shared_ptr<DecodeSource>& source() const { return source_; }
  bool ownsSource() const { return ownsSource_; }
  // Any thread. False when all kMaxFeeds slots are taken. After
  // detachFeed() a callback that read the feed before may still be using
  // it: the caller waits for the mixer (Mixer::waitForCallback) before
  // releasing it.
  bool attachFeed(EncoderFeed* feed);
  void detachFeed(EncoderFeed* feed);

  // ---- producer ----
  // Applies pending attributes and fills the ring to `targetFrames` queued
  // frames. Returns true if it made a chunk.
  bool pump(int targetFrames);

  // ---- consumer ----
  bool isPlaying() const { return stateOf(control_.load(std::memory_order_acquire)) == kPlaying; }
  // Renders up to `frames` stereo frames after volume into out; returns
  // how many it had (fewer when stalled or at the end). `callback` names
  // the output callback this block belongs to (one callback may take
  // several blocks); it must differ from one callback to the next.
  // Count-in clicks that are not for the encoders go to `monitor` (the same
  // frames, zero elsewhere), which is then written and *monitorUsed set;
  // without a monitor they go to out.
  int render(float* out, int frames, uint64_t callback, float* monitor = nullptr,
             bool* monitorUsed = nullptr);
  // Drops chunks from before the last seek.
  void dropStale();
  EncoderFeed* feed(int i) const { return feeds_[i].load(std::memory_order_seq_cst); }

  static constexpr int kRingChunks = 24;

 private:
  using ProducerLock = std::lock_guard<std::mutex>;

  // control_ packs the seek generation (upper bits) and the State (lowest
  // two bits).
  static constexpr uint64_t kStateBits = 3;
  static uint64_t epochOf(uint64_t word) { return word >> 2; }
  static int stateOf(uint64_t word) { return static_cast<int>(word & kStateBits); }
  static uint64_t pack(uint64_t epoch, int state) {
    return epoch << 2 | static_cast<uint64_t>(state);
  }
  // Sets the state, keeping the generation. `from` < 0: from any state.
  bool changeState(int from, int to);

  void restartAt(const ProducerLock&, int64_t frame);
  size_t fill(const ProducerLock&, int targetFrames);  // returns the chunks made
  // The pass the audible sound is in (in the chunks' count).
  uint64_t heardPass() const;
  static int64_t placeOf(const Chunk& c, int offset);

  const std::shared_ptr<DecodeSource> source_;
  const bool ownsSource_;

  // Control -> producer and consumer (atomics, written by control calls;
  // the generation in control_ changes only under producerMutex_, the
  // state also from the callback at the end of the stream; tempo_ also by
  // the producer, under producerMutex_, when the trainer steps).
  std::atomic<float> tempo_{0};
  std::atomic<float> pitch_{0};
  std::atomic<float> volume_{1};
  // Written by control calls (any thread; the last one wins): the
  // stretcher, and whether the channel was given its own. Read by the
  // producer at every fill.
  std::atomic<int> stretcher_;
  std::atomic<bool> ownStretcher_{false};
  std::atomic<uint64_t> control_{pack(1, kStopped)};
  std::atomic<int64_t> seekPos_{0};
  // Written with seekPos_: the pass heard until the new place is.
  std::atomic<uint64_t> seekPass_{0};
  // Written by control calls under producerMutex_, read by queries from
  // any thread: the loop range as set, and the pass count it started at.
  std::atomic<int64_t> loopStart_{0};
  std::atomic<int64_t> loopEnd_{0};
  std::atomic<uint64_t> passBase_{0};
  // Bumped under producerMutex_ (by control calls and the producer).
  std::atomic<uint64_t> tempoChanges_{0};
  // Control thread only: the trainer is on, so hand tempos go through it.
  bool trainerOn_ = false;
  // Filled by attachFeed() (control), emptied by detachFeed() (the
  // engine's finisher thread), read by the callback.
  std::array<std::atomic<EncoderFeed*>, kMaxFeeds> feeds_{};

  // Producer: guarded by producerMutex_.
  std::mutex producerMutex_;
  TempoStage stage_;
  uint64_t producedEpoch_ = 1;
  size_t writtenThisEpoch_ = 0;
  Chunk scratch_;

  // Written by the producer, read by the consumer (its own rules).
  SpscRing<Chunk> ring_{kRingChunks};

  // Consumer: the output callback's thread only.
  Chunk cur_;  // epoch 0: stale, so the first render takes from the ring
  int curOffset_ = 0;
  float gain_ = 1;
  bool gainPrimed_ = false;
  // The callback and the generation pubStart_ was last published for.
  uint64_t startCallback_ = 0;
  uint64_t startEpoch_ = 0;

  // Consumer -> control (atomics, written by the callback only).
  std::atomic<uint64_t> pubEpoch_{0};
  std::atomic<int64_t> pubStart_{0};
  std::atomic<int64_t> pubEnd_{0};
  std::atomic<uint64_t> pubPass_{0};
  std::atomic<bool> stalled_{false};
  // The generation whose stream was heard to its end (0: none yet).
  std::atomic<uint64_t> endedEpoch_{0};
};

}  // namespace lentaro::audio
