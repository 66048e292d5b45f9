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
      loop_(loop),
      ownsSource_(ownsSource),
      length_(source_->lengthFrames),
      stage_(source_, loop) {
  seekPos_.store(source_->position, std::memory_order_relaxed);
  pubStart_.store(source_->position, std::memory_order_relaxed);
  pubEnd_.store(source_->position, std::memory_order_relaxed);
}

// ---- control ----------------------------------------------------------

void TempoChannel::play(bool restart) {
  {
    std::lock_guard<std::mutex> lock(producerMutex_);
    if (restart || endReached_.load(std::memory_order_acquire)) {
      restartAt(0);
    } else {
      fill(kPrefillFrames);
    }
  }
  state_.store(kPlaying, std::memory_order_release);
}

void TempoChannel::pause() {
  int expected = kPlaying;
  state_.compare_exchange_strong(expected, kPaused, std::memory_order_acq_rel);
}

void TempoChannel::stop() {
  state_.store(kStopped, std::memory_order_release);
}

int TempoChannel::activity() const {
  const int s = state_.load(std::memory_order_acquire);
  if (s == kPlaying && stalled_.load(std::memory_order_relaxed)) return BASS_ACTIVE_STALLED;
  return s;
}

void TempoChannel::seek(int64_t frame) {
  std::lock_guard<std::mutex> lock(producerMutex_);
  restartAt(frame);
}

void TempoChannel::restartAt(int64_t frame) {
  seekPos_.store(frame, std::memory_order_relaxed);
  endReached_.store(false, std::memory_order_relaxed);
  // The consumer drops everything older than the new epoch from here on.
  producedEpoch_ = requestEpoch_.fetch_add(1, std::memory_order_acq_rel) + 1;
  writtenThisEpoch_ = 0;
  stage_.reset(frame);
  fill(kPrefillFrames);
}

int64_t TempoChannel::position(bool atBlockStart) const {
  const uint64_t req = requestEpoch_.load(std::memory_order_acquire);
  if (pubEpoch_.load(std::memory_order_acquire) != req) {
    return seekPos_.load(std::memory_order_relaxed);
  }
  return atBlockStart ? pubStart_.load(std::memory_order_relaxed)
                      : pubEnd_.load(std::memory_order_relaxed);
}

bool TempoChannel::attachFeed(EncoderFeed* feed) {
  for (auto& slot : feeds_) {
    EncoderFeed* expected = nullptr;
    if (slot.compare_exchange_strong(expected, feed, std::memory_order_acq_rel)) return true;
  }
  return false;
}

// ---- producer ---------------------------------------------------------

bool TempoChannel::pump(int targetFrames) {
  std::lock_guard<std::mutex> lock(producerMutex_);
  return fill(targetFrames) > 0;
}

size_t TempoChannel::fill(int targetFrames) {
  stage_.setParams(tempo_.load(std::memory_order_relaxed), pitch_.load(std::memory_order_relaxed));
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
  }
  return made;
}

// ---- consumer ---------------------------------------------------------

int64_t TempoChannel::placeOf(const Chunk& c, int offset) const {
  double p = c.srcStart + offset * c.slope;
  const double len = static_cast<double>(length_);
  if (loop_ && len > 0 && p >= len) p = std::fmod(p, len);
  p = std::clamp(p, 0.0, len > 0 ? len : 0.0);
  return static_cast<int64_t>(p);
}

void TempoChannel::dropStale() {
  const uint64_t req = requestEpoch_.load(std::memory_order_acquire);
  if (cur_.epoch < req) curOffset_ = cur_.frames;
  while (curOffset_ >= cur_.frames || cur_.epoch < req) {
    if (ring_.readSpace() == 0) return;
    ring_.read(&cur_, 1);
    curOffset_ = 0;
    if (cur_.epoch >= req) return;
  }
}

int TempoChannel::render(float* out, int frames) {
  const uint64_t req = requestEpoch_.load(std::memory_order_acquire);
  const float target = volume_.load(std::memory_order_relaxed);
  if (!gainPrimed_) {
    gain_ = target;  // the first sound starts at the set volume, no fade-in
    gainPrimed_ = true;
  }
  int done = 0;
  bool started = false;
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
      pubStart_.store(placeOf(cur_, curOffset_), std::memory_order_relaxed);
      started = true;
    }
    const int n = std::min(frames - done, cur_.frames - curOffset_);
    const float* in = cur_.samples + 2 * curOffset_;
    float* o = out + 2 * done;
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
    if (!started) pubStart_.store(end, std::memory_order_relaxed);
    pubEnd_.store(end, std::memory_order_relaxed);
    pubEpoch_.store(req, std::memory_order_release);
  }
  stalled_.store(done < frames && !ended, std::memory_order_relaxed);
  if (ended) {
    endReached_.store(true, std::memory_order_release);
    int expected = kPlaying;
    state_.compare_exchange_strong(expected, kStopped, std::memory_order_acq_rel);
  }
  return done;
}

}  // namespace lentaro::audio
