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

struct RubberbandLibrary {
  LENTARO_RUBBERBAND_FUNCTIONS(LENTARO_LIBRARY_MEMBER)
};

// Loaded on the first call (any thread); null when it is not installed.
const RubberbandLibrary* rubberbandLibrary();

}  // namespace lentaro::audio
