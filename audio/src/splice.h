// Joining one version of a sound to another without a click: the old
// sound's next frames fade out while the new sound's fade in. Used where
// the stretch restarts (a change of tempo, pitch or stretcher, and to and
// from the unstretched bypass), where both versions play the same place of
// the source.
//
// Two versions of a periodic sound, crossfaded as they come, can be out of
// phase and cancel each other in the middle of the fade (a dip, and a
// burst of high frequencies where the waveform folds). So the new sound is
// first shifted, within a small window, to where it best matches the old
// one (normalised cross-correlation), and the fade's gains then follow how
// alike the two still are: alike (same pitch, matched), the gains add up
// to one, like a plain linear fade of one signal; unrelated (another
// pitch), their squares do, so the power stays; in between, in between.
//
// Pure functions on interleaved float frames; no allocation, any thread.
#pragma once

namespace lentaro::audio {

struct SpliceMatch {
  int offset = 0;          // frames of `next` to skip
  double correlation = 0;  // normalised, -1..1, at that offset
};

// The most frames a match compares, at most two channels.
constexpr int kMaxSpliceFrames = 2048;

// The offset in [0, maxOffset] at which next[offset...] best continues
// `prev` over `frames` (at most kMaxSpliceFrames) frames, weighted towards
// the middle, where a fade mixes the two most; among nearly equal ones,
// the offset nearest maxOffset / 2. next holds frames + maxOffset frames.
SpliceMatch bestSpliceOffset(const float* prev, const float* next, int channels, int frames,
                             int maxOffset);

// out[i] = gOld(i) prev[i] + gNew(i) next[i] over `frames` frames: a
// raised-cosine fade whose gains keep the level for two signals with this
// correlation. The frames may be a part of a longer fade, from its frame
// `done` of `total` (0: the whole fade is these frames). out may be prev
// or next.
void spliceFade(const float* prev, const float* next, int channels, int frames, double correlation,
                float* out, int done = 0, int total = 0);

}  // namespace lentaro::audio
