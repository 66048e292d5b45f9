// libpulse (LGPL-2.1-or-later), the PulseAudio (and PipeWire) client.
#pragma once

#include <pulse/pulseaudio.h>

#include "lentaro/shared_library.h"

// clang-format off
#define LENTARO_PULSE_FUNCTIONS(X) \
  X(pa_threaded_mainloop_new) X(pa_threaded_mainloop_free) X(pa_threaded_mainloop_start) \
  X(pa_threaded_mainloop_stop) X(pa_threaded_mainloop_lock) X(pa_threaded_mainloop_unlock) \
  X(pa_threaded_mainloop_wait) X(pa_threaded_mainloop_signal) X(pa_threaded_mainloop_get_api) \
  X(pa_context_new) X(pa_context_unref) X(pa_context_connect) X(pa_context_disconnect) \
  X(pa_context_get_state) X(pa_context_set_state_callback) X(pa_stream_new) X(pa_stream_unref) \
  X(pa_stream_connect_playback) X(pa_stream_disconnect) X(pa_stream_get_state) \
  X(pa_stream_set_state_callback) X(pa_stream_set_write_callback) X(pa_stream_begin_write) \
  X(pa_stream_cancel_write) X(pa_stream_write)
// clang-format on

namespace lentaro::audio {

// Opened by the first call of pulseLibrary() (any thread); null when not installed.
LENTARO_SHARED_LIBRARY(PulseLibrary, pulseLibrary, "libpulse.so.0", LENTARO_PULSE_FUNCTIONS)

}  // namespace lentaro::audio
