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

// Opened by the first call of openmptLibrary() (any thread); null when not installed.
LENTARO_SHARED_LIBRARY(OpenmptLibrary, openmptLibrary, "libopenmpt.so.0", LENTARO_OPENMPT_FUNCTIONS)

}  // namespace lentaro::audio
