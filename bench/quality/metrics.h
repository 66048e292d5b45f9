// How far a stretcher's render is from the ideal piece.
//
// Two figures, both after one global time offset (stretchers add latency):
//  - log-mel distance: mean absolute difference, in dB, of the two log-mel
//    spectrograms (2048-point Hann STFT, hop 512, 80 mel bands from 30 Hz to
//    16 kHz, each channel apart so stereo placement counts, power floored at
//    80 dB below the ideal's loudest band). 0 for the ideal itself; higher is
//    worse.
//  - onset timing: onsets are peaks of spectral flux (1024-point frames,
//    hop 128, peak interpolated), read with the ideal's threshold on both
//    sides. The reference onsets are the ideal's clear detections where the
//    score has a sharp onset; each is paired, closest pairs first, with an
//    onset of the render within 50 ms. The standard deviation of the time
//    differences, in ms, says how evenly the rhythm survives (a constant
//    delay does not count); reference onsets left unpaired are missed.
//    Render onsets that no onset of the ideal takes are extra: transients
//    played twice (or invented).
//
// The offset is found by cross-correlating the onset-strength curves, then
// refined to the sample where the log-mel distance is smallest.
#pragma once

#include <vector>

#include "score.h"

namespace lentaro::quality {

struct Verdict {
  double melDb = 0;      // mean absolute log-mel difference, dB
  double onsetSdMs = 0;  // SD of matched onset time differences, ms
  int onsets = 0;        // reference onsets
  int missed = 0;        // reference onsets with no render onset within 50 ms
  int extra = 0;         // render onsets that no onset of the ideal takes
  long lag = 0;          // render frame = ideal frame + lag
};

// The ideal, analysed once; renders are compared against it.
class Reference {
 public:
  // scoreOnsets: where the score has sharp onsets (seconds), to keep only
  // the ideal's detections that are real onsets.
  Reference(const Audio& ideal, const std::vector<double>& scoreOnsets);

  Verdict compare(const Audio& render) const;

 private:
  double melDistance(const Audio& render, long lag, size_t stride) const;

  size_t frames_ = 0;
  std::vector<float> flux_;                // onset strength of the ideal
  std::vector<float> melLeft_, melRight_;  // its log-mel spectrograms, dB
  float floor_ = 0;                        // power floor shared by both sides
  float threshold_ = 0;                    // onset peaks must rise this far above their local mean
  std::vector<double> detected_;           // every onset found in the ideal, seconds
  std::vector<bool> isReference_;          // per detected_: the score confirms it
  std::vector<double> onsets_;             // those the score confirms
};

}  // namespace lentaro::quality
