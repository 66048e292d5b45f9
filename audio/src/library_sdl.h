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

struct SdlLibrary {
  LENTARO_SDL_FUNCTIONS(LENTARO_LIBRARY_MEMBER)
};

// Loaded on the first call (any thread); null when it is not installed.
const SdlLibrary* sdlLibrary();

}  // namespace lentaro::audio
