// libopenmpt (BSD-3-Clause): tracker modules (MOD, XM, IT, S3M...).
#pragma once

#include <libopenmpt/libopenmpt.h>

#include "lentaro/shared_library.h"

// clang-format off
#define LENTARO_OPENMPT_FUNCTIONS(X) \
  X(openmpt_module_create_from_memory2) X(openmpt_module_destroy) \
  X(openmpt_module_set_repeat_count) X(openmpt_module_get_duration_seconds) \
  X(openmpt_module_set_position_seconds) X(openmpt_module_read_interleaved_float_stereo) \
  X(openmpt_log_func_silent) X(openmpt_error_func_ignore)
// clang-format on

namespace lentaro::audio {

struct OpenmptLibrary {
  LENTARO_OPENMPT_FUNCTIONS(LENTARO_LIBRARY_MEMBER)
};

// Loaded on the first call (any thread); null when it is not installed.
const OpenmptLibrary* openmptLibrary();

}  // namespace lentaro::audio
