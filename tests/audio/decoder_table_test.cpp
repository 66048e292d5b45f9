// The decoding table: every corpus file opens, or fails with the right code;
// what opens decodes to exactly its length, in one format, without damage
// escaping as NaN or wild values.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "decoder_test_support.h"
#include "lentaro/bass.h"

namespace lentaro::audio::test {
namespace {

struct Row {
  const char* name;
  int error;  // 0: opens
  int rate;   // 0: any
  int channels;
};

void PrintTo(const Row& r, std::ostream* os) {
  *os << r.name;
}

const Row kTable[] = {
    {"cbr128.mp3", 0, 44100, 2},
    {"cbr320.mp3", 0, 44100, 2},
    {"vbr.mp3", 0, 44100, 2},
    {"vbr_notag.mp3", 0, 44100, 2},
    {"mono64.mp3", 0, 44100, 1},
    {"mpeg25_8k.mp3", 0, 8000, 1},
    {"cbr_32k.mp3", 0, 32000, 2},
    {"freeformat.mp3", 0, 44100, 2},
    {"id3v1.mp3", 0, 44100, 2},
    {"id3v2.mp3", 0, 44100, 2},
    {"ape.mp3", 0, 44100, 2},
    {"truncated.mp3", 0, 44100, 2},
    {"concat_rates.mp3", 0, 44100, 2},
    {"byteflips.mp3", 0, 44100, 2},
    {"id3v2_oversize.mp3", 0, 44100, 2},
    {"tone.wav", 0, 44100, 2},
    {"tone8k.aiff", 0, 8000, 1},
    {"tone.flac", 0, 44100, 2},
    {"tone.ogg", 0, 32000, 2},
    {"surround.wav", 0, 48000, 2},
    {"text.mp3", BASS_ERROR_FORMAT, 0, 0},
    {"empty.mp3", BASS_ERROR_FORMAT, 0, 0},
    {"random.mp3", BASS_ERROR_FORMAT, 0, 0},
    {"syncs.mp3", BASS_ERROR_FORMAT, 0, 0},
    {"no-such-file.mp3", BASS_ERROR_FILEOPEN, 0, 0},
    {"", BASS_ERROR_FILEOPEN, 0, 0},  // the corpus folder itself
};

class DecoderTable : public ::testing::TestWithParam<Row> {};

TEST_P(DecoderTable, OpensOrFailsAndDecodesToItsLength) {
  const Row& row = GetParam();
  int error = -1;
  auto dec = openStreamDecoder(corpusPath(row.name), &error);
  if (row.error != 0) {
    EXPECT_FALSE(dec);
    EXPECT_EQ(error, row.error);
    return;
  }
  ASSERT_TRUE(dec) << "error " << error;
  EXPECT_EQ(dec->format().rate, row.rate);
  EXPECT_EQ(dec->format().channels, row.channels);
  const int64_t length = dec->lengthFrames();
  ASSERT_GT(length, 0);

  // Odd chunk sizes cross every internal frame boundary somewhere.
  const std::vector<float> all = decodeRest(*dec, 997);
  EXPECT_EQ(static_cast<int64_t>(all.size()), length * row.channels);
  EXPECT_EQ(dec->format().rate, row.rate) << "format changed while decoding";
  float peak = 0.0f;
  for (float s : all) {
    ASSERT_TRUE(std::isfinite(s));
    peak = std::max(peak, std::fabs(s));
  }
  EXPECT_LE(peak, 1.0f);
  EXPECT_GT(peak, 0.05f) << "decoded nothing but silence";

  const auto expected = expectedLengths();
  if (auto it = expected.find(row.name); it != expected.end()) {
    EXPECT_EQ(length, it->second.frames) << "not the length that was encoded";
  }
}

std::string rowName(const ::testing::TestParamInfo<Row>& p) {
  std::string n = p.param.name[0] ? p.param.name : "folder";
  for (char& c : n) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return n;
}

INSTANTIATE_TEST_SUITE_P(Corpus, DecoderTable, ::testing::ValuesIn(kTable), rowName);

}  // namespace
}  // namespace lentaro::audio::test

namespace lentaro::audio::test {
namespace {

// Paths arrive as UTF-8 and reach the file system untouched: spaces,
// quotes, non-Latin letters, a leading dash.
TEST(DecoderPaths, AnyFileNameOpens) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(::testing::TempDir()) / "lentaro decoder names";
  fs::create_directories(dir);
  for (const char* name : {"-leading dash.mp3", "it's \"quoted\".mp3", "Größe ñ 東京.mp3"}) {
    const fs::path p = dir / fs::u8path(name);
    fs::copy_file(corpusPath("cbr128.mp3"), p, fs::copy_options::overwrite_existing);
    int error = -1;
    auto dec = openStreamDecoder(p.string(), &error);
    EXPECT_TRUE(dec) << name << ": error " << error;
  }
  fs::remove_all(dir);
}

TEST(DecoderPaths, UnreadableFileGivesFileOpen) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  namespace fs = std::filesystem;
  const fs::path p = fs::path(::testing::TempDir()) / "lentaro-unreadable.mp3";
  fs::copy_file(corpusPath("cbr128.mp3"), p, fs::copy_options::overwrite_existing);
  fs::permissions(p, fs::perms::none);
  int error = -1;
  EXPECT_FALSE(openStreamDecoder(p.string(), &error));
  EXPECT_EQ(error, BASS_ERROR_FILEOPEN);
  fs::permissions(p, fs::perms::owner_all);
  fs::remove(p);
}

// A file stitched from a 44.1 kHz stereo and an 8 kHz mono stream plays both
// parts, at one rate: the second part is resampled, not dropped and not
// played at the wrong speed.
TEST(DecoderConcatenation, BothPartsPlayAtTheFirstPartsRate) {
  auto whole = openOrFail("concat_rates.mp3");
  auto first = openOrFail("cbr128.mp3");
  auto second = openOrFail("mpeg25_8k.mp3");
  ASSERT_TRUE(whole && first && second);
  // Untrimmed parts (the joint has no single gapless tag), each within a
  // few MPEG frames of what its own file gives.
  const double expected = static_cast<double>(first->lengthFrames()) +
                          static_cast<double>(second->lengthFrames()) * 44100.0 / 8000.0;
  EXPECT_NEAR(static_cast<double>(whole->lengthFrames()), expected, 4 * 1152 * 5.5);

  const std::vector<float> all = decodeRest(*whole);
  const size_t frames = all.size() / 2;
  // The last second carries the second part's sweep in both channels.
  double left = 0.0;
  double right = 0.0;
  for (size_t f = frames - 44100; f < frames - 4410; ++f) {
    left += all[2 * f] * all[2 * f];
    right += all[2 * f + 1] * all[2 * f + 1];
  }
  EXPECT_GT(left / 39690.0, 1e-3);
  EXPECT_NEAR(left, right, left * 0.01) << "mono part not sent to both channels";
}

}  // namespace
}  // namespace lentaro::audio::test
