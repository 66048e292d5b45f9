// Libraries opened on first use: the loader's contract, and that the
// engine really leaves its decoders, stretchers and SDL unloaded until a
// file or a tempo channel needs them (each would otherwise cost every
// start of the program).
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "engine_files.h"
#include "lentaro/bass.h"
#include "lentaro/shared_library.h"

extern "C" int lentaro_no_such_function(int);

namespace lentaro::audio::test {
namespace {

// clang-format off
#define LENTARO_TEST_LIBC_FUNCTIONS(X) X(getpid)
#define LENTARO_TEST_PARTIAL_FUNCTIONS(X) X(getpid) X(lentaro_no_such_function)
// clang-format on
struct LibcLibrary {
  LENTARO_TEST_LIBC_FUNCTIONS(LENTARO_LIBRARY_MEMBER)
};
struct PartialLibrary {
  LENTARO_TEST_PARTIAL_FUNCTIONS(LENTARO_LIBRARY_MEMBER)
};

bool mapped(const std::string& soname) {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find("/" + soname) != std::string::npos) return true;
  }
  return false;
}

TEST(SharedLibrary, ATableIsFilledOnlyWhenTheLibraryHasEveryFunction) {
  const auto libc =
      loadLibraryTable<LibcLibrary>("libc.so.6", [](LibcLibrary& t, SymbolResolver& r) {
        LENTARO_TEST_LIBC_FUNCTIONS(LENTARO_LIBRARY_RESOLVE)
      });
  ASSERT_NE(libc, nullptr);
  EXPECT_EQ(libc->getpid(), ::getpid());

  // An older library without one of the functions: no table at all, so
  // nobody calls through a null pointer.
  const auto partial =
      loadLibraryTable<PartialLibrary>("libc.so.6", [](PartialLibrary& t, SymbolResolver& r) {
        LENTARO_TEST_PARTIAL_FUNCTIONS(LENTARO_LIBRARY_RESOLVE)
      });
  EXPECT_EQ(partial, nullptr);

  const auto missing = loadLibraryTable<LibcLibrary>(
      "liblentaro-not-installed.so.9", [](LibcLibrary& t, SymbolResolver& r) {
        LENTARO_TEST_LIBC_FUNCTIONS(LENTARO_LIBRARY_RESOLVE)
      });
  EXPECT_EQ(missing, nullptr);
}

// The libraries the engine opens on demand, by what needs them.
const char* const kDecoders[] = {"libmpg123.so.0", "libsndfile.so.1", "libopenmpt.so.0"};
const char* const kStretchers[] = {"librubberband.so.2", "libSoundTouchDll.so.1"};

TEST(SharedLibrary, TheEngineLoadsADecoderOrStretcherOnlyWhenItIsNeeded) {
  ASSERT_TRUE(BASS_Init(0, 44100, BASS_DEVICE_MANUAL, nullptr, nullptr)) << BASS_ErrorGetCode();
  for (const char* lib : kDecoders) EXPECT_FALSE(mapped(lib)) << lib << " loaded at start";
  for (const char* lib : kStretchers) EXPECT_FALSE(mapped(lib)) << lib << " loaded at start";
  EXPECT_FALSE(mapped("libSDL2-2.0.so.0"));
  EXPECT_FALSE(mapped("libpulse.so.0"));  // the manual output needs no server

  const DWORD source =
      BASS_StreamCreateFile(FALSE, corpus("cbr128.mp3").c_str(), 0, 0, BASS_STREAM_DECODE);
  ASSERT_NE(source, 0u) << BASS_ErrorGetCode();
  EXPECT_TRUE(mapped("libmpg123.so.0"));
  EXPECT_FALSE(mapped("libopenmpt.so.0"));  // an MP3 is never offered to it
  for (const char* lib : kStretchers) EXPECT_FALSE(mapped(lib)) << lib;

  const DWORD tempo = BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE);
  ASSERT_NE(tempo, 0u) << BASS_ErrorGetCode();
  for (const char* lib : kStretchers) EXPECT_TRUE(mapped(lib)) << lib;

  // And the stretch through them works: a second at a slower tempo renders.
  ASSERT_TRUE(BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, -25.0f));
  ASSERT_TRUE(BASS_ChannelPlay(tempo, FALSE));
  std::vector<int16_t> out(44100 * 2);
  ASSERT_EQ(BASS_Lentaro_RenderOutput(out.data(), 44100), 44100);
  double energy = 0;
  for (int16_t s : out) energy += static_cast<double>(s) * s;
  EXPECT_GT(energy, 0.0);

  BASS_StreamFree(tempo);
  BASS_Free();
}

}  // namespace
}  // namespace lentaro::audio::test
