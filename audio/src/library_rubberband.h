// Rubber Band (GPL-2.0-or-later), through its C interface: the "High"
// stretcher.
#pragma once

#include <rubberband/rubberband-c.h>

#include "lentaro/shared_library.h"

// clang-format off
#define LENTARO_RUBBERBAND_FUNCTIONS(X) \
  X(rubberband_new) X(rubberband_delete) X(rubberband_set_max_process_size) \
  X(rubberband_get_preferred_start_pad) X(rubberband_get_start_delay) X(rubberband_process) \
  X(rubberband_available) X(rubberband_retrieve)
// clang-format on

namespace lentaro::audio {

// Opened by the first call of rubberbandLibrary() (any thread); null when not installed.
LENTARO_SHARED_LIBRARY(RubberbandLibrary, rubberbandLibrary, "librubberband.so.2",
                       LENTARO_RUBBERBAND_FUNCTIONS)

}  // namespace lentaro::audio
