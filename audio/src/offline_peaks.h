// The peaks of a whole file for a waveform overview: its frames split into
// a fixed number of equal runs (columns), the lowest and the highest sample
// of each over every channel. Decodes at full speed, without stretching;
// memory stays that of one decoding block whatever the file's length.
//
// Threads: any one thread (the caller's); nothing here is shared.
#pragma once

#include <cstdint>

#include "decoder.h"

namespace lentaro::audio {

using PeaksProgress = void (*)(int columnsDone, void* user);

// Fills mins[0..columns) and maxs[0..columns) from the decoder's current
// place (its start) to its end; columns without frames get 0 and 0.
// Checks *cancel (when not null) between blocks and stops once it is set.
// Returns the columns filled: `columns`, or fewer when cancelled.
int computePeaks(Decoder& decoder, int columns, float* mins, float* maxs,
                 const volatile int* cancel, PeaksProgress progress, void* user);

}  // namespace lentaro::audio
