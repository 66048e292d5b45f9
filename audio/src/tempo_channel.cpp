#include "tempo_channel.h"

#include <algorithm>
#include <cmath>

#include "lentaro/bass.h"

namespace lentaro::audio {

namespace {
// What a control call prepares so that the next callback has sound: a bit
// more than one device period.
constexpr int kPrefillFrames = 6 * kChunkFrames;
// Volume moves at most this much per frame: a full swing takes 5 ms, short
// enough to feel immediate, long enough to avoid zipper noise.
constexpr float kRampStep = 1.0f / 220.0f;
}  // namespace

TempoChannel::TempoChannel(std::shared_ptr<DecodeSource> source, bool loop, bool ownsSource)
    : source_(std::move(source)),
      ownsSource_(ownsSource),
      stretcher_(static_cast<int>(defaultStretcherKind())),
      stage_(source_, loop, stretcher()) {
  seekPos_.store(source_->position, std::memory_order_relaxed);
  pubStart_.store(source_->position, std::memory_order_relaxed);
  pubEnd_.store(source_->position, std::memory_order_relaxed);
}

// ---- control ----------------------------------------------------------

bool TempoChannel::changeState(int from, int to) {
  uint64_t word = control_.load(std::memory_order_acquire);
  do {
    if (from >= 0 && stateOf(word) != from) return false;
  } while (
      !control_.compare_exchange_weak(word, pack(epochOf(word), to), std::memory_order_acq_rel));
  return true;
}

void TempoChannel::play(bool restart) {
  ProducerLock lock(producerMutex_);
  // The generation cannot change here: only restartAt() moves it, under
  // this lock.
  const uint64_t epoch = epochOf(control_.load(std::memory_order_acquire));
  if (restart || endedEpoch_.load(std::memory_order_acquire) == epoch) {
    restartAt(lock, 0);
  } else {
    fill(lock, kPrefillFrames);
  }
  changeState(-1, kPlaying);
}

void TempoChannel::pause() {
  changeState(kPlaying, kPaused);
}

void TempoChannel::stop() {
  changeState(-1, kStopped);
}

int TempoChannel::activity() const {
  const int s = stateOf(control_.load(std::memory_order_acquire));
  if (s == kPlaying && stalled_.load(std::memory_order_relaxed)) return BASS_ACTIVE_STALLED;
  return s;
}

void TempoChannel::seek(int64_t frame) {
  ProducerLock lock(producerMutex_);
  restartAt(lock, frame);
}

void TempoChannel::setTempo(float percent) {
  if (!trainerOn_) {
    tempo_.store(percent, std::memory_order_relaxed);
    return;
  }
  ProducerLock lock(producerMutex_);
  stage_.trainer().setByHand(percent);
  tempo_.store(percent, std::memory_order_relaxed);
}

void TempoChannel::setStretcher(StretcherKind kind) {
  ownStretcher_.store(true, std::memory_order_relaxed);
  stretcher_.store(static_cast<int>(kind), std::memory_order_relaxed);
}

void TempoChannel::followDefaultStretcher(StretcherKind kind) {
  if (!ownStretcher_.load(std::memory_order_relaxed))
    stretcher_.store(static_cast<int>(kind), std::memory_order_relaxed);
}

void TempoChannel::setTrainer(const TrainerSettings* settings) {
  ProducerLock lock(producerMutex_);
  trainerOn_ = settings != nullptr;
  if (!settings) {
    stage_.trainer().stop();
    // A step made but not yet reported is dropped: the tempo stays the one
    // reported, and the producer goes back to it.
    float unreported = 0;
    stage_.takeTrainerStep(&unreported);
    return;
  }
  // The producer applies it with its next chunk, like a hand tempo.
  tempo_.store(stage_.trainer().start(*settings), std::memory_order_relaxed);
  tempoChanges_.fetch_add(1, std::memory_order_release);
}

bool TempoChannel::trainerBackOff() {
  ProducerLock lock(producerMutex_);
  if (!trainerOn_) return false;
  const float before = stage_.trainer().tempo();
  const float after = stage_.trainer().backOff();
  if (after != before) {
    tempo_.store(after, std::memory_order_relaxed);
    tempoChanges_.fetch_add(1, std::memory_order_release);
  }
  return true;
}

void TempoChannel::setCountIn(const CountInSettings& settings) {
  ProducerLock lock(producerMutex_);
  stage_.setCountIn(settings);
  // Standing at the loop's start: the count-in comes before it plays.
  if (!isPlaying() && stage_.countsIn() && position(false) == stage_.rangeStart()) {
    restartAt(lock, stage_.rangeStart());
  }
}

bool TempoChannel::setLoop(int64_t start, int64_t end) {
  ProducerLock lock(producerMutex_);
  const int64_t heard = position(false);
  const uint64_t pass = heardPass();
  const bool keep = isPlaying() && stage_.keepsPlaying(start, end, heard, pass);
  if (!stage_.setLoop(start, end)) return false;
  loopStart_.store(start, std::memory_order_relaxed);
  loopEnd_.store(end, std::memory_order_relaxed);
  passBase_.store(pass, std::memory_order_release);
  // A place outside the new range goes to its start.
  if (!keep) restartAt(lock, heard);
  return true;
}

void TempoChannel::loop(int64_t* start, int64_t* end) const {
  *start = loopStart_.load(std::memory_order_relaxed);
  *end = loopEnd_.load(std::memory_order_relaxed);
}

uint64_t TempoChannel::heardPass() const {
  const uint64_t req = epochOf(control_.load(std::memory_order_acquire));
  if (pubEpoch_.load(std::memory_order_acquire) != req) {
    return seekPass_.load(std::memory_order_relaxed);
  }
  return pubPass_.load(std::memory_order_relaxed);
}

uint64_t TempoChannel::loopPass() const {
  const uint64_t heard = heardPass();
  const uint64_t base = passBase_.load(std::memory_order_acquire);
  return heard > base ? heard - base : 0;
}

void TempoChannel::restartAt(const ProducerLock& lock, int64_t frame) {
  frame = stage_.inRange(frame);
  const uint64_t pass = heardPass();
  seekPos_.store(frame, std::memory_order_relaxed);
  seekPass_.store(pass, std::memory_order_relaxed);
  // A new generation, same state. The consumer drops everything older
  // from here on, and an end it hears in an older one no longer counts.
  uint64_t word = control_.load(std::memory_order_acquire);
  while (!control_.compare_exchange_weak(word, pack(epochOf(word) + 1, stateOf(word)),
                                         std::memory_order_acq_rel)) {
  }
  producedEpoch_ = epochOf(word) + 1;
  writtenThisEpoch_ = 0;
  stage_.useStretcher(stretcher());
  stage_.reset(frame, pass, tempo_.load(std::memory_order_relaxed),
               pitch_.load(std::memory_order_relaxed));
  fill(lock, kPrefillFrames);
}

int64_t TempoChannel::position(bool atBlockStart) const {
  const uint64_t req = epochOf(control_.load(std::memory_order_acquire));
  if (pubEpoch_.load(std::memory_order_acquire) != req) {
    return seekPos_.load(std::memory_order_relaxed);
  }
  return atBlockStart ? pubStart_.load(std::memory_order_relaxed)
                      : pubEnd_.load(std::memory_order_relaxed);
}

bool TempoChannel::attachFeed(EncoderFeed* feed) {
  for (auto& slot : feeds_) {
    EncoderFeed* expected = nullptr;
    if (slot.compare_exchange_strong(expected, feed, std::memory_order_seq_cst)) return true;
  }
  return false;
}

void TempoChannel::detachFeed(EncoderFeed* feed) {
  for (auto& slot : feeds_) {
    EncoderFeed* expected = feed;
    // Sequentially consistent with the mixer's callback counter: either a
    // callback sees the empty slot, or the waiter sees that callback run.
    if (slot.compare_exchange_strong(expected, nullptr, std::memory_order_seq_cst)) return;
  }
}

// ---- producer ---------------------------------------------------------

bool TempoChannel::pump(int targetFrames) {
  ProducerLock lock(producerMutex_);
  return fill(lock, targetFrames) > 0;
}

size_t TempoChannel::fill(const ProducerLock&, int targetFrames) {
  stage_.setParams(tempo_.load(std::memory_order_relaxed), pitch_.load(std::memory_order_relaxed),
                   stretcher());
  const size_t wanted = static_cast<size_t>((targetFrames + kChunkFrames - 1) / kChunkFrames);
  size_t made = 0;
  // The ring reads in order, so whatever it holds beyond the chunks
  // written since the last restart is stale and about to be dropped.
  while (!stage_.ended() && std::min(ring_.readSpace(), writtenThisEpoch_) < wanted &&
         ring_.writeSpace() > 0) {
    stage_.produce(scratch_);
    scratch_.epoch = producedEpoch_;
    const size_t n = ring_.write(&scratch_, 1);
    writtenThisEpoch_ += n;
    made += n;
    // Reported when made, one queue ahead of being heard: the control's
    // slider follows the trainer.
    float stepped = 0;
    if (stage_.takeTrainerStep(&stepped)) {
      tempo_.store(stepped, std::memory_order_relaxed);
      tempoChanges_.fetch_add(1, std::memory_order_release);
    }
  }
  return made;
}

// ---- consumer ---------------------------------------------------------

int64_t TempoChannel::placeOf(const Chunk& c, int offset) {
  if (!(c.flags & Chunk::kLoops)) {
    return static_cast<int64_t>(std::clamp(c.srcStart + offset * c.slope, c.placeLo, c.placeHi));
  }
  // After the last frame of a pass comes the range's start; otherwise an
  // estimate a little past the range is held inside it.
  if (offset >= c.frames && (c.flags & Chunk::kPassEnds)) return static_cast<int64_t>(c.placeLo);
  const auto p = static_cast<int64_t>(c.srcStart + offset * c.slope);
  return std::clamp(p, static_cast<int64_t>(c.placeLo), static_cast<int64_t>(c.placeHi) - 1);
}

void TempoChannel::dropStale() {
  const uint64_t req = epochOf(control_.load(std::memory_order_acquire));
  if (cur_.epoch < req) curOffset_ = cur_.frames;
  while (curOffset_ >= cur_.frames || cur_.epoch < req) {
    if (ring_.readSpace() == 0) return;
    ring_.read(&cur_, 1);
    curOffset_ = 0;
    if (cur_.epoch >= req) return;
  }
}

int TempoChannel::render(float* out, int frames, uint64_t callback, float* monitor,
                         bool* monitorUsed) {
  // A seek may land while this runs; chunks of its new generation are
  // newer than req and play, and the end below is checked against the
  // generation of the chunk that ended, not against req.
  const uint64_t req = epochOf(control_.load(std::memory_order_acquire));
  const float target = volume_.load(std::memory_order_relaxed);
  if (!gainPrimed_) {
    gain_ = target;  // the first sound starts at the set volume, no fade-in
    gainPrimed_ = true;
  }
  int done = 0;
  bool started = false;
  int64_t start = 0;
  bool ended = false;
  while (done < frames) {
    if (cur_.epoch < req) curOffset_ = cur_.frames;
    if (curOffset_ >= cur_.frames) {
      if (cur_.epoch >= req && (cur_.flags & Chunk::kEnd)) {
        ended = true;
        break;
      }
      if (ring_.read(&cur_, 1) == 0) break;
      curOffset_ = 0;
      continue;
    }
    if (!started) {
      start = placeOf(cur_, curOffset_);
      started = true;
    }
    const int n = std::min(frames - done, cur_.frames - curOffset_);
    const float* in = cur_.samples + 2 * curOffset_;
    float* o = out + 2 * done;
    if (monitor && (cur_.flags & (Chunk::kCue | Chunk::kCueRecorded)) == Chunk::kCue) {
      // Clicks for the ears only: the music (silent meanwhile) stays in out.
      if (!*monitorUsed) {
        std::fill(monitor, monitor + 2 * frames, 0.0f);
        *monitorUsed = true;
      }
      std::fill(o, o + 2 * n, 0.0f);
      o = monitor + 2 * done;
    }
    for (int i = 0; i < n; ++i) {
      if (gain_ != target) {
        gain_ = gain_ < target ? std::min(target, gain_ + kRampStep)
                               : std::max(target, gain_ - kRampStep);
      }
      o[2 * i] = in[2 * i] * gain_;
      o[2 * i + 1] = in[2 * i + 1] * gain_;
    }
    curOffset_ += n;
    done += n;
  }
  if (cur_.epoch >= req) {
    const int64_t end = placeOf(cur_, curOffset_);
    // The device plays the whole callback's buffer next: its start is
    // where this channel's first block of it began, unless a seek came
    // in between.
    if (callback != startCallback_ || cur_.epoch != startEpoch_) {
      pubStart_.store(started ? start : end, std::memory_order_relaxed);
      startCallback_ = callback;
      startEpoch_ = cur_.epoch;
    }
    pubEnd_.store(end, std::memory_order_relaxed);
    const bool passEnded = curOffset_ >= cur_.frames && (cur_.flags & Chunk::kPassEnds);
    pubPass_.store(cur_.pass + (passEnded ? 1 : 0), std::memory_order_relaxed);
    pubEpoch_.store(cur_.epoch, std::memory_order_release);
  }
  stalled_.store(done < frames && !ended, std::memory_order_relaxed);
  if (ended) {
    endedEpoch_.store(cur_.epoch, std::memory_order_release);
    // Stops only a channel still playing in the generation that ended: a
    // seek, pause or stop since then makes this fail and stands.
    uint64_t expected = pack(cur_.epoch, kPlaying);
    control_.compare_exchange_strong(expected, pack(cur_.epoch, kStopped),
                                     std::memory_order_acq_rel);
  }
  return done;
}

}  // namespace lentaro::audio
