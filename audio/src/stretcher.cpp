#include "stretcher.h"

#include <atomic>
#include <cmath>

#include "chunk.h"
#include "library_rubberband.h"
#include "library_soundtouch.h"

namespace lentaro::audio {
namespace {
std::atomic<StretcherKind> defaultKind{StretcherKind::kHigh};
}

std::unique_ptr<Stretcher> makeStretcher(StretcherKind kind, int sourceRate, int channels) {
  return kind == StretcherKind::kHigh ? makeRubberBandStretcher(sourceRate, channels)
                                      : makeSoundTouchStretcher(sourceRate, channels);
}

bool stretchersAvailable() {
  return rubberbandLibrary() != nullptr && soundtouchLibrary() != nullptr;
}

bool rubberBandTakes(int sourceRate, double speed, double semitones) {
  const double timeRatio = kOutputRate / (sourceRate * speed);
  const double pitchScale = std::exp2(semitones / 12.0) * sourceRate / kOutputRate;
  if (timeRatio < 0.125 || timeRatio > 8 || pitchScale < 0.25 || pitchScale > 4) return false;
  // Transposing down while shortening reads past the end of one of its
  // analysis buffers when the two together shrink the sound below about a
  // sixth (found with valgrind: 0.07 to 0.17 read out of bounds, 0.2 and
  // above clean, at 22.05, 44.1 and 48 kHz).
  return pitchScale >= 1 || pitchScale * timeRatio >= 0.2;
}

StretcherKind defaultStretcherKind() {
  return defaultKind.load(std::memory_order_relaxed);
}

void setDefaultStretcherKind(StretcherKind kind) {
  defaultKind.store(kind, std::memory_order_relaxed);
}

}  // namespace lentaro::audio
