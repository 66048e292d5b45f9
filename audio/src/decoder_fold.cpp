#include "decoder_fold.h"

#include <cstddef>

namespace lentaro::audio {

namespace {
constexpr float kHalfPower = 0.70710678f;
}

FoldWeights foldWeights(const std::vector<Seat>& seats) {
  FoldWeights w;
  for (Seat s : seats) {
    float l = 0.5f;
    float r = 0.5f;
    switch (s) {
      case Seat::Left:
        l = 1.0f, r = 0.0f;
        break;
      case Seat::Right:
        l = 0.0f, r = 1.0f;
        break;
      case Seat::Centre:
        l = kHalfPower, r = kHalfPower;
        break;
      case Seat::RearLeft:
        l = kHalfPower, r = 0.0f;
        break;
      case Seat::RearRight:
        l = 0.0f, r = kHalfPower;
        break;
      case Seat::Lfe:
        l = 0.0f, r = 0.0f;
        break;
      case Seat::Unknown:
        break;
    }
    w.left.push_back(l);
    w.right.push_back(r);
  }
  float sumL = 0.0f;
  float sumR = 0.0f;
  for (size_t i = 0; i < seats.size(); ++i) {
    sumL += w.left[i];
    sumR += w.right[i];
  }
  for (size_t i = 0; i < seats.size(); ++i) {
    if (sumL > 1.0f) w.left[i] /= sumL;
    if (sumR > 1.0f) w.right[i] /= sumR;
  }
  return w;
}

std::vector<Seat> defaultSeats(int channels) {
  static const Seat kWave[] = {Seat::Left,     Seat::Right,     Seat::Centre,   Seat::Lfe,
                               Seat::RearLeft, Seat::RearRight, Seat::RearLeft, Seat::RearRight};
  std::vector<Seat> seats;
  for (int c = 0; c < channels; ++c) seats.push_back(c < 8 ? kWave[c] : Seat::Unknown);
  return seats;
}

void foldToStereo(const FoldWeights& w, const float* in, float* out, long frames) {
  const size_t n = w.left.size();
  for (long f = 0; f < frames; ++f) {
    float l = 0.0f;
    float r = 0.0f;
    for (size_t c = 0; c < n; ++c) {
      l += in[c] * w.left[c];
      r += in[c] * w.right[c];
    }
    out[0] = l;
    out[1] = r;
    in += n;
    out += 2;
  }
}

}  // namespace lentaro::audio
