#include "speed_trainer.h"

#include <algorithm>

namespace lentaro::audio {

float SpeedTrainer::start(const TrainerSettings& settings) {
  settings_ = settings;
  on_ = true;
  tempo_ = settings.startTempo;
  passes_ = 0;
  return tempo_;
}

float SpeedTrainer::passCompleted() {
  if (!on_ || tempo_ >= settings_.targetTempo) return tempo_;
  if (++passes_ >= settings_.passesPerStep) {
    passes_ = 0;
    tempo_ = std::min(settings_.targetTempo, tempo_ + settings_.step);
  }
  return tempo_;
}

float SpeedTrainer::backOff() {
  if (on_ && tempo_ > settings_.startTempo) {
    tempo_ = std::max(settings_.startTempo, tempo_ - settings_.step);
  }
  passes_ = 0;
  return tempo_;
}

void SpeedTrainer::setByHand(float tempo) {
  tempo_ = tempo;
  passes_ = 0;
}

}  // namespace lentaro::audio
