// The count-in before a pass of a loop: clicks at the beat of the tempo
// the pass will play at, made at the output rate (never stretched or
// transposed) so they stay short and clean.
//
// Threads: owned by one tempo stage (its channel's producer lock guards
// it). The constructor allocates; render() does not.
#pragma once

#include <cstdint>
#include <vector>

namespace lentaro::audio {

struct CountInSettings {
  int clicks = 0;            // 0: no count-in
  double beatsPerLoop = 4;   // the beat is the loop's length divided by this...
  double bpm = 0;            // ...unless this is > 0: beats a minute at tempo 0 %
  bool toRecording = false;  // the clicks also reach the channel's encoders
};

class ClickTrack {
 public:
  static constexpr double kClickSeconds = 0.015;
  static constexpr double kClickHz = 1000.0;
  static constexpr float kAccentLevel = 0.6f;  // the first click
  static constexpr float kBeatLevel = 0.35f;   // the others

  ClickTrack();

  // `clicks` clicks `beatFrames` output frames apart, the first at once,
  // in `totalFrames` output frames in all.
  void begin(int clicks, double beatFrames, int64_t totalFrames);
  // Up to maxFrames stereo frames; 0 once all are given.
  int render(float* stereo, int maxFrames);
  int64_t left() const { return total_ - at_; }

 private:
  std::vector<float> click_;  // one click at level 1
  int clicks_ = 0;
  double beat_ = 0;
  int64_t total_ = 0;
  int64_t at_ = 0;
};

}  // namespace lentaro::audio
