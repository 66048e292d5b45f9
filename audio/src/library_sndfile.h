// libsndfile (LGPL-2.1-or-later): WAV, AIFF, FLAC and Ogg files.
#pragma once

#include <sndfile.h>

#include "lentaro/shared_library.h"

// clang-format off
#define LENTARO_SNDFILE_FUNCTIONS(X) \
  X(sf_open_virtual) X(sf_close) X(sf_command) X(sf_readf_float) X(sf_seek)
// clang-format on

namespace lentaro::audio {

// Opened by the first call of sndfileLibrary() (any thread); null when not installed.
LENTARO_SHARED_LIBRARY(SndfileLibrary, sndfileLibrary, "libsndfile.so.1", LENTARO_SNDFILE_FUNCTIONS)

}  // namespace lentaro::audio
