// SoundTouch (LGPL-2.1-or-later), through its C interface (libSoundTouchDll,
// in the same Debian package as the library): the "Fast" stretcher.
#pragma once

#include <SoundTouchDLL.h>

#include "lentaro/shared_library.h"

// clang-format off
#define LENTARO_SOUNDTOUCH_FUNCTIONS(X) \
  X(soundtouch_createInstance) X(soundtouch_destroyInstance) X(soundtouch_setChannels) \
  X(soundtouch_setSampleRate) X(soundtouch_setRate) X(soundtouch_setTempo) X(soundtouch_setPitch) \
  X(soundtouch_setSetting) X(soundtouch_clear) X(soundtouch_putSamples) X(soundtouch_flush) \
  X(soundtouch_numSamples) X(soundtouch_numUnprocessedSamples) X(soundtouch_receiveSamples)
// clang-format on

namespace lentaro::audio {

// Opened by the first call of soundtouchLibrary() (any thread); null when not installed.
LENTARO_SHARED_LIBRARY(SoundtouchLibrary, soundtouchLibrary, "libSoundTouchDll.so.1",
                       LENTARO_SOUNDTOUCH_FUNCTIONS)

}  // namespace lentaro::audio
