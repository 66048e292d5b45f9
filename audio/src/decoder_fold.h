// Folding many channels down to stereo: each input channel feeds left and
// right with a fixed weight, chosen from where the channel sits.
#pragma once

#include <vector>

namespace lentaro::audio {

enum class Seat { Left, Right, Centre, RearLeft, RearRight, Lfe, Unknown };

struct FoldWeights {
  std::vector<float> left;
  std::vector<float> right;
};

// Weights for the given seats, scaled so that neither side can exceed full
// scale when every channel is at full scale.
FoldWeights foldWeights(const std::vector<Seat>& seats);

// The seats of a file without a channel map, in WAVE order (front left,
// front right, centre, LFE, back left, back right, side left, side right).
std::vector<Seat> defaultSeats(int channels);

// in: frames * weights.left.size() floats; out: frames * 2 floats.
void foldToStereo(const FoldWeights& w, const float* in, float* out, long frames);

}  // namespace lentaro::audio
