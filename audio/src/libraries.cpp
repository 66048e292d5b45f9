// Where each library the engine opens on demand is found: by the soname its
// Debian package installs (the versions the headers above describe).
#include "library_mpg123.h"
#include "library_openmpt.h"
#include "library_pulse.h"
#include "library_rubberband.h"
#include "library_sdl.h"
#include "library_sndfile.h"
#include "library_soundtouch.h"

namespace lentaro::audio {

const Mpg123Library* mpg123Library() {
  static const auto table =
      loadLibraryTable<Mpg123Library>("libmpg123.so.0", [](Mpg123Library& t, SymbolResolver& r) {
        LENTARO_MPG123_FUNCTIONS(LENTARO_LIBRARY_RESOLVE)
      });
  return table.get();
}

const SndfileLibrary* sndfileLibrary() {
  static const auto table =
      loadLibraryTable<SndfileLibrary>("libsndfile.so.1", [](SndfileLibrary& t, SymbolResolver& r) {
        LENTARO_SNDFILE_FUNCTIONS(LENTARO_LIBRARY_RESOLVE)
      });
  return table.get();
}

const OpenmptLibrary* openmptLibrary() {
  static const auto table =
      loadLibraryTable<OpenmptLibrary>("libopenmpt.so.0", [](OpenmptLibrary& t, SymbolResolver& r) {
        LENTARO_OPENMPT_FUNCTIONS(LENTARO_LIBRARY_RESOLVE)
      });
  return table.get();
}

const PulseLibrary* pulseLibrary() {
  static const auto table = loadLibraryTable<PulseLibrary>(
      "libpulse.so.0",
      [](PulseLibrary& t, SymbolResolver& r) { LENTARO_PULSE_FUNCTIONS(LENTARO_LIBRARY_RESOLVE) });
  return table.get();
}

const SdlLibrary* sdlLibrary() {
  static const auto table = loadLibraryTable<SdlLibrary>(
      "libSDL2-2.0.so.0",
      [](SdlLibrary& t, SymbolResolver& r) { LENTARO_SDL_FUNCTIONS(LENTARO_LIBRARY_RESOLVE) });
  return table.get();
}

const RubberbandLibrary* rubberbandLibrary() {
  static const auto table = loadLibraryTable<RubberbandLibrary>(
      "librubberband.so.2", [](RubberbandLibrary& t, SymbolResolver& r) {
        LENTARO_RUBBERBAND_FUNCTIONS(LENTARO_LIBRARY_RESOLVE)
      });
  return table.get();
}

const SoundtouchLibrary* soundtouchLibrary() {
  static const auto table = loadLibraryTable<SoundtouchLibrary>(
      "libSoundTouchDll.so.1", [](SoundtouchLibrary& t, SymbolResolver& r) {
        LENTARO_SOUNDTOUCH_FUNCTIONS(LENTARO_LIBRARY_RESOLVE)
      });
  return table.get();
}

}  // namespace lentaro::audio
