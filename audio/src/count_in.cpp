#include "count_in.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "chunk.h"

namespace lentaro::audio {

ClickTrack::ClickTrack() : click_(static_cast<size_t>(std::lround(kClickSeconds * kOutputRate))) {
  // A sine that starts at zero under a decay that reaches zero smoothly at
  // the click's end: no step at either end, so nothing but the tone.
  const auto n = static_cast<double>(click_.size());
  for (size_t i = 0; i < click_.size(); ++i) {
    const double t = static_cast<double>(i);
    const double decay = std::exp(-t / (n / 4)) * 0.5 * (1 + std::cos(std::numbers::pi * t / n));
    click_[i] =
        static_cast<float>(decay * std::sin(2 * std::numbers::pi * kClickHz * t / kOutputRate));
  }
}

void ClickTrack::begin(int clicks, double beatFrames, int64_t totalFrames) {
  clicks_ = clicks;
  beat_ = beatFrames;
  total_ = std::max<int64_t>(0, totalFrames);
  at_ = 0;
}

int ClickTrack::render(float* stereo, int maxFrames) {
  const auto n = static_cast<int>(std::min<int64_t>(maxFrames, total_ - at_));
  const auto len = static_cast<int64_t>(click_.size());
  for (int i = 0; i < n; ++i) {
    const int64_t f = at_ + i;
    // The beat this frame is in, and how far into it.
    auto beat = static_cast<int64_t>(std::floor(static_cast<double>(f) / beat_));
    int64_t into = f - std::llround(static_cast<double>(beat) * beat_);
    if (into < 0) into = f - std::llround(static_cast<double>(--beat) * beat_);
    float v = 0;
    if (beat >= 0 && beat < clicks_ && into < len) {
      v = click_[static_cast<size_t>(into)] * (beat == 0 ? kAccentLevel : kBeatLevel);
    }
    stereo[2 * i] = v;
    stereo[2 * i + 1] = v;
  }
  at_ += n;
  return n;
}

}  // namespace lentaro::audio
