// Tracker modules through libopenmpt: a small ProTracker module written
// here opens, renders stereo at the asked rate for its song length, and seeks
// to the frame; files that are not modules are refused with the right code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>

#include "decoder_test_support.h"
#include "lentaro/bass.h"

namespace lentaro::audio::test {
namespace {

void put16(std::vector<uint8_t>& v, int x) {
  v.push_back(static_cast<uint8_t>(x >> 8));
  v.push_back(static_cast<uint8_t>(x & 0xFF));
}

// Four-channel "M.K." module: one looping square-wave sample, one pattern of
// which 16 rows play (a pattern break ends it) at speed 6, tempo 125: 16 rows
// of 0.12 s, 1.92 s in all.
std::vector<uint8_t> tinyModule() {
  std::vector<uint8_t> m(20, 0);  // title
  for (int s = 0; s < 31; ++s) {
    m.resize(m.size() + 22, 0);  // name
    const bool used = s == 0;
    put16(m, used ? 32 : 0);  // length in words
    m.push_back(0);           // finetune
    m.push_back(used ? 64 : 0);
    put16(m, 0);              // loop start
    put16(m, used ? 32 : 1);  // loop length (1: none)
  }
  m.push_back(1);               // song length
  m.push_back(127);             // restart
  m.resize(m.size() + 128, 0);  // order list: pattern 0 only
  for (char c : {'M', '.', 'K', '.'}) m.push_back(static_cast<uint8_t>(c));
  for (int row = 0; row < 64; ++row) {
    for (int ch = 0; ch < 4; ++ch) {
      const bool note = ch < 2 && row % 4 == 0;
      const int period = ch == 0 ? 428 : 320;
      const int effect = (row == 15 && ch == 0) ? 0xD : 0;
      m.push_back(static_cast<uint8_t>(note ? (period >> 8) : 0));
      m.push_back(static_cast<uint8_t>(note ? (period & 0xFF) : 0));
      m.push_back(static_cast<uint8_t>((note ? 1 : 0) << 4 | effect));
      m.push_back(0);
    }
  }
  for (int i = 0; i < 64; ++i) m.push_back(static_cast<uint8_t>(i < 32 ? 0x60 : 0xA0));
  return m;
}

std::string writeTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

TEST(ModuleDecoder, RendersTheSongAtTheAskedRateAndSeeksToTheFrame) {
  const std::string path = writeTemp("lentaro_tiny.mod", tinyModule());
  for (int rate : {44100, 22050}) {
    int error = -1;
    auto dec = openModuleDecoder(path, rate, &error);
    ASSERT_TRUE(dec) << "error " << error;
    EXPECT_EQ(dec->format().rate, rate);
    EXPECT_EQ(dec->format().channels, 2);
    EXPECT_NEAR(static_cast<double>(dec->lengthFrames()) / rate, 1.92, 0.02);

    const std::vector<float> all = decodeRest(*dec, 1000);
    ASSERT_EQ(static_cast<int64_t>(all.size()), dec->lengthFrames() * 2);
    double energy = 0.0;
    for (float s : all) {
      ASSERT_TRUE(std::isfinite(s));
      energy += s * s;
    }
    EXPECT_GT(energy / static_cast<double>(all.size()), 1e-4) << "rendered silence";

    // Seek into the middle of a row and to the start again: what follows
    // lines up with the straight render there. The mixer's volume ramps
    // restart after a seek, so the values agree closely, not bit for bit.
    for (int64_t at : {dec->lengthFrames() / 2 + 37, int64_t{0}, int64_t{rate / 10}}) {
      ASSERT_TRUE(dec->seek(at));
      std::vector<float> buf(2000);
      ASSERT_EQ(dec->read(buf.data(), 1000), 1000);
      auto rmsAt = [&](int64_t lag) {
        double sum = 0.0;
        for (size_t i = 0; i < buf.size(); ++i) {
          const double d = buf[i] - all[static_cast<size_t>((at + lag) * 2) + i];
          sum += d * d;
        }
        return std::sqrt(sum / static_cast<double>(buf.size()));
      };
      EXPECT_LT(rmsAt(0), 0.01) << "after seek to " << at;
      if (at > 0) {
        EXPECT_LT(rmsAt(0), rmsAt(-1)) << at;
        EXPECT_LT(rmsAt(0), rmsAt(1)) << at;
      }
    }
    EXPECT_FALSE(dec->seek(dec->lengthFrames() + 1));
  }
}

TEST(ModuleDecoder, DefaultsToTheOutputRateAndRefusesWhatIsNoModule) {
  const std::string path = writeTemp("lentaro_tiny2.mod", tinyModule());
  int error = -1;
  auto dec = openModuleDecoder(path, 0, &error);
  ASSERT_TRUE(dec);
  EXPECT_EQ(dec->format().rate, 44100);

  // Sampled-audio opening does not take a module.
  EXPECT_FALSE(openStreamDecoder(path, &error));
  EXPECT_EQ(error, BASS_ERROR_FORMAT);

  for (const char* name : {"text.mp3", "empty.mp3", "random.mp3"}) {
    error = -1;
    EXPECT_FALSE(openModuleDecoder(corpusPath(name), 44100, &error)) << name;
    EXPECT_EQ(error, BASS_ERROR_FORMAT) << name;
  }
  error = -1;
  EXPECT_FALSE(openModuleDecoder(corpusPath("missing.mod"), 44100, &error));
  EXPECT_EQ(error, BASS_ERROR_FILEOPEN);
  error = -1;
  EXPECT_FALSE(openModuleDecoder(corpusPath(""), 44100, &error));
  EXPECT_EQ(error, BASS_ERROR_FILEOPEN);
}

}  // namespace
}  // namespace lentaro::audio::test
