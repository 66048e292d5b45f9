// libmpg123 (LGPL-2.1), the MP3 decoder.
#pragma once

#include <mpg123.h>

#include "lentaro/shared_library.h"

// clang-format off
#define LENTARO_MPG123_FUNCTIONS(X) \
  X(mpg123_init) X(mpg123_new) X(mpg123_delete) X(mpg123_param) X(mpg123_format_none) \
  X(mpg123_format) X(mpg123_getformat) X(mpg123_replace_reader_handle) X(mpg123_open_handle) \
  X(mpg123_scan) X(mpg123_length) X(mpg123_seek) X(mpg123_read)
// clang-format on

namespace lentaro::audio {

// Opened by the first call of mpg123Library() (any thread); null when not installed.
LENTARO_SHARED_LIBRARY(Mpg123Library, mpg123Library, "libmpg123.so.0", LENTARO_MPG123_FUNCTIONS)

}  // namespace lentaro::audio
