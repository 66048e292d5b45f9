// Measuring a signal for the stretch and splice tests: a sine and a chord
// to play, and what a listener would notice at a splice — energy above
// 8 kHz (a click is a burst of it) and the level in short windows (a dip).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>
#include <vector>

namespace lentaro::audio::test {

// Windows of 2 ms at 44.1 kHz: short enough to see a splice's click.
constexpr int kHfWindow = 88;

inline float sineAt(double hz, int64_t frame, int rate = 44100) {
  return static_cast<float>(
      std::sin(2 * std::numbers::pi * hz * static_cast<double>(frame) / rate));
}

// A major triad on `root` Hz with three partials a note (falling 6 dB
// each), peak about 0.55: periodic only over long spans, unlike a sine.
inline float chordAt(double root, int64_t frame, int rate = 44100) {
  static constexpr double kRatios[] = {1.0, 1.259921, 1.498307};
  double v = 0;
  for (double r : kRatios) {
    for (int h = 1; h <= 3; ++h) {
      v += 0.1 / h *
           std::sin(2 * std::numbers::pi * root * r * h * static_cast<double>(frame) / rate +
                    0.7 * h + r);
    }
  }
  return static_cast<float>(v);
}

// One channel of interleaved int16 frames as floats.
inline std::vector<float> channelOf(const std::vector<int16_t>& interleaved, int channel = 0) {
  std::vector<float> out(interleaved.size() / 2);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = interleaved[2 * i + static_cast<size_t>(channel)] / 32768.0f;
  return out;
}

// Rounded to 16 bits, as the output is: its noise floor is the ordinary
// high-frequency content of a clean signal.
inline std::vector<float> quantised(std::vector<float> x) {
  for (float& v : x) v = std::round(std::clamp(v, -1.0f, 1.0f) * 32767.0f) / 32768.0f;
  return x;
}

// Energy above 8 kHz in consecutive 2 ms windows: a 4th-order Butterworth
// high-pass (two biquads) at 44.1 kHz.
inline std::vector<double> highFrequencyEnergy(const std::vector<float>& x) {
  struct Biquad {
    double b0, b1, b2, a1, a2, z1 = 0, z2 = 0;
    double run(double in) {
      const double out = b0 * in + z1;
      z1 = b1 * in - a1 * out + z2;
      z2 = b2 * in - a2 * out;
      return out;
    }
  };
  const double w = 2 * std::numbers::pi * 8000.0 / 44100.0;
  std::vector<Biquad> stages;
  for (double q : {0.5411961, 1.3065630}) {
    const double alpha = std::sin(w) / (2 * q), c = std::cos(w), a0 = 1 + alpha;
    stages.push_back(
        {(1 + c) / 2 / a0, -(1 + c) / a0, (1 + c) / 2 / a0, -2 * c / a0, (1 - alpha) / a0});
  }
  std::vector<double> energy(x.size() / kHfWindow, 0.0);
  for (size_t i = 0; i < energy.size() * kHfWindow; ++i) {
    double v = x[i];
    for (Biquad& s : stages) v = s.run(v);
    energy[i / kHfWindow] += v * v;
  }
  return energy;
}

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

inline double decibels(double ratio) {
  return 10 * std::log10(std::max(ratio, 1e-30));
}

// The loudest 2 ms of high frequencies among the windows that overlap
// [from, to), in dB against the ordinary output: the median of the windows
// inside each reference range [first, second) that lie at least 20 ms away
// from [from, to), the louder range's (on either side of a change the
// output has its own ordinary level of high frequencies).
inline double hfExcess(const std::vector<float>& x, size_t from, size_t to,
                       const std::vector<std::pair<size_t, size_t>>& references) {
  const std::vector<double> e = highFrequencyEnergy(x);
  const size_t away = 882;
  double worst = 0;
  for (size_t w = 0; w < e.size(); ++w) {
    const size_t begin = w * kHfWindow, end = begin + kHfWindow;
    if (end > from && begin < to) worst = std::max(worst, e[w]);
  }
  double ordinary = 1e-20;
  for (const auto& [refFrom, refTo] : references) {
    std::vector<double> windows;
    for (size_t w = 0; w < e.size(); ++w) {
      const size_t begin = w * kHfWindow, end = begin + kHfWindow;
      if (begin >= refFrom && end <= refTo && (end + away <= from || begin >= to + away)) {
        windows.push_back(e[w]);
      }
    }
    if (!windows.empty()) ordinary = std::max(ordinary, median(windows));
  }
  return decibels(worst / ordinary);
}

inline double rmsOf(const std::vector<float>& x, size_t from, size_t to) {
  double s = 0;
  for (size_t i = from; i < to; ++i) s += static_cast<double>(x[i]) * x[i];
  return std::sqrt(s / static_cast<double>(std::max<size_t>(1, to - from)));
}

// How far the level dips where [from, to) was spliced: the quietest
// `window`-frame window that overlaps it against the quietest one at
// least 20 ms away from it (from `settle` on), in dB (negative: a dip).
// A chord's level beats a little by itself; that is not the splice's.
inline double spliceDip(const std::vector<float>& x, size_t from, size_t to, size_t settle = 0,
                        size_t window = 220) {
  double near = 1e9, far = 1e9;
  const size_t away = 882;
  for (size_t i = settle; i + window <= x.size(); i += window / 4) {
    const double r = rmsOf(x, i, i + window);
    if (i + window > from && i < to)
      near = std::min(near, r);
    else if (i + window + away <= from || i >= to + away)
      far = std::min(far, r);
  }
  return 20 * std::log10(std::max(near, 1e-9) / std::max(far, 1e-9));
}

// Frequency by rising zero crossings, interpolated, over [from, to).
inline double crossingFrequency(const std::vector<float>& x, size_t from, size_t to,
                                int rate = 44100) {
  double first = -1, last = -1;
  int crossings = 0;
  for (size_t i = std::max<size_t>(from, 1); i < to && i < x.size(); ++i) {
    const double a = x[i - 1], b = x[i];
    if (a < 0 && b >= 0) {
      const double t = static_cast<double>(i - 1) + a / (a - b);
      if (first < 0) first = t;
      last = t;
      ++crossings;
    }
  }
  return crossings < 2 ? 0 : (crossings - 1) * rate / (last - first);
}

}  // namespace lentaro::audio::test
