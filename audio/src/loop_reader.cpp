#include "loop_reader.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lentaro::audio {

namespace {
// The angle of frame k of an n-frame fade, 0 to pi/2. It starts and ends
// with zero slope: a fade whose slope jumps at its ends leaves a faint
// high-frequency trace there.
double fadeAngle(int64_t k, int64_t n) {
  const double x = (static_cast<double>(k) + 0.5) / static_cast<double>(n);
  return std::numbers::pi / 2 * (x - std::sin(2 * std::numbers::pi * x) / (2 * std::numbers::pi));
}
// Equal-power weights: out^2 + in^2 = 1 at every frame.
float fadeOutWeight(int64_t k, int64_t n) {
  return static_cast<float>(std::cos(fadeAngle(k, n)));
}
float fadeInWeight(int64_t k, int64_t n) {
  return static_cast<float>(std::sin(fadeAngle(k, n)));
}
}  // namespace

LoopReader::LoopReader(Decoder& decoder, int channels, int rate, int64_t length, int64_t place)
    : decoder_(decoder),
      channels_(channels),
      length_(length),
      fadeFrames_(std::max<int64_t>(1, std::llround(kFadeSeconds * rate))),
      end_(length),
      pos_(place) {}

int64_t LoopReader::fadeFor(int64_t start, int64_t end) const {
  return std::min(fadeFrames_, (end - start) / 2);
}

bool LoopReader::setRange(int64_t start, int64_t end, bool loop) {
  if (!loop) {
    start_ = 0;
    end_ = length_;
    loop_ = false;
    fade_ = pre_ = post_ = 0;
    head_.clear();
    return true;
  }
  if (start < 0 || end > length_ || end - start < 2) return false;
  const int64_t fade = fadeFor(start, end);
  const int64_t pre = std::min(fade, start);
  const int64_t post = std::min(fade - pre, length_ - end);
  std::vector<float> head(static_cast<size_t>((pre + post) * channels_));
  if (pre + post > 0) {
    if (!decoder_.seek(start - pre)) return false;
    readDecoder(head.data(), static_cast<long>(pre + post));
    // Back to where reading stands; in the part of a crossfade after a
    // seam the decoder runs after the old `end`.
    const int64_t at = state_ == State::kAfterSeam ? end_ + (pos_ - start_) : pos_;
    decoder_.seek(std::clamp<int64_t>(at, 0, length_));
  }
  start_ = start;
  end_ = end;
  loop_ = true;
  fade_ = fade;
  pre_ = pre;
  post_ = post;
  head_ = std::move(head);
  return true;
}

bool LoopReader::seek(int64_t place) {
  place = std::clamp<int64_t>(place, 0, loop_ ? end_ - 1 : length_);
  if (!decoder_.seek(place)) return false;
  pos_ = place;
  state_ = State::kPlain;
  exhausted_ = false;
  return true;
}

bool LoopReader::seekAfterSilence(int64_t place, int64_t silence) {
  if (!seek(place)) return false;
  leadInEnd_ = pos_;
  pos_ -= std::max<int64_t>(0, silence);
  afterLeadIn_ = State::kPlain;
  if (pos_ < leadInEnd_) state_ = State::kLeadIn;
  return true;
}

bool LoopReader::startWithFadeIn(int64_t silence) {
  const int64_t from = start_ - pre_;
  if (!decoder_.seek(from)) return false;
  leadInEnd_ = from;
  pos_ = from - std::max<int64_t>(0, silence);
  afterLeadIn_ = pre_ > 0 ? State::kFadingIn : State::kPlain;
  state_ = pos_ < from ? State::kLeadIn : afterLeadIn_;
  exhausted_ = false;
  return true;
}

void LoopReader::arm(Seam how) {
  if (state_ != State::kPlain || !loop_ || pos_ < seamAhead()) return;
  armed_ = how;
  state_ = State::kArmed;
}

long LoopReader::readDecoder(float* out, long frames) {
  long n = 0;
  while (n < frames) {
    const long got = decoder_.read(out + n * channels_, frames - n);
    if (got <= 0) break;
    n += got;
  }
  // A decoder that ends early inside a loop: silence keeps the places
  // right.
  std::fill(out + n * channels_, out + frames * channels_, 0.0f);
  return n;
}

void LoopReader::weigh(float* out, long frames) {
  const int64_t blend = pre_ + post_;
  for (long i = 0; i < frames; ++i) {
    const int64_t p = pos_ + i;
    float* f = out + i * channels_;
    int64_t k = -1;  // frame of a crossfade with head_
    float w = 1.0f;  // weight of a fade on its own
    switch (state_) {
      case State::kArmed:
        if (armed_ == Seam::kFadeOut) {
          if (p >= end_ - fade_) w = fadeOutWeight(p - (end_ - fade_), fade_);
        } else if (p >= end_ - pre_) {
          k = p - (end_ - pre_);
        }
        break;
      case State::kAfterSeam:
        k = pre_ + (p - start_);
        break;
      case State::kFadingIn:
        w = fadeInWeight(p - (start_ - pre_), pre_);
        break;
      case State::kPlain:
      case State::kSilent:
      case State::kLeadIn:
        break;
    }
    if (k >= 0) {
      const float out_w = fadeOutWeight(k, blend);
      const float in_w = fadeInWeight(k, blend);
      const float* h = head_.data() + k * channels_;
      for (int c = 0; c < channels_; ++c) f[c] = out_w * f[c] + in_w * h[c];
    } else if (w != 1.0f) {
      for (int c = 0; c < channels_; ++c) f[c] *= w;
    }
  }
}

void LoopReader::passSeam() {
  pos_ = start_;
  if (armed_ == Seam::kFadeOut) {
    state_ = State::kSilent;
  } else if (post_ > 0) {
    state_ = State::kAfterSeam;  // the decoder goes on after `end`
  } else {
    decoder_.seek(start_);
    state_ = State::kPlain;
  }
}

long LoopReader::read(float* out, long maxFrames, Event* event) {
  *event = Event::kNone;
  long n = 0;
  while (n < maxFrames) {
    float* o = out + n * channels_;
    const long room = maxFrames - n;
    if (state_ == State::kSilent) {
      std::fill(o, o + room * channels_, 0.0f);
      return maxFrames;
    }
    if (state_ == State::kLeadIn) {
      const auto run = static_cast<long>(std::min<int64_t>(room, leadInEnd_ - pos_));
      std::fill(o, o + run * channels_, 0.0f);
      pos_ += run;
      n += run;
      if (pos_ >= leadInEnd_) state_ = afterLeadIn_;
      continue;
    }
    if (!loop_) {
      const auto want = static_cast<long>(std::min<int64_t>(room, length_ - pos_));
      if (want <= 0 || exhausted_) {
        if (n == 0) *event = Event::kEnd;
        return n;
      }
      long got = 0;
      while (got < want) {
        const long r = decoder_.read(o + got * channels_, want - got);
        if (r <= 0) {
          exhausted_ = true;
          break;
        }
        got += r;
      }
      pos_ += got;
      n += got;
      continue;
    }
    int64_t limit = end_;
    switch (state_) {
      case State::kPlain:
        if (pos_ >= seamAhead()) {
          *event = Event::kSeamAhead;
          return n;
        }
        limit = seamAhead();
        break;
      case State::kArmed:
        if (pos_ >= end_) {
          passSeam();
          *event = Event::kSeam;
          return n;
        }
        limit = end_;
        break;
      case State::kAfterSeam:
        limit = start_ + post_;
        break;
      case State::kLeadIn:
        break;
      case State::kFadingIn:
        limit = start_;
        break;
      case State::kSilent:
        break;
    }
    const auto run = static_cast<long>(std::min<int64_t>(room, limit - pos_));
    readDecoder(o, run);
    weigh(o, run);
    pos_ += run;
    n += run;
    if (state_ == State::kAfterSeam && pos_ >= start_ + post_) {
      decoder_.seek(pos_);
      state_ = State::kPlain;
    } else if (state_ == State::kFadingIn && pos_ >= start_) {
      state_ = State::kPlain;
    }
  }
  return n;
}

}  // namespace lentaro::audio
