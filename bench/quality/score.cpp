#include "score.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

namespace lentaro::quality {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
// Partials above this, before or after transposing, are left out: the
// source must not alias and every stretcher low-passes near Nyquist anyway.
constexpr double kTopHz = 20000;
// An envelope below this (-100 dB) is silence.
constexpr double kSilence = 1e-5;
const double kLifeInTau = -std::log(kSilence);

constexpr double kBeat = 0.5;    // 120 beats a minute
constexpr double kLeadIn = 0.3;  // stretchers may treat the very start apart
constexpr int kBars = 6;

struct Partial {
  double ratio = 1;  // frequency over the sound's f0
  double amp = 1;
  double decay = 0;  // seconds to 1/e; 0: none
  double phase = 0;
};

struct Sound {
  double start = 0;       // seconds
  double hold = 100;      // seconds from start to the release
  double f0 = 0;          // Hz
  double attack = 0.002;  // raised-cosine rise, seconds; never stretched
  double swell = 0;       // slow raised-cosine rise, seconds; 0: none
  double release = 0.1;   // seconds to 1/e after the hold
  double vibratoHz = 0, vibratoSemitones = 0, vibratoDelay = 0;
  double sweepFrom = 1, sweepTau = 0;  // f0 times sweepFrom, falling to f0
  double pan = 0;                      // -1 left .. 1 right
  double gain = 1;
  bool sharp = true;
  std::vector<Partial> partials;
};

// Fixed sequence, the same on every platform (the standard distributions
// are not).
class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed) {}
  double uniform() {  // [0, 1)
    uint64_t z = (s_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
  }
  double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  size_t index(size_t n) {
    return std::min(n - 1, static_cast<size_t>(uniform() * static_cast<double>(n)));
  }

 private:
  uint64_t s_;
};

double midiHz(double m) {
  return 440.0 * std::exp2((m - 69) / 12);
}

double beatTime(int bar, double beat) {
  return kLeadIn + (bar * 4 + beat) * kBeat;
}

std::vector<Partial> harmonics(Rng& rng, int n, double tilt, double decay0, double decaySlope,
                               double inharmonicity) {
  std::vector<Partial> out;
  for (int k = 1; k <= n; ++k) {
    Partial p;
    p.ratio = k * std::sqrt(1 + inharmonicity * k * k);
    p.amp = 1 / std::pow(k, tilt);
    p.decay = decay0 > 0 ? decay0 / (1 + decaySlope * (k - 1)) : 0;
    p.phase = rng.range(0, kTwoPi);
    out.push_back(p);
  }
  return out;
}

// Noise as many sinusoids at random frequencies: transposes exactly.
std::vector<Partial> noiseBand(Rng& rng, int n, double f0, double loHz, double hiHz, double decay) {
  std::vector<Partial> out;
  for (int i = 0; i < n; ++i) {
    Partial p;
    p.ratio = std::exp(rng.range(std::log(loHz), std::log(hiHz))) / f0;
    p.amp = 1 / std::sqrt(static_cast<double>(n));
    p.decay = decay * rng.range(0.8, 1.2);
    p.phase = rng.range(0, kTwoPi);
    out.push_back(p);
  }
  return out;
}

std::vector<Sound> buildScore() {
  Rng rng(20240611);
  std::vector<Sound> score;
  // Chords (MIDI notes) and bass roots, one per bar, then a closing C.
  const int chords[kBars + 1][3] = {{60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62},
                                    {60, 64, 67}, {55, 59, 62}, {60, 64, 67}};
  const int roots[kBars + 1] = {36, 33, 29, 31, 36, 31, 36};

  for (int bar = 0; bar <= kBars; ++bar) {
    const bool last = bar == kBars;
    // Sustained chord: slow swell, no decay, spread across the stereo field.
    const double pans[3] = {-0.6, 0.1, 0.6};
    for (int v = 0; v < 3; ++v) {
      Sound s;
      s.start = beatTime(bar, 0);
      s.hold = last ? 1.0 : 4 * kBeat - 0.1;
      s.f0 = midiHz(chords[bar][v]);
      s.attack = 0.005;
      s.swell = 0.15;
      s.release = 0.2;
      s.pan = pans[v];
      s.gain = 0.12;
      s.sharp = false;
      s.partials = harmonics(rng, 6, 1.5, 0, 0, 0);
      score.push_back(s);
    }
    // Bass: plucked, syncopated, centred.
    struct Step {
      double beat, length;
      int interval;
    };
    const Step bassLine[] = {{0, 1, 0}, {1.5, 0.5, 0}, {2, 1, 7}, {3, 0.5, 12}, {3.5, 0.5, 0}};
    for (const Step& st : bassLine) {
      if (last && st.beat > 0) break;
      Sound s;
      s.start = beatTime(bar, st.beat);
      s.hold = last ? 1.0 : st.length * 0.9 * kBeat;
      s.f0 = midiHz(roots[bar] + st.interval);
      s.attack = 0.003;
      s.release = 0.06;
      s.gain = 0.35;
      s.partials = harmonics(rng, 8, 1.3, 1.2, 0.3, 0);
      score.push_back(s);
    }
    // Drums: kick on 1 and 3, snare on 2 and 4, closed hi-hat on the off-beats.
    for (int beat = 0; beat < (last ? 1 : 4); ++beat) {
      Sound s;
      s.start = beatTime(bar, beat);
      s.attack = 0.001;
      if (beat % 2 == 0) {
        s.f0 = 48;
        s.sweepFrom = 3;
        s.sweepTau = 0.03;
        s.gain = 0.6;
        s.partials = {{1, 1, 0.22, 0}, {2, 0.25, 0.08, 0}};
        score.push_back(s);
      } else {
        s.f0 = 190;
        s.pan = -0.15;
        s.gain = 0.22;
        s.partials = {{1, 1, 0.07, 0}, {1.6, 0.6, 0.05, 1}};
        score.push_back(s);
        s.gain = 0.3;
        s.partials = noiseBand(rng, 120, s.f0, 1200, 9000, 0.11);
        score.push_back(s);
      }
      if (!last) {
        Sound h;
        h.start = beatTime(bar, beat + 0.5);
        h.f0 = 1000;
        h.attack = 0.0005;
        h.pan = 0.5;
        h.gain = 0.15;
        h.partials = noiseBand(rng, 90, h.f0, 6000, 13000, 0.035);
        score.push_back(h);
      }
    }
    // Plucked melody, piano-like (slightly inharmonic, upper partials die
    // first), in sixteenth-note positions with some syncopation.
    const int rhythms[4][8] = {{0, 2, 4, 6, 8, 10, 12, 14},
                               {0, 3, 6, 8, 10, 11, 12, 14},
                               {0, 2, 3, 4, 8, 10, 12, 13},
                               {0, 4, 6, 7, 8, 12, 14, 15}};
    const int scale[] = {60, 62, 64, 67, 69, 72, 74, 76, 79};
    const int* rhythm = rhythms[bar % 4];
    const int notes = last ? 1 : 8;
    for (int i = 0; i < notes; ++i) {
      Sound s;
      s.start = beatTime(bar, rhythm[i] / 4.0);
      const double next = i + 1 < 8 ? rhythm[i + 1] / 4.0 : 4.0;
      s.hold = last ? 1.0 : (next - rhythm[i] / 4.0) * kBeat;
      s.f0 = midiHz(last ? 72 : scale[rng.index(std::size(scale))]);
      s.attack = 0.002;
      s.release = 0.08;
      s.pan = 0.3;
      s.gain = 0.22;
      s.partials = harmonics(rng, 12, 1.0, 0.8, 0.4, 3e-4);
      score.push_back(s);
    }
  }
  // A singing voice with delayed vibrato over bars 3 to 6, in half notes.
  const int voice[] = {76, 74, 72, 76, 79, 77, 76, 74};
  for (int i = 0; i < 8; ++i) {
    Sound s;
    s.start = beatTime(2, 2 * i);
    s.hold = 0.9;
    s.f0 = midiHz(voice[i]);
    s.attack = 0.005;
    s.swell = 0.08;
    s.release = 0.12;
    s.vibratoHz = 5.5;
    s.vibratoSemitones = 0.3;
    s.vibratoDelay = 0.25;
    s.pan = -0.35;
    s.gain = 0.16;
    s.sharp = false;
    s.partials = harmonics(rng, 8, 1.0, 0, 0, 0);
    score.push_back(s);
  }
  return score;
}

const std::vector<Sound>& score() {
  static const std::vector<Sound> s = buildScore();
  return s;
}

double raisedCosine(double u, double length) {
  return u >= length ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * u / length);
}

// Adds one sound, transformed, to the mono buffer `mono` (index 0 = time 0).
void addSound(const Sound& s, const Transform& t, std::vector<double>& mono, size_t& first,
              size_t& last) {
  const double f = t.tempo;
  const double transpose = std::exp2(t.semitones / 12);
  const bool natural = t.decay == Decay::Natural;
  const double start = s.start / f;
  const double hold = s.hold / f;
  const double release = natural ? s.release : s.release / f;
  const double swell = s.swell / f;
  const double vibratoHz = s.vibratoHz * f;
  const double vibratoDelay = s.vibratoDelay / f;
  const double sweepTau = s.sweepTau / f;
  const bool modulated = s.vibratoSemitones > 0 || s.sweepFrom != 1;
  const double maxMod = std::max(std::exp2(s.vibratoSemitones / 12), s.sweepFrom);

  // Until the envelope or, when every partial decays, the slowest partial
  // has gone below kSilence.
  double life = hold + kLifeInTau * release;
  double slowest = 0;
  for (const Partial& p : s.partials) {
    if (p.decay <= 0) {
      slowest = std::numeric_limits<double>::infinity();
      break;
    }
    slowest = std::max(slowest, natural ? p.decay : p.decay / f);
  }
  life = std::min(life, kLifeInTau * slowest);
  const size_t n0 = static_cast<size_t>(std::ceil(start * kRate));
  const size_t n1 =
      std::min(mono.size(), static_cast<size_t>(std::floor((start + life) * kRate)) + 1);
  if (n0 >= n1) return;
  const size_t len = n1 - n0;
  const double u0 = static_cast<double>(n0) / kRate - start;
  first = n0;
  last = n1;

  // The envelope all partials share, and the frequency multiplier.
  std::vector<double> env(len), mod(modulated ? len : 0);
  for (size_t j = 0; j < len; ++j) {
    const double u = u0 + static_cast<double>(j) / kRate;
    double e = raisedCosine(u, s.attack);
    if (swell > 0) e *= raisedCosine(u, swell);
    if (u > hold) e *= std::exp(-(u - hold) / release);
    env[j] = e * s.gain;
    if (modulated) {
      double m = 1;
      if (s.vibratoSemitones > 0 && u > vibratoDelay) {
        const double depth = s.vibratoSemitones * std::min(1.0, (u - vibratoDelay) / vibratoDelay);
        m *= std::exp2(depth / 12 * std::sin(kTwoPi * vibratoHz * (u - vibratoDelay)));
      }
      if (s.sweepFrom != 1) m *= 1 + (s.sweepFrom - 1) * std::exp(-u / sweepTau);
      mod[j] = m;
    }
  }

  std::vector<double> acc(len, 0.0);
  for (const Partial& p : s.partials) {
    const double hz = s.f0 * p.ratio * transpose;
    if (s.f0 * p.ratio * maxMod > kTopHz || hz * maxMod > kTopHz) continue;
    const double decay = p.decay > 0 ? (natural ? p.decay : p.decay / f) : 0;
    size_t plen = len;
    if (decay > 0)
      plen =
          std::min(len, static_cast<size_t>(std::max(0.0, (kLifeInTau * decay - u0) * kRate)) + 1);
    const double step = decay > 0 ? std::exp(-1 / (decay * kRate)) : 1.0;
    const double amp0 = p.amp * (decay > 0 ? std::exp(-u0 / decay) : 1.0);
    if (!modulated) {
      // Rotating phasor: exact frequency and decay without a sine a sample.
      const double phase0 = p.phase + kTwoPi * hz * u0, turn = kTwoPi * hz / kRate;
      double zr = amp0 * std::cos(phase0), zi = amp0 * std::sin(phase0);
      const double wr = step * std::cos(turn), wi = step * std::sin(turn);
      for (size_t j = 0; j < plen; ++j) {
        acc[j] += env[j] * zi;
        const double r = zr * wr - zi * wi;
        zi = zr * wi + zi * wr;
        zr = r;
      }
    } else {
      double phase = p.phase + kTwoPi * hz * mod[0] * u0;
      double a = amp0;
      for (size_t j = 0; j < plen; ++j) {
        acc[j] += env[j] * a * std::sin(phase);
        phase += kTwoPi * hz * mod[j] / kRate;
        a *= step;
      }
    }
  }
  std::copy(acc.begin(), acc.end(), mono.begin() + static_cast<std::ptrdiff_t>(n0));
}

Audio renderRaw(const Transform& t) {
  const size_t frames = static_cast<size_t>(std::ceil(kScoreSeconds / t.tempo * kRate));
  std::vector<double> left(frames, 0.0), right(frames, 0.0), mono(frames, 0.0);
  for (const Sound& s : score()) {
    size_t first = 0, last = 0;
    addSound(s, t, mono, first, last);
    // Equal-power pan.
    const double angle = (s.pan + 1) * std::numbers::pi / 4;
    const double gl = std::cos(angle), gr = std::sin(angle);
    for (size_t i = first; i < last; ++i) {
      left[i] += gl * mono[i];
      right[i] += gr * mono[i];
      mono[i] = 0;
    }
  }
  Audio out;
  out.left.assign(left.begin(), left.end());
  out.right.assign(right.begin(), right.end());
  return out;
}

float masterGain() {
  static const float gain = [] {
    const Audio a = renderRaw({});
    float peak = 0;
    for (size_t i = 0; i < a.frames(); ++i)
      peak = std::max({peak, std::abs(a.left[i]), std::abs(a.right[i])});
    return 0.45f / peak;
  }();
  return gain;
}

}  // namespace

Audio renderScore(const Transform& t) {
  Audio a = renderRaw(t);
  const float g = masterGain();
  for (float& x : a.left) x *= g;
  for (float& x : a.right) x *= g;
  return a;
}

std::vector<double> sharpOnsets(const Transform& t) {
  std::vector<double> times;
  for (const Sound& s : score())
    if (s.sharp) times.push_back(s.start / t.tempo);
  std::sort(times.begin(), times.end());
  std::vector<double> merged;
  for (double x : times)
    if (merged.empty() || x - merged.back() > 0.005) merged.push_back(x);
  return merged;
}

}  // namespace lentaro::quality
