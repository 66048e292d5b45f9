// The engine over real files of the generated corpus, opened the way the
// application opens them.
#include <algorithm>

#include "engine_files.h"
#include "engine_signals.h"
#include "mixer.h"

namespace lentaro::audio::test {
namespace {

using Files = ManualEngine;

// The file decoded on its own, as 16-bit frames: what playback must equal.
std::vector<int16_t> decodeAll(const std::string& path, StreamFormat* format) {
  int error = 0;
  auto d = openStreamDecoder(path, &error);
  EXPECT_TRUE(d) << path;
  if (!d) return {};
  *format = d->format();
  std::vector<float> buf(4096 * static_cast<size_t>(format->channels));
  std::vector<int16_t> all;
  for (long n; (n = d->read(buf.data(), 4096)) > 0;) {
    for (long i = 0; i < n * format->channels; ++i) all.push_back(toPcm16(buf[i]));
  }
  return all;
}

TEST_F(Files, OpeningFailuresGiveTheirCodes) {
  EXPECT_EQ(openLikeTheApp(corpus("no such file.mp3")), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
  EXPECT_EQ(openLikeTheApp(corpus("text.mp3")), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
  EXPECT_EQ(BASS_StreamCreateFile(FALSE, nullptr, 0, 0, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
  EXPECT_EQ(BASS_StreamCreateFile(TRUE, "x", 0, 10, 0), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

// Tagged MP3 (gapless Info header), WAV, FLAC: the looping channel plays
// the decoded file exactly, and across the seam goes on with its first
// frame.
TEST_F(Files, LoopSeamOfRealFilesIsSampleContinuous) {
  for (const char* name : {"cbr128.mp3", "vbr.mp3", "tone.wav", "tone.flac"}) {
    SCOPED_TRACE(name);
    StreamFormat f;
    const auto file = decodeAll(corpus(name), &f);
    ASSERT_EQ(f.channels, 2);
    const size_t frames = file.size() / 2;
    const DWORD ch = openLikeTheApp(corpus(name));
    ASSERT_NE(ch, 0u);
    EXPECT_EQ(BASS_ChannelGetLength(ch, BASS_POS_BYTE), 4 * frames);
    ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
    const auto out = render(static_cast<int>(frames) + 5000);
    ASSERT_TRUE(std::equal(file.begin(), file.end(), out.begin())) << "the first pass";
    ASSERT_TRUE(std::equal(out.begin() + static_cast<long>(file.size()), out.end(), file.begin()))
        << "across the seam";
    EXPECT_EQ(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), 4u * 5000);
    EXPECT_TRUE(BASS_StreamFree(ch));
  }
}

TEST_F(Files, SeekingAFileIsSampleExact) {
  StreamFormat f;
  const auto file = decodeAll(corpus("vbr.mp3"), &f);
  const DWORD ch = openLikeTheApp(corpus("vbr.mp3"));
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  render(3000);
  for (size_t frame : {size_t{100000}, size_t{1}, size_t{77777}, size_t{1152 * 10 + 5}}) {
    ASSERT_TRUE(BASS_ChannelSetPosition(ch, 4 * frame, BASS_POS_BYTE));
    const auto out = render(2000);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), file.begin() + 2 * static_cast<long>(frame)))
        << "after a seek to " << frame;
  }
}

// Rates other than the output's, and a file that changes rate midway,
// play at one speed: the length in seconds is the source's.
TEST_F(Files, OtherRatesPlayForTheirOwnDuration) {
  for (const char* name : {"mpeg25_8k.mp3", "cbr_32k.mp3", "tone8k.aiff", "concat_rates.mp3"}) {
    SCOPED_TRACE(name);
    DWORD src = BASS_StreamCreateFile(FALSE, corpus(name).c_str(), 0, 0, 0x80200000u);
    ASSERT_NE(src, 0u);
    const DWORD ch = BASS_FX_TempoCreate(src, BASS_FX_FREESOURCE);  // no loop: it ends
    const double seconds = BASS_ChannelBytes2Seconds(ch, BASS_ChannelGetLength(ch, BASS_POS_BYTE));
    ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
    size_t rendered = 0;
    std::vector<int16_t> all;
    while (BASS_ChannelIsActive(ch) != BASS_ACTIVE_STOPPED && rendered < 44100 * 20) {
      const auto part = render(4410);
      all.insert(all.end(), part.begin(), part.end());
      rendered += 4410;
    }
    EXPECT_NEAR(static_cast<double>(soundingLength(all, 100)) / 44100, seconds, 0.05);
    EXPECT_TRUE(BASS_StreamFree(ch));
  }
}

}  // namespace
}  // namespace lentaro::audio::test
