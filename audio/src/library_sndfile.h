// libsndfile (LGPL-2.1-or-later): WAV, AIFF, FLAC and Ogg files.
#pragma once

#include <sndfile.h>

#include "lentaro/shared_library.h"

// clang-format off
#define LENTARO_SNDFILE_FUNCTIONS(X) \
  X(sf_open_virtual) X(sf_close) X(sf_command) X(sf_readf_float) X(sf_seek)
// clang-format on

namespace lentaro::audio {

struct SndfileLibrary {
  LENTARO_SNDFILE_FUNCTIONS(LENTARO_LIBRARY_MEMBER)
};

// Loaded on the first call (any thread); null when it is not installed.
const SndfileLibrary* sndfileLibrary();

}  // namespace lentaro::audio
