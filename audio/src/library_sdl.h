// SDL 2 (Zlib): sound through a driver the user names (ALSA, JACK...).
#pragma once

#include <SDL.h>

#include "lentaro/shared_library.h"

// clang-format off
#define LENTARO_SDL_FUNCTIONS(X) \
  X(SDL_InitSubSystem) X(SDL_QuitSubSystem) X(SDL_OpenAudioDevice) X(SDL_CloseAudioDevice) \
  X(SDL_PauseAudioDevice) X(SDL_GetAudioDeviceStatus)
// clang-format on

namespace lentaro::audio {

// Opened by the first call of sdlLibrary() (any thread); null when not installed.
LENTARO_SHARED_LIBRARY(SdlLibrary, sdlLibrary, "libSDL2-2.0.so.0", LENTARO_SDL_FUNCTIONS)

}  // namespace lentaro::audio
