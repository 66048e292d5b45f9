// Seeking is sample-exact: after a seek to frame N the decoder delivers what
// a straight decode delivers from frame N, for every kind of file. And the
// gapless trimming cuts the encoder's delay, not some other amount: the
// decoded MP3 lines up with its source signal at lag zero.
#include <gtest/gtest.h>

#include <cmath>

#include "decoder_test_support.h"
#include "lentaro/bass.h"

namespace lentaro::audio::test {
namespace {

constexpr float kRounding = 1e-5f;

class DecoderSeek : public ::testing::TestWithParam<const char*> {};

TEST_P(DecoderSeek, SeekThenReadMatchesStraightDecode) {
  auto dec = openOrFail(GetParam());
  ASSERT_TRUE(dec);
  const int ch = dec->format().channels;
  const int64_t length = dec->lengthFrames();
  const std::vector<float> all = decodeRest(*dec);
  ASSERT_EQ(static_cast<int64_t>(all.size()), length * ch);

  // Frame boundaries of every layer and rate, their neighbours, the middle
  // and both ends; backwards as well as forwards.
  const int64_t places[] = {length / 2 + 1, 0,          1,          575,  576,          1151, 1152,
                            3 * 1152 + 17,  length / 3, length - 1, 5000, length - 4000};
  const long kCompare = 4000;
  std::vector<float> buf(static_cast<size_t>(kCompare * ch));
  for (int64_t at : places) {
    if (at < 0 || at > length) continue;
    ASSERT_TRUE(dec->seek(at)) << "seek to " << at;
    const long want = static_cast<long>(std::min<int64_t>(kCompare, length - at));
    long got = 0;
    while (got < want) {
      const long n = dec->read(buf.data() + got * ch, want - got);
      ASSERT_GT(n, 0) << "early end after seek to " << at;
      got += n;
    }
    // Decoders may round differently after a seek (a filter bank restarted
    // at another phase), far below what a 16-bit output resolves; a wrong
    // place differs by the signal itself.
    int mismatches = 0;
    float worst = 0.0f;
    long first = -1, last = -1;
    for (long i = 0; i < want * ch; ++i) {
      const float d = std::fabs(buf[i] - all[static_cast<size_t>(at * ch + i)]);
      if (d > kRounding) {
        ++mismatches;
        if (first < 0) first = i / ch;
        last = i / ch;
      }
      worst = std::max(worst, d);
    }
    EXPECT_EQ(mismatches, 0) << "after seek to frame " << at << ": worst difference " << worst
                             << " frames " << first << ".." << last;
  }

  // At the end: nothing more, and the position is kept on a refused seek.
  ASSERT_TRUE(dec->seek(length));
  EXPECT_EQ(dec->read(buf.data(), 16), 0);
  ASSERT_TRUE(dec->seek(10));
  EXPECT_FALSE(dec->seek(length + 1));
  EXPECT_FALSE(dec->seek(-1));
  ASSERT_EQ(dec->read(buf.data(), 1), 1);
  for (int c = 0; c < ch; ++c) EXPECT_EQ(buf[c], all[static_cast<size_t>(10 * ch + c)]);
}

INSTANTIATE_TEST_SUITE_P(Corpus, DecoderSeek,
                         ::testing::Values("cbr128.mp3", "cbr320.mp3", "vbr.mp3", "vbr_notag.mp3",
                                           "mono64.mp3", "mpeg25_8k.mp3", "freeformat.mp3",
                                           "ape.mp3", "truncated.mp3", "byteflips.mp3",
                                           "concat_rates.mp3", "tone.wav", "tone8k.aiff",
                                           "tone.flac", "tone.ogg", "surround.wav"),
                         [](const ::testing::TestParamInfo<const char*>& p) {
                           std::string n = p.param;
                           for (char& c : n) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return n;
                         });

// Mean squared difference between a and b (first channel) at a lag.
double misfit(const std::vector<float>& a, int cha, const std::vector<float>& b, int chb, long from,
              long count, long lag) {
  double sum = 0.0;
  for (long i = from; i < from + count; ++i) {
    const double d = a[static_cast<size_t>(i * cha)] - b[static_cast<size_t>((i + lag) * chb)];
    sum += d * d;
  }
  return sum / static_cast<double>(count);
}

struct Pair {
  const char* mp3;
  const char* source;
};

class GaplessAlignment : public ::testing::TestWithParam<Pair> {};

TEST_P(GaplessAlignment, DecodedAudioLinesUpWithItsSource) {
  auto mp3 = openOrFail(GetParam().mp3);
  auto src = openOrFail(GetParam().source);
  ASSERT_TRUE(mp3 && src);
  const std::vector<float> a = decodeRest(*mp3);
  const std::vector<float> b = decodeRest(*src);
  const int cha = mp3->format().channels;
  const int chb = src->format().channels;
  const long frames = static_cast<long>(std::min(a.size() / cha, b.size() / chb));
  const long kMaxLag = 1200;  // beyond the encoder's delay plus the decoder's
  const long from = kMaxLag;
  const long count = std::min(frames - 2 * kMaxLag, 20000L);
  ASSERT_GT(count, 1000);
  long bestLag = 0;
  double best = misfit(a, cha, b, chb, from, count, 0);
  for (long lag = -kMaxLag; lag <= kMaxLag; ++lag) {
    const double m = misfit(a, cha, b, chb, from, count, lag);
    if (m < best) best = m, bestLag = lag;
  }
  EXPECT_EQ(bestLag, 0);
  EXPECT_LT(best, 1e-3) << "the decoded audio does not resemble its source";
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, GaplessAlignment,
    ::testing::Values(Pair{"cbr128.mp3", "tone.wav"}, Pair{"cbr320.mp3", "tone.wav"},
                      Pair{"vbr.mp3", "tone.wav"}, Pair{"id3v2.mp3", "tone.wav"},
                      Pair{"id3v2_oversize.mp3", "tone.wav"}, Pair{"ape.mp3", "tone.wav"},
                      Pair{"truncated.mp3", "tone.wav"}, Pair{"mpeg25_8k.mp3", "tone8k.aiff"}));

}  // namespace
}  // namespace lentaro::audio::test
