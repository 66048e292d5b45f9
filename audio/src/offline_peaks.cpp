#include "offline_peaks.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace lentaro::audio {

namespace {
constexpr long kBlockFrames = 4096;
}

int computePeaks(Decoder& decoder, int columns, float* mins, float* maxs,
                 const volatile int* cancel, PeaksProgress progress, void* user) {
  const int channels = decoder.format().channels;
  const int64_t length = std::max<int64_t>(decoder.lengthFrames(), 0);
  // Column c holds the frames [c * length / columns, (c + 1) * length / columns).
  const auto boundary = [&](int c) { return static_cast<int64_t>(c) * length / columns; };
  std::vector<float> block(static_cast<size_t>(kBlockFrames * channels));
  int column = 0;
  int64_t nextBoundary = boundary(1);
  float lo = std::numeric_limits<float>::max();
  float hi = std::numeric_limits<float>::lowest();
  bool any = false;
  int reported = 0;
  const auto close = [&] {
    mins[column] = any ? lo : 0.0f;
    maxs[column] = any ? hi : 0.0f;
    lo = std::numeric_limits<float>::max();
    hi = std::numeric_limits<float>::lowest();
    any = false;
    ++column;
    nextBoundary = column < columns ? boundary(column + 1) : length;
  };
  int64_t frame = 0;
  while (column < columns) {
    if (cancel != nullptr && *cancel != 0) return column;
    const long got = decoder.read(block.data(), kBlockFrames);
    if (got <= 0) break;
    const float* s = block.data();
    for (long i = 0; i < got; ++i, ++frame) {
      // Runs without frames (a file shorter than the columns) close empty.
      while (frame >= nextBoundary && column < columns - 1) close();
      for (int c = 0; c < channels; ++c, ++s) {
        lo = std::min(lo, *s);
        hi = std::max(hi, *s);
      }
      any = true;
    }
    while (column < columns - 1 && frame >= nextBoundary) close();
    if (progress != nullptr && column > reported) {
      reported = column;
      progress(column, user);
    }
  }
  // The end of the stream (or fewer frames than the length promised): the
  // rest closes with what it has.
  while (column < columns) close();
  if (progress != nullptr && column > reported) progress(column, user);
  return column;
}

}  // namespace lentaro::audio
