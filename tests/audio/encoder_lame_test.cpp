// The feed with the real `lame`: what is pushed comes out as an MP3 of the
// same length, whatever the output file is called.
#include <gtest/gtest.h>

#include <thread>

#include "encoder_feed.h"
#include "encoder_test_support.h"

namespace lentaro::audio {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;

constexpr const char* kLame = "/usr/bin/lame";
constexpr long kRate = 44100;
constexpr long kTolerance = kRate * 30 / 1000;  // 30 ms

class EncoderLame : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kLame)) GTEST_SKIP() << "lame is not installed at " << kLame;
  }
};

TEST_F(EncoderLame, ThreeSecondsPushedFromAnotherThreadDecodeToTheSameLength) {
  TempDir dir;
  const auto mp3 = dir.path() / "three.mp3";
  auto feed = startEncoderFeed({kLame, "--quiet", "-", mp3.string()}, kRate, 2);
  ASSERT_NE(feed, nullptr);
  const auto samples = testing::tone(3 * kRate, 2, kRate);
  std::thread callback([&] { testing::pushPaced(*feed, samples, 2, 512, kRate / 2); });
  callback.join();
  feed->finish(10000ms);

  const EncoderStatus st = feed->status();
  EXPECT_FALSE(st.running);
  EXPECT_FALSE(st.failed);
  EXPECT_EQ(st.exitStatus, 0);
  EXPECT_EQ(st.bytesDropped, 0u);
  EXPECT_EQ(st.bytesWritten, 44 + samples.size() * 2);
  EXPECT_NEAR(testing::decodedMp3Frames(mp3, 2), 3 * kRate, kTolerance);
}

TEST_F(EncoderLame, OutputNamesReachTheEncoderIntact) {
  TempDir dir;
  const std::vector<std::string> names = {
      "with  two spaces.mp3",
      "it's \"quoted\".mp3",
      "M\xC3\xBCsik \xE6\x97\xA5\xE6\x9C\xAC \xD0\x9F.mp3",
      "-leading dash.mp3",
      "$HOME `x` ; |*?.mp3",
  };
  const auto folder = dir.path() / "a \"folder\" with spaces";
  std::filesystem::create_directory(folder);
  const auto samples = testing::tone(kRate / 2, 2, kRate);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const auto mp3 = folder / name;
    auto feed = startEncoderFeed({kLame, "--quiet", "-", mp3.string()}, kRate, 2);
    ASSERT_NE(feed, nullptr);
    testing::pushPaced(*feed, samples, 2, 512, kRate / 2);
    feed->finish(10000ms);
    EXPECT_FALSE(feed->status().failed);
    ASSERT_TRUE(std::filesystem::exists(mp3));
    EXPECT_NEAR(testing::decodedMp3Frames(mp3, 2), kRate / 2, kTolerance);
  }
  // Nothing landed anywhere else (a split or mangled name would).
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()),
            static_cast<long>(names.size()));
}

// lame gives up at once when it cannot create its output file; the feed
// reports that like any early exit and keeps taking pushes.
TEST_F(EncoderLame, UnwritableOutputIsAFailure) {
  TempDir dir;
  const auto mp3 = dir.path() / "no such folder" / "x.mp3";
  auto feed = startEncoderFeed({kLame, "--quiet", "-", mp3.string()}, kRate, 2);
  ASSERT_NE(feed, nullptr);
  const auto samples = testing::tone(kRate, 2, kRate);
  testing::pushPaced(*feed, samples, 2, 512, kRate / 4);
  feed->finish(5000ms);
  const EncoderStatus st = feed->status();
  EXPECT_TRUE(st.failed);
  EXPECT_NE(st.exitStatus, 0);
  EXPECT_FALSE(std::filesystem::exists(mp3));
}

}  // namespace
}  // namespace lentaro::audio
