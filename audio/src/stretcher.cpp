#include "stretcher.h"

#include <atomic>
#include <cmath>

#include "chunk.h"

namespace lentaro::audio {
namespace {
std::atomic<StretcherKind> defaultKind{StretcherKind::kHigh};
}

std::unique_ptr<Stretcher> makeStretcher(StretcherKind kind, int sourceRate, int channels) {
  return kind == StretcherKind::kHigh ? makeRubberBandStretcher(sourceRate, channels)
                                      : makeSoundTouchStretcher(sourceRate, channels);
}

bool rubberBandTakes(int sourceRate, double speed, double semitones) {
  const double timeRatio = kOutputRate / (sourceRate * speed);
  const double pitchScale = std::exp2(semitones / 12.0) * sourceRate / kOutputRate;
  return timeRatio >= 0.125 && timeRatio <= 8 && pitchScale >= 0.25 && pitchScale <= 4;
}

StretcherKind defaultStretcherKind() {
  return defaultKind.load(std::memory_order_relaxed);
}

void setDefaultStretcherKind(StretcherKind kind) {
  defaultKind.store(kind, std::memory_order_relaxed);
}

}  // namespace lentaro::audio
