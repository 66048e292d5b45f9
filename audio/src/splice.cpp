#include "splice.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace lentaro::audio {
namespace {

// Mix of the new sound at fade position t in (0, 1): a raised cosine,
// smooth at both ends, so the fade itself adds no high frequencies.
double mixAt(int i, int frames) {
  return 0.5 - 0.5 * std::cos(std::numbers::pi * (i + 0.5) / frames);
}

// How much the two sounds count at fade position i: where both are heard.
double weightAt(int i, int frames) {
  const double x = mixAt(i, frames);
  return x * (1.0 - x);
}

}  // namespace

SpliceMatch bestSpliceOffset(const float* prev, const float* next, int channels, int frames,
                             int maxOffset) {
  SpliceMatch best;
  frames = std::min(frames, kMaxSpliceFrames);
  if (frames <= 0) return best;
  maxOffset = std::max(0, maxOffset);
  // The old sound weighted once; each offset is then two dot products.
  const int n = frames * channels;
  std::array<float, kMaxSpliceFrames * 2> weighted;
  std::array<float, kMaxSpliceFrames * 2> weights;
  double prevEnergy = 0;
  for (int i = 0; i < frames; ++i) {
    const auto w = static_cast<float>(weightAt(i, frames));
    for (int c = 0; c < channels; ++c) {
      const int s = i * channels + c;
      weights[static_cast<size_t>(s)] = w;
      weighted[static_cast<size_t>(s)] = w * prev[s];
      prevEnergy += static_cast<double>(w) * prev[s] * prev[s];
    }
  }
  const double mid = maxOffset / 2.0;
  // Among offsets that match about as well, the one nearest the middle
  // moves the place least: a sine matches once a period.
  constexpr double kNearBias = 0.02;
  double bestScore = -1e9;
  best.offset = maxOffset / 2;
  for (int k = 0; k <= maxOffset; ++k) {
    const float* v = next + k * channels;
    float cross = 0, energy = 0;
    for (int s = 0; s < n; ++s) {
      cross += weighted[static_cast<size_t>(s)] * v[s];
      energy += weights[static_cast<size_t>(s)] * v[s] * v[s];
    }
    const double denom = std::sqrt(prevEnergy * energy);
    const double r = denom > 1e-12 ? cross / denom : 0.0;
    const double score = r - (mid > 0 ? kNearBias * std::abs(k - mid) / mid : 0.0);
    if (score > bestScore) {
      bestScore = score;
      best.offset = k;
      best.correlation = r;
    }
  }
  return best;
}

void spliceFade(const float* prev, const float* next, int channels, int frames, double correlation,
                float* out, int done, int total) {
  if (total <= 0) total = frames;
  // Gains a and b of two signals of equal power P and correlation r give
  // (a^2 + b^2 + 2rab) P: dividing by its root keeps P through the fade.
  // An anti-correlated match is treated as unrelated: boosting to make up
  // for cancellation would only amplify what is left.
  const double r = std::clamp(correlation, 0.0, 1.0);
  for (int i = 0; i < frames; ++i) {
    const double b = mixAt(done + i, total);
    const double a = 1.0 - b;
    const double norm = 1.0 / std::sqrt(a * a + b * b + 2.0 * r * a * b);
    const auto ga = static_cast<float>(a * norm);
    const auto gb = static_cast<float>(b * norm);
    for (int c = 0; c < channels; ++c) {
      const int s = i * channels + c;
      out[s] = ga * prev[s] + gb * next[s];
    }
  }
}

}  // namespace lentaro::audio
