#include "metrics.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>

namespace lentaro::quality {
namespace {

// Radix-2 complex FFT of one size, in place. Products are written out: the
// library's complex multiply checks for infinities at every step.
class Fft {
 public:
  explicit Fft(size_t n) : n_(n), rev_(n) {
    size_t bits = 0;
    while ((size_t{1} << bits) < n) ++bits;
    for (size_t i = 0; i < n; ++i) {
      size_t r = 0;
      for (size_t b = 0; b < bits; ++b)
        if (i & (size_t{1} << b)) r |= size_t{1} << (bits - 1 - b);
      rev_[i] = r;
    }
    // Twiddles stage after stage, contiguous for each stage.
    for (size_t len = 2; len <= n; len <<= 1)
      for (size_t j = 0; j < len / 2; ++j) {
        const double a = -2 * std::numbers::pi * static_cast<double>(j) / static_cast<double>(len);
        re_.push_back(static_cast<float>(std::cos(a)));
        im_.push_back(static_cast<float>(std::sin(a)));
      }
  }

  // a: n (re, im) pairs.
  void forward(std::vector<float>& a) const {
    for (size_t i = 0; i < n_; ++i)
      if (i < rev_[i]) {
        std::swap(a[2 * i], a[2 * rev_[i]]);
        std::swap(a[2 * i + 1], a[2 * rev_[i] + 1]);
      }
    size_t tw = 0;
    for (size_t len = 2; len <= n_; len <<= 1) {
      const size_t half = len / 2;
      for (size_t i = 0; i < n_; i += len)
        for (size_t j = 0; j < half; ++j) {
          float* u = &a[2 * (i + j)];
          float* v = &a[2 * (i + j + half)];
          const float wr = re_[tw + j], wi = im_[tw + j];
          const float tr = wr * v[0] - wi * v[1], ti = wr * v[1] + wi * v[0];
          v[0] = u[0] - tr;
          v[1] = u[1] - ti;
          u[0] += tr;
          u[1] += ti;
        }
      tw += half;
    }
  }

 private:
  size_t n_;
  std::vector<size_t> rev_;
  std::vector<float> re_, im_;
};

std::vector<float> hann(size_t n) {
  std::vector<float> w(n);
  for (size_t i = 0; i < n; ++i)
    w[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) /
                                                   static_cast<double>(n)));
  return w;
}

// Power spectra of frames centred on multiples of hop (zero beyond the
// signal), bins 0..n/2; calls visit(frame, power) for each.
// Frames are every `stride`-th of the grid; visit gets the grid index.
template <typename Visit>
void stft(const float* x, size_t len, size_t frames, size_t n, size_t hop, size_t stride,
          Visit visit) {
  const std::vector<float> window = hann(n);
  // n real samples as n/2 complex ones (even, odd), one FFT of half the
  // size, then the halves untangled.
  const size_t h = n / 2;
  const Fft fft(h);
  std::vector<float> wr(h + 1), wi(h + 1);
  for (size_t k = 0; k <= h; ++k) {
    const double a = -2 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n);
    wr[k] = static_cast<float>(std::cos(a));
    wi[k] = static_cast<float>(std::sin(a));
  }
  std::vector<float> buf(n);
  std::vector<float> power(h + 1);
  for (size_t f = 0; f < frames; f += stride) {
    const long centre = static_cast<long>(f * hop);
    for (size_t i = 0; i < n; ++i) {
      const long at = centre - static_cast<long>(h) + static_cast<long>(i);
      buf[i] = at >= 0 && at < static_cast<long>(len) ? x[at] * window[i] : 0.0f;
    }
    fft.forward(buf);
    for (size_t k = 0; k <= h; ++k) {
      const size_t a = k % h, b = (h - k) % h;
      const float zr = buf[2 * a], zi = buf[2 * a + 1];
      const float cr = buf[2 * b], ci = -buf[2 * b + 1];         // conj(Z[h - k])
      const float er = 0.5f * (zr + cr), ei = 0.5f * (zi + ci);  // even part
      const float dr = 0.5f * (zr - cr), di = 0.5f * (zi - ci);
      const float orr = di, oi = -dr;  // odd part: (Z - conj) / 2i
      const float xr = er + wr[k] * orr - wi[k] * oi;
      const float xi = ei + wr[k] * oi + wi[k] * orr;
      power[k] = xr * xr + xi * xi;
    }
    visit(f, power);
  }
}

// ---- log-mel -------------------------------------------------------------

constexpr size_t kMelFft = 2048, kMelHop = 512, kBands = 80;
constexpr double kMelLoHz = 30, kMelHiHz = 16000;
constexpr float kFloorBelowPeak = 1e-8f;  // -80 dB

double hzToMel(double hz) {
  return 2595 * std::log10(1 + hz / 700);
}
double melToHz(double mel) {
  return 700 * (std::pow(10, mel / 2595) - 1);
}

struct MelBank {
  struct Band {
    size_t first = 0;
    std::vector<float> weights;
  };
  std::vector<Band> bands;
  MelBank() {
    const double binHz = static_cast<double>(kRate) / kMelFft;
    const double lo = hzToMel(kMelLoHz), hi = hzToMel(kMelHiHz);
    for (size_t b = 0; b < kBands; ++b) {
      const double left = melToHz(lo + (hi - lo) * static_cast<double>(b) / (kBands + 1));
      const double centre = melToHz(lo + (hi - lo) * static_cast<double>(b + 1) / (kBands + 1));
      const double right = melToHz(lo + (hi - lo) * static_cast<double>(b + 2) / (kBands + 1));
      Band band;
      band.first = static_cast<size_t>(std::ceil(left / binHz));
      for (size_t k = band.first; static_cast<double>(k) * binHz < right; ++k) {
        const double hz = static_cast<double>(k) * binHz;
        band.weights.push_back(static_cast<float>(hz <= centre ? (hz - left) / (centre - left)
                                                               : (right - hz) / (right - centre)));
      }
      // Low bands narrower than a bin still get the bin nearest their centre.
      if (std::all_of(band.weights.begin(), band.weights.end(), [](float w) { return w <= 0; })) {
        band.first = static_cast<size_t>(std::lround(centre / binHz));
        band.weights = {1.0f};
      }
      bands.push_back(std::move(band));
    }
  }
};

const MelBank& melBank() {
  static const MelBank bank;
  return bank;
}

size_t melFrames(size_t len) {
  return (len + kMelHop - 1) / kMelHop;
}

// Mel power, frames x bands, of len samples of x (zero beyond xlen); with
// a stride, only every stride-th frame is filled.
std::vector<float> melPower(const float* x, size_t xlen, size_t len, size_t stride = 1) {
  const size_t frames = melFrames(len);
  std::vector<float> out(frames * kBands);
  const MelBank& bank = melBank();
  stft(x, std::min(xlen, len), frames, kMelFft, kMelHop, stride,
       [&](size_t f, const std::vector<float>& p) {
         for (size_t b = 0; b < kBands; ++b) {
           const auto& band = bank.bands[b];
           float sum = 0;
           for (size_t i = 0; i < band.weights.size(); ++i)
             sum += band.weights[i] * p[band.first + i];
           out[f * kBands + b] = sum;
         }
       });
  return out;
}

void toDb(std::vector<float>& power, float floor) {
  for (float& p : power) p = 10 * std::log10(std::max(p, floor));
}

// ---- onsets --------------------------------------------------------------

constexpr size_t kFluxFft = 1024, kFluxHop = 128;
constexpr double kFluxLoHz = 30, kFluxHiHz = 16000;

// Onset strength, one value a hop: the rise of log magnitudes over the
// previous frame, against its neighbours' maximum in frequency so that
// vibrato moving a partial by a bin is no onset.
std::vector<float> onsetFlux(const Audio& a) {
  std::vector<float> mono(a.frames());
  for (size_t i = 0; i < mono.size(); ++i) mono[i] = 0.5f * (a.left[i] + a.right[i]);
  const size_t frames = (mono.size() + kFluxHop - 1) / kFluxHop;
  const double binHz = static_cast<double>(kRate) / kFluxFft;
  const size_t lo = static_cast<size_t>(kFluxLoHz / binHz) + 1;
  const size_t hi = static_cast<size_t>(kFluxHiHz / binHz);
  std::vector<float> flux(frames, 0.0f), prev(kFluxFft / 2 + 1, 0.0f), cur(prev.size());
  stft(mono.data(), mono.size(), frames, kFluxFft, kFluxHop, 1,
       [&](size_t f, const std::vector<float>& p) {
         for (size_t k = 0; k < p.size(); ++k) cur[k] = std::log1p(std::sqrt(p[k]));
         float sum = 0;
         for (size_t k = lo; k <= hi; ++k) {
           const float ref = std::max({prev[k - 1], prev[k], prev[k + 1]});
           sum += std::max(0.0f, cur[k] - ref);
         }
         flux[f] = f == 0 ? 0 : sum;
         std::swap(prev, cur);
       });
  return flux;
}

double fluxFrameSeconds(double frame) {
  return frame * kFluxHop / kRate;
}

// How far above its local mean a peak must rise to be an onset: a fraction
// of a high percentile of the curve.
float fluxThreshold(const std::vector<float>& flux) {
  std::vector<float> sorted(flux);
  std::sort(sorted.begin(), sorted.end());
  return sorted.empty() ? 0 : 0.08f * sorted[sorted.size() * 99 / 100];
}

// A reference onset rises at least this many thresholds.
constexpr double kClearRise = 2;

struct Onset {
  double time = 0;      // seconds
  bool strong = false;  // rose by the full threshold; weaker ones by half of it
  double rise = 0;      // above the local mean, in thresholds
};

// Peaks of the onset curve rising at least delta / 2 above their local
// mean, at least 30 ms apart.
std::vector<Onset> pickOnsets(const std::vector<float>& flux, float delta) {
  const long n = static_cast<long>(flux.size());
  const long peakHalf = 5;                     // ~15 ms: a peak is the largest this near
  const long meanBefore = 35, meanAfter = 10;  // ~100 ms / 30 ms
  const double minGap = 0.03;
  std::vector<Onset> onsets;
  for (long i = 1; i + 1 < n; ++i) {
    const float v = flux[static_cast<size_t>(i)];
    bool peak = v > 0;
    for (long j = std::max(0L, i - peakHalf); peak && j <= std::min(n - 1, i + peakHalf); ++j)
      if (flux[static_cast<size_t>(j)] > v || (j < i && flux[static_cast<size_t>(j)] == v))
        peak = false;
    if (!peak) continue;
    double mean = 0;
    long count = 0;
    for (long j = std::max(0L, i - meanBefore); j <= std::min(n - 1, i + meanAfter); ++j, ++count)
      mean += flux[static_cast<size_t>(j)];
    const double rise = v - mean / static_cast<double>(count);
    if (rise < 0.5 * delta) continue;
    // Parabolic interpolation of the peak, for timing finer than a hop.
    const double a = flux[static_cast<size_t>(i - 1)], b = v, c = flux[static_cast<size_t>(i + 1)];
    const double den = a - 2 * b + c;
    const double offset = den != 0 ? std::clamp(0.5 * (a - c) / den, -0.5, 0.5) : 0.0;
    const double t = fluxFrameSeconds(static_cast<double>(i) + offset);
    if (!onsets.empty() && t - onsets.back().time < minGap) continue;
    onsets.push_back({t, rise >= delta, delta > 0 ? rise / delta : 0.0});
  }
  return onsets;
}

// Lag (samples) maximising the cross-correlation of two onset-strength
// curves, render = ideal delayed by lag; within +-maxSeconds.
long coarseLag(const std::vector<float>& ideal, const std::vector<float>& render,
               double maxSeconds) {
  const long maxLag = static_cast<long>(maxSeconds * kRate / kFluxHop);
  const long ni = static_cast<long>(ideal.size()), nr = static_cast<long>(render.size());
  std::vector<double> corr(static_cast<size_t>(2 * maxLag + 1), 0.0);
  for (long lag = -maxLag; lag <= maxLag; ++lag) {
    double s = 0;
    for (long i = std::max(0L, -lag); i < ni && i + lag < nr; ++i)
      s +=
          static_cast<double>(ideal[static_cast<size_t>(i)]) * render[static_cast<size_t>(i + lag)];
    corr[static_cast<size_t>(lag + maxLag)] = s;
  }
  const size_t best =
      static_cast<size_t>(std::max_element(corr.begin(), corr.end()) - corr.begin());
  double offset = 0;
  if (best > 0 && best + 1 < corr.size()) {
    const double a = corr[best - 1], b = corr[best], c = corr[best + 1];
    const double den = a - 2 * b + c;
    if (den != 0) offset = std::clamp(0.5 * (a - c) / den, -0.5, 0.5);
  }
  return std::lround((static_cast<double>(best) - static_cast<double>(maxLag) + offset) * kFluxHop);
}

}  // namespace

Reference::Reference(const Audio& ideal, const std::vector<double>& scoreOnsets)
    : frames_(ideal.frames()), flux_(onsetFlux(ideal)) {
  std::vector<float> left = melPower(ideal.left.data(), frames_, frames_);
  std::vector<float> right = melPower(ideal.right.data(), frames_, frames_);
  const float peak = std::max(*std::max_element(left.begin(), left.end()),
                              *std::max_element(right.begin(), right.end()));
  floor_ = peak * kFloorBelowPeak;
  toDb(left, floor_);
  toDb(right, floor_);
  melLeft_ = std::move(left);
  melRight_ = std::move(right);
  // The detector's own reading of each real onset: its bias is then the same
  // on both sides.
  threshold_ = fluxThreshold(flux_);
  std::vector<double> rises;
  for (const Onset& o : pickOnsets(flux_, threshold_))
    if (o.strong) {
      detected_.push_back(o.time);
      rises.push_back(o.rise);
    }
  // Each onset of the score takes the nearest detection within 30 ms that
  // stands clear of the threshold (a marginal one could come and go with
  // any small change of level).
  isReference_.assign(detected_.size(), false);
  for (double t : scoreOnsets) {
    size_t best = detected_.size();
    double bestDist = 0.03;
    for (size_t i = 0; i < detected_.size(); ++i) {
      const double d = std::abs(detected_[i] - t);
      if (!isReference_[i] && rises[i] >= kClearRise && d <= bestDist) {
        bestDist = d;
        best = i;
      }
    }
    if (best < detected_.size()) isReference_[best] = true;
  }
  for (size_t i = 0; i < detected_.size(); ++i)
    if (isReference_[i]) onsets_.push_back(detected_[i]);
}

namespace {

// The render shifted by lag, cut or zero-padded to `frames`.
Audio shifted(const Audio& render, long lag, size_t frames) {
  Audio a;
  a.left.assign(frames, 0.0f);
  a.right.assign(frames, 0.0f);
  for (size_t i = 0; i < frames; ++i) {
    const long at = static_cast<long>(i) + lag;
    if (at < 0 || at >= static_cast<long>(render.frames())) continue;
    a.left[i] = render.left[static_cast<size_t>(at)];
    a.right[i] = render.right[static_cast<size_t>(at)];
  }
  return a;
}

}  // namespace

double Reference::melDistance(const Audio& render, long lag, size_t stride) const {
  const Audio a = shifted(render, lag, frames_);
  double total = 0;
  size_t cells = 0;
  for (int c = 0; c < 2; ++c) {
    std::vector<float> db = melPower((c == 0 ? a.left : a.right).data(), frames_, frames_, stride);
    toDb(db, floor_);
    const std::vector<float>& ref = c == 0 ? melLeft_ : melRight_;
    for (size_t f = 0; f < db.size() / kBands; f += stride)
      for (size_t b = f * kBands; b < (f + 1) * kBands; ++b, ++cells)
        total += std::abs(db[b] - ref[b]);
  }
  return total / static_cast<double>(cells);
}

Verdict Reference::compare(const Audio& render) const {
  Verdict v;
  const std::vector<float> flux = onsetFlux(render);
  // Coarse offset from the onset curves, then a hill climb on the distance.
  // The climb looks at every fourth frame only; the offset it finds is
  // within a sample or two of the full search's.
  long lag = coarseLag(flux_, flux, 1.0);
  constexpr size_t kSearchStride = 4;
  double best = melDistance(render, lag, kSearchStride);
  for (long step : {64L, 16L, 4L, 1L}) {
    for (bool moved = true; moved;) {
      moved = false;
      for (long d : {-step, step}) {
        const double m = melDistance(render, lag + d, kSearchStride);
        if (m < best) {
          best = m;
          lag += d;
          moved = true;
          break;
        }
      }
    }
  }
  v.melDb = melDistance(render, lag, 1);
  v.lag = lag;

  // Onset timing after the same offset, on the ideal's frame grid, with
  // the ideal's threshold (a render at the same level is read the same way).
  // Onsets of the ideal and the render within 50 ms pair up, closest pairs
  // first and the reference onsets before the ideal's other detections
  // (which must not take a reference onset's partner). A weaker render peak
  // is enough for a pair, so that a softened onset counts as late or early
  // rather than missed.
  const std::vector<Onset> found = pickOnsets(onsetFlux(shifted(render, lag, frames_)), threshold_);
  struct Pair {
    double dist;
    size_t ideal, render;
  };
  std::vector<Pair> pairs[2];  // [0]: reference onsets, [1]: the others
  for (size_t k = 0; k < detected_.size(); ++k)
    for (size_t i = 0; i < found.size(); ++i) {
      const double d = std::abs(found[i].time - detected_[k]);
      if (d <= 0.05) pairs[isReference_[k] ? 0 : 1].push_back({d, k, i});
    }
  std::vector<bool> used(found.size(), false), matched(detected_.size(), false);
  std::vector<double> diffs;
  for (auto& group : pairs) {
    std::sort(group.begin(), group.end(),
              [](const Pair& x, const Pair& y) { return x.dist < y.dist; });
    for (const Pair& p : group) {
      if (used[p.render] || matched[p.ideal]) continue;
      used[p.render] = matched[p.ideal] = true;
      if (isReference_[p.ideal]) diffs.push_back(found[p.render].time - detected_[p.ideal]);
    }
  }
  for (size_t k = 0; k < detected_.size(); ++k)
    if (isReference_[k] && !matched[k]) ++v.missed;
  v.onsets = static_cast<int>(onsets_.size());
  // Full-strength render onsets that no onset of the ideal took: doubled
  // or invented transients.
  const double span = static_cast<double>(frames_) / kRate;
  for (size_t i = 0; i < found.size(); ++i)
    if (!used[i] && found[i].strong && found[i].time < span) ++v.extra;
  if (!diffs.empty()) {
    const double mean =
        std::accumulate(diffs.begin(), diffs.end(), 0.0) / static_cast<double>(diffs.size());
    double var = 0;
    for (double d : diffs) var += (d - mean) * (d - mean);
    v.onsetSdMs = 1000 * std::sqrt(var / static_cast<double>(diffs.size()));
  }
  return v;
}

}  // namespace lentaro::quality
