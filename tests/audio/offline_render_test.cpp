// The offline renderer against the engine itself: a file played on the
// manual output by a tempo channel (no loop) until it stops, and the same
// file rendered offline with the same settings, must be the same samples.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine_files.h"
#include "engine_signals.h"
#include "lentaro/bass_offline.h"
#include "mixer.h"

namespace lentaro::audio::test {
namespace {

struct Settings {
  float tempo = 0;
  float pitch = 0;
  float volume = 1;
  QWORD start = 0;  // bytes of the file
  QWORD end = 0;
};

// What the engine plays: the channel from `start` until it has stopped by
// itself (in whole blocks, the last one ending in silence), or `frames`
// frames when given.
std::vector<int16_t> playOnManualOutput(const std::string& path, const Settings& s,
                                        long frames = 0) {
  const DWORD src = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE);
  EXPECT_NE(src, 0u) << BASS_ErrorGetCode();
  const DWORD ch = BASS_FX_TempoCreate(src, BASS_FX_FREESOURCE);
  EXPECT_NE(ch, 0u);
  EXPECT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, s.volume));
  EXPECT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, s.tempo));
  EXPECT_TRUE(BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, s.pitch));
  if (s.start > 0) {
    EXPECT_TRUE(BASS_ChannelSetPosition(ch, s.start, BASS_POS_BYTE));
  }
  EXPECT_TRUE(BASS_ChannelPlay(ch, FALSE));
  std::vector<int16_t> out;
  std::vector<int16_t> block(2 * 1000);
  // Bounded: a channel that never stopped would fail the comparison.
  for (int i = 0; i < 2000 && (frames > 0 ? static_cast<long>(out.size() / 2) < frames
                                          : BASS_ChannelIsActive(ch) != BASS_ACTIVE_STOPPED);
       ++i) {
    EXPECT_EQ(BASS_Lentaro_RenderOutput(block.data(), 1000), 1000);
    out.insert(out.end(), block.begin(), block.end());
  }
  EXPECT_TRUE(BASS_StreamFree(ch));
  if (frames > 0) out.resize(2 * static_cast<size_t>(frames));
  return out;
}

std::vector<int16_t> renderOffline(const std::string& path, const Settings& s) {
  const DWORD h = BASS_Lentaro_RenderOpen(path.c_str(), s.tempo, s.pitch, s.volume, s.start, s.end);
  EXPECT_NE(h, 0u) << BASS_ErrorGetCode();
  std::vector<int16_t> out;
  std::vector<int16_t> block(2 * 777);  // a size unrelated to the chunks
  for (int n; (n = BASS_Lentaro_RenderRead(h, block.data(), 777)) > 0;) {
    out.insert(out.end(), block.begin(), block.begin() + 2 * n);
  }
  QWORD done = 0, total = 0;
  EXPECT_TRUE(BASS_Lentaro_RenderProgress(h, &done, &total));
  EXPECT_EQ(done, total) << "the whole range consumed at the end";
  EXPECT_EQ(BASS_Lentaro_RenderRead(h, block.data(), 777), 0) << "stays ended";
  EXPECT_TRUE(BASS_Lentaro_RenderClose(h));
  return out;
}

// The first frame where a and b differ over their common length, or -1.
long firstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t frames) {
  for (size_t i = 0; i < 2 * frames; ++i)
    if (a[i] != b[i]) return static_cast<long>(i / 2);
  return -1;
}

using OfflineRender = ManualEngine;

// The whole file, from the start to the stream's end: every sample equal,
// and just as long, through the bit-exact bypass, the stretcher (with a
// volume below 1), a resampled 32 kHz file and a mono one.
TEST_F(OfflineRender, WholeFileEqualsWhatTheEnginePlays) {
  const struct {
    const char* file;
    Settings s;
  } cases[] = {
      {"cbr128.mp3", {0, 0, 1}},  {"cbr128.mp3", {-50, 5, 0.8f}}, {"cbr128.mp3", {120, -7, 0.5f}},
      {"cbr_32k.mp3", {0, 0, 1}}, {"mono64.mp3", {-25, 3, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " tempo " + std::to_string(c.s.tempo) + " pitch " +
                 std::to_string(c.s.pitch));
    const std::string path = corpus(c.file);
    const auto played = playOnManualOutput(path, c.s);
    const auto rendered = renderOffline(path, c.s);
    ASSERT_GT(rendered.size(), 2u * 44100);
    // The channel stopped within two blocks of the render's end, and
    // only silence followed.
    ASSERT_GE(played.size(), rendered.size());
    EXPECT_LE(played.size() - rendered.size(), 2u * 2 * 1000);
    EXPECT_TRUE(std::all_of(played.begin() + static_cast<long>(rendered.size()), played.end(),
                            [](int16_t v) { return v == 0; }));
    const size_t common = rendered.size() / 2;
    EXPECT_EQ(firstDifference(played, rendered, common), -1);
    const double speed = 1 + c.s.tempo / 100;
    int error = 0;
    auto d = openStreamDecoder(path, &error);
    ASSERT_TRUE(d);
    const double expected =
        static_cast<double>(d->lengthFrames()) * 44100 / d->format().rate / speed;
    EXPECT_NEAR(static_cast<double>(common), expected, 0.15 * 44100);
    // Something was heard, at the level asked for.
    EXPECT_GT(rms(rendered, 0, common), 1000 * c.s.volume);
  }
}

TEST_F(OfflineRender, BypassIsTheDecodedFileAndLengthIsPredicted) {
  const std::string path = corpus("cbr128.mp3");
  int error = 0;
  auto d = openStreamDecoder(path, &error);
  ASSERT_TRUE(d);
  const int64_t frames = d->lengthFrames();
  const auto rendered = renderOffline(path, {});
  ASSERT_EQ(static_cast<int64_t>(rendered.size() / 2), frames);
  std::vector<float> buf(2 * 1024);
  size_t at = 0;
  for (long n; (n = d->read(buf.data(), 1024)) > 0;) {
    for (long i = 0; i < 2 * n; ++i, ++at) ASSERT_EQ(rendered[at], toPcm16(buf[i])) << at;
  }
  // The predicted length follows the speed.
  const DWORD h = BASS_Lentaro_RenderOpen(path.c_str(), -50, 0, 1, 0, 0);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(BASS_Lentaro_RenderLength(h), static_cast<QWORD>(2 * frames));
  EXPECT_TRUE(BASS_Lentaro_RenderClose(h));
}

// A range [start, end): the engine seeks to start and plays on past end;
// the render plays the same frames and stops at end. Without stretching
// the render is exactly the range; with it, the same as the engine until
// the stretcher's last window, which the render fills from the range's end
// instead of from the rest of the file.
TEST_F(OfflineRender, RangeEqualsWhatTheEnginePlaysAfterASeek) {
  const std::string path = corpus("cbr128.mp3");
  const QWORD start = 4 * 30000, end = 4 * 100000;  // 0.68 s .. 2.27 s
  {
    SCOPED_TRACE("tempo 0");
    const Settings s{0, 0, 1, start, end};
    const auto rendered = renderOffline(path, s);
    ASSERT_EQ(rendered.size() / 2, 70000u);
    const auto played = playOnManualOutput(path, s, 70000);
    EXPECT_EQ(firstDifference(played, rendered, 70000), -1);
  }
  {
    SCOPED_TRACE("tempo -50, pitch +5");
    const Settings s{-50, 5, 1, start, end};
    const auto rendered = renderOffline(path, s);
    EXPECT_NEAR(static_cast<double>(rendered.size() / 2), 140000.0, 0.15 * 44100);
    const long compared = 140000 - 44100 / 4;
    const auto played = playOnManualOutput(path, s, compared);
    EXPECT_EQ(firstDifference(played, rendered, static_cast<size_t>(compared)), -1);
  }
}

TEST_F(OfflineRender, ProgressCountsTheRangeAsItIsRead) {
  const std::string path = corpus("cbr128.mp3");
  const DWORD h = BASS_Lentaro_RenderOpen(path.c_str(), -50, 0, 1, 4 * 10000, 4 * 60000);
  ASSERT_NE(h, 0u);
  QWORD done = 1, total = 0;
  ASSERT_TRUE(BASS_Lentaro_RenderProgress(h, &done, &total));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(total, 50000u);
  std::vector<int16_t> block(2 * 20000);
  ASSERT_EQ(BASS_Lentaro_RenderRead(h, block.data(), 20000), 20000);
  ASSERT_TRUE(BASS_Lentaro_RenderProgress(h, &done, &total));
  // 20000 frames at half speed come from about 10000 of the source; the
  // stretcher reads somewhat ahead.
  EXPECT_GE(done, 10000u);
  EXPECT_LE(done, 16000u);
  EXPECT_TRUE(BASS_Lentaro_RenderClose(h));
}

// No BASS_Init is needed, and nothing here disturbs a playing engine.
TEST(OfflineRenderAlone, RefusalsAndHandles) {
  const std::string path = corpus("cbr128.mp3");
  EXPECT_EQ(BASS_Lentaro_RenderOpen(nullptr, 0, 0, 1, 0, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
  EXPECT_EQ(BASS_Lentaro_RenderOpen(path.c_str(), std::nanf(""), 0, 1, 0, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
  EXPECT_EQ(BASS_Lentaro_RenderOpen(corpus("no such file.mp3").c_str(), 0, 0, 1, 0, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
  EXPECT_EQ(BASS_Lentaro_RenderOpen(corpus("text.mp3").c_str(), 0, 0, 1, 0, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
  EXPECT_EQ(BASS_Lentaro_RenderOpen(path.c_str(), 0, 0, 1, 400, 400), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
  EXPECT_EQ(BASS_Lentaro_RenderOpen(path.c_str(), 0, 0, 1, 0, 4ull * 44100 * 60), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_POSITION);

  const DWORD a = BASS_Lentaro_RenderOpen(path.c_str(), 0, 0, 1, 0, 0);
  const DWORD b = BASS_Lentaro_RenderOpen(path.c_str(), 0, 0, 1, 0, 0);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_NE(a, b);
  EXPECT_TRUE(BASS_Lentaro_RenderClose(a));
  int16_t frame[2];
  EXPECT_EQ(BASS_Lentaro_RenderRead(a, frame, 1), -1);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_FALSE(BASS_Lentaro_RenderClose(a));
  EXPECT_EQ(BASS_Lentaro_RenderRead(0, frame, 1), -1);
  EXPECT_EQ(BASS_Lentaro_RenderRead(b, frame, 1), 1) << "the other one lives on";
  EXPECT_TRUE(BASS_Lentaro_RenderClose(b));
  const DWORD c = BASS_Lentaro_RenderOpen(path.c_str(), 0, 0, 1, 0, 0);
  EXPECT_GT(c, b) << "handles are not reused";
  EXPECT_TRUE(BASS_Lentaro_RenderClose(c));
}

}  // namespace
}  // namespace lentaro::audio::test
