// The encoder fed at the caller's pace: a whole render reaches lame
// without a frame lost, and every way a program can fail is told, never
// by a signal to the caller.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine_files.h"
#include "engine_signals.h"
#include "lentaro/bass_offline.h"

namespace lentaro::audio::test {
namespace {

std::string tempFile(const char* name) {
  return "/tmp/lentaro-offline-encoder-" + std::to_string(::getpid()) + "-" + name;
}

TEST(OfflineEncoder, RenderThroughLameIsWholeAndDecodes) {
  const std::string mp3 = tempFile("out.mp3");
  const char* argv[] = {"lame", "--quiet", "-", mp3.c_str(), nullptr};
  const DWORD enc = BASS_Lentaro_EncoderOpen(argv);
  ASSERT_NE(enc, 0u) << BASS_ErrorGetCode();
  const DWORD r = BASS_Lentaro_RenderOpen(corpus("cbr128.mp3").c_str(), -50, 5, 1, 0, 0);
  ASSERT_NE(r, 0u);
  std::vector<int16_t> block(2 * 4096);
  long total = 0;
  for (int n; (n = BASS_Lentaro_RenderRead(r, block.data(), 4096)) > 0; total += n) {
    ASSERT_TRUE(BASS_Lentaro_EncoderWrite(enc, block.data(), n));
  }
  EXPECT_TRUE(BASS_Lentaro_RenderClose(r));
  BASS_ENCODE_STATUS st{};
  ASSERT_TRUE(BASS_Lentaro_EncoderClose(enc, FALSE, 10000, &st));
  EXPECT_FALSE(st.failed);
  EXPECT_EQ(st.exitStatus, 0);
  EXPECT_EQ(st.bytesWritten, 44u + 4u * static_cast<QWORD>(total));
  int error = 0;
  auto d = openStreamDecoder(mp3, &error);
  ASSERT_TRUE(d) << error;
  EXPECT_EQ(d->format().rate, 44100);
  // lame's Info tag makes the decoded length exact.
  EXPECT_EQ(d->lengthFrames(), total);
  std::remove(mp3.c_str());
}

TEST(OfflineEncoder, FailuresAreToldNotSignalled) {
  {
    SCOPED_TRACE("no such program");
    const char* argv[] = {"/nonexistent/lame", "-", "x.mp3", nullptr};
    EXPECT_EQ(BASS_Lentaro_EncoderOpen(argv), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CREATE);
    const char* none[] = {nullptr};
    EXPECT_EQ(BASS_Lentaro_EncoderOpen(none), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
  }
  {
    SCOPED_TRACE("exits 1 after reading everything");
    const char* argv[] = {"sh", "-c", "cat >/dev/null; exit 1", nullptr};
    const DWORD enc = BASS_Lentaro_EncoderOpen(argv);
    ASSERT_NE(enc, 0u);
    std::vector<int16_t> silence(2 * 44100);
    EXPECT_TRUE(BASS_Lentaro_EncoderWrite(enc, silence.data(), 44100));
    BASS_ENCODE_STATUS st{};
    ASSERT_TRUE(BASS_Lentaro_EncoderClose(enc, FALSE, 10000, &st));
    EXPECT_TRUE(st.failed);
    EXPECT_EQ(st.exitStatus, 1);
  }
  {
    SCOPED_TRACE("stops reading at once");
    const char* argv[] = {"true", nullptr};
    const DWORD enc = BASS_Lentaro_EncoderOpen(argv);
    ASSERT_NE(enc, 0u);
    std::vector<int16_t> silence(2 * 44100);
    bool refused = false;
    // The pipe takes some before the reader's end is noticed.
    for (int i = 0; i < 100 && !refused; ++i)
      refused = !BASS_Lentaro_EncoderWrite(enc, silence.data(), 44100);
    EXPECT_TRUE(refused);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_CREATE);
    BASS_ENCODE_STATUS st{};
    ASSERT_TRUE(BASS_Lentaro_EncoderClose(enc, FALSE, 10000, &st));
    EXPECT_TRUE(st.failed) << "stopped taking its input early";
  }
  {
    SCOPED_TRACE("abandoned: killed at once");
    const char* argv[] = {"sleep", "30", nullptr};
    const DWORD enc = BASS_Lentaro_EncoderOpen(argv);
    ASSERT_NE(enc, 0u);
    const auto t0 = std::chrono::steady_clock::now();
    BASS_ENCODE_STATUS st{};
    ASSERT_TRUE(BASS_Lentaro_EncoderClose(enc, TRUE, 10000, &st));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    EXPECT_TRUE(st.failed);
    EXPECT_NE(st.termSignal, 0);
    EXPECT_FALSE(BASS_Lentaro_EncoderClose(enc, TRUE, 0, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  }
}

}  // namespace
}  // namespace lentaro::audio::test
