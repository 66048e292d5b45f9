// The speed trainer's rule, on its own: the tempo for each pass of a
// loop. It starts at a start tempo and, after every `passesPerStep`
// completed passes, rises by `step` toward a target it never passes. A
// back-off lowers it one step, never below the start. A tempo set by hand
// becomes the current one and the steps go on from there.
//
// Threads: a plain value, owned by one tempo stage (its channel's producer
// lock guards it).
#pragma once

namespace lentaro::audio {

struct TrainerSettings {
  float startTempo = 0;  // percent, like BASS_ATTRIB_TEMPO
  float step = 0;        // percent, > 0
  int passesPerStep = 1;
  float targetTempo = 0;  // >= startTempo
};

class SpeedTrainer {
 public:
  bool on() const { return on_; }
  float tempo() const { return tempo_; }

  // Switches it on at the start tempo, which it returns.
  float start(const TrainerSettings& settings);
  void stop() { on_ = false; }

  // A pass has been completed at the current tempo; returns the tempo for
  // the next one.
  float passCompleted();
  // One step down, not below the start (a tempo set below it stays).
  float backOff();
  // A tempo set by hand: the current step from now on, its passes counted
  // afresh.
  void setByHand(float tempo);

 private:
  TrainerSettings settings_;
  bool on_ = false;
  float tempo_ = 0;
  int passes_ = 0;  // completed at the current tempo
};

}  // namespace lentaro::audio
