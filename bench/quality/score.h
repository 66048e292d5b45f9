// The synthetic piece the stretch-quality benchmark plays, and its ideal
// form at any tempo factor and transposition.
//
// Every sound is a sum of sinusoids with analytic envelopes, so the piece can
// be synthesised again for a tempo factor f and a transposition of s
// semitones: onset times and note lengths divided by f, every frequency
// multiplied by 2^(s/12). What a time-stretcher is asked to do decides the
// rest of the envelope:
//  - attack ramps (a few milliseconds) keep their length in seconds: a good
//    stretcher keeps onsets as sharp as they were;
//  - with Decay::Stretched (the default) every slower envelope (decays,
//    releases, swells, vibrato rate and delay, the kick's pitch drop) follows
//    the new time axis. That is all a stretcher can know: it hears a decay,
//    not a string, and stretches it like any other slow change;
//  - with Decay::Natural decay and release constants stay in seconds, as a
//    player would sound at the new tempo. No stretcher can do that, so every
//    render pays the same extra distance; the option shows how much.
#pragma once

#include <cstddef>
#include <vector>

namespace lentaro::quality {

constexpr int kRate = 44100;

// Planar stereo at kRate.
struct Audio {
  std::vector<float> left, right;
  size_t frames() const { return left.size(); }
};

enum class Decay { Stretched, Natural };

struct Transform {
  double tempo = 1;      // speed factor: durations are divided by it
  double semitones = 0;  // transposition
  Decay decay = Decay::Stretched;
};

// Length of the piece at tempo 1, seconds. Every sound has died away
// (below -100 dB) before the end.
constexpr double kScoreSeconds = 15.0;

// The piece under the transform. The level is the same for every transform
// (peak about 0.45 untransformed), so levels compare between renders.
Audio renderScore(const Transform& t);

// Times (seconds) where a sound starts sharply (plucks, bass, drums) under
// the transform, sorted; starts closer than 5 ms are one.
std::vector<double> sharpOnsets(const Transform& t);

}  // namespace lentaro::quality
