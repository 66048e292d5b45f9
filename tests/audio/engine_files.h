// Paths of the generated decoding corpus for the engine's end-to-end tests.
#pragma once

#include <cstdlib>
#include <string>

#include "lentaro/bass.h"

namespace lentaro::audio::test {

inline std::string corpus(const std::string& name) {
  const char* root = std::getenv("LENTARO_TEST_DATA");
  return std::string(root ? root : "testdata") + "/audio/" + name;
}

// As the application opens a file: a decoding stream, or else a module,
// wrapped in a looping tempo channel that owns it.
inline DWORD openLikeTheApp(const std::string& path) {
  DWORD src = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0x80200000u);
  if (src == 0) src = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, 0x80220200u, 0);
  if (src == 0) return 0;
  return BASS_FX_TempoCreate(src, 0x10004u);
}

}  // namespace lentaro::audio::test
