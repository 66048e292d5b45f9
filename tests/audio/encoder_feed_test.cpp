// The feed against small stand-in encoders (cat, sh, sleep): the exact
// bytes of the stream, and every way an encoder can fail.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstring>
#include <fstream>

#include "encoder_feed.h"
#include "encoder_test_support.h"

namespace lentaro::audio {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;

uint32_t le32(const std::string& s, std::size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
  return v;
}
uint16_t le16(const std::string& s, std::size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}

std::string readFile(const std::filesystem::path& p) {
  std::string data(std::filesystem::file_size(p), '\0');
  std::ifstream(p, std::ios::binary).read(data.data(), static_cast<std::streamsize>(data.size()));
  return data;
}

// The stream `cat` receives is the header followed by exactly the pushed
// samples, little-endian, whole frames, also across the ring's wrap-around.
TEST(EncoderFeedStream, CarriesHeaderAndEveryPushedSampleInOrder) {
  struct Format {
    int rate, channels;
  };
  for (const Format fmt : {Format{22050, 1}, Format{48000, 2}}) {
    SCOPED_TRACE(fmt.rate);
    TempDir dir;
    const auto out = dir.path() / "stream.wav";
    auto feed = startEncoderFeed({"/bin/sh", "-c", "exec cat > \"$1\"", "sh", out.string()},
                                 fmt.rate, fmt.channels);
    ASSERT_NE(feed, nullptr);
    // Five seconds: more than the ring holds, so its wrap-around is crossed.
    const auto samples =
        testing::tone(static_cast<std::size_t>(fmt.rate) * 5, fmt.channels, fmt.rate);
    testing::pushPaced(*feed, samples, fmt.channels, 441, fmt.rate / 2);
    feed->finish(5000ms);

    const EncoderStatus st = feed->status();
    EXPECT_FALSE(st.running);
    EXPECT_FALSE(st.failed);
    EXPECT_EQ(st.exitStatus, 0);
    EXPECT_EQ(st.bytesDropped, 0u);
    EXPECT_EQ(st.bytesWritten, 44 + samples.size() * 2);

    const std::string wav = readFile(out);
    ASSERT_EQ(wav.size(), 44 + samples.size() * 2);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(wav, 4), 0xFFFFFFFFu);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(wav, 16), 16u);
    EXPECT_EQ(le16(wav, 20), 1);  // PCM
    EXPECT_EQ(le16(wav, 22), fmt.channels);
    EXPECT_EQ(le32(wav, 24), static_cast<uint32_t>(fmt.rate));
    EXPECT_EQ(le32(wav, 28), static_cast<uint32_t>(fmt.rate * fmt.channels * 2));
    EXPECT_EQ(le16(wav, 32), fmt.channels * 2);
    EXPECT_EQ(le16(wav, 34), 16);
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(le32(wav, 40), 0xFFFFFFFFu);
    std::vector<int16_t> got(samples.size());
    std::memcpy(got.data(), wav.data() + 44, got.size() * 2);
    EXPECT_TRUE(got == samples) << "the PCM payload differs from what was pushed";
  }
}

TEST(EncoderFeedStart, ReturnsNullWhenTheProgramCannotRun) {
  TempDir dir;
  const auto plain = dir.path() / "not-executable";
  std::ofstream(plain) << "#!/bin/sh\nexit 0\n";
  ::chmod(plain.c_str(), 0644);

  const std::vector<std::vector<std::string>> cannotRun = {
      {},
      {""},
      {"/nonexistent/folder/lame", "-", "x.mp3"},
      {"lentaro-no-such-encoder-program", "-", "x.mp3"},
      {plain.string(), "-", "x.mp3"},
      {dir.path().string(), "-", "x.mp3"},
  };
  for (const auto& argv : cannotRun) {
    EXPECT_EQ(startEncoderFeed(argv, 44100, 2), nullptr) << (argv.empty() ? "(empty)" : argv[0]);
  }
  EXPECT_EQ(startEncoderFeed({"/bin/cat"}, 0, 2), nullptr);
  EXPECT_EQ(startEncoderFeed({"/bin/cat"}, 44100, 0), nullptr);
  // A bare name is found through PATH.
  auto viaPath = startEncoderFeed({"cat"}, 44100, 2);
  ASSERT_NE(viaPath, nullptr);
  viaPath->finish(2000ms);
  EXPECT_EQ(viaPath->status().exitStatus, 0);
}

// An encoder that ends before its input is closed has cut the recording
// short, whatever its exit status; pushing after that stays harmless.
TEST(EncoderFeedFailure, EncoderExitingAtOnceIsReportedAndPushingGoesOn) {
  struct Case {
    const char* program;
    int exitStatus;
  };
  const auto second = testing::tone(44100, 2, 44100);
  for (const Case c : {Case{"/bin/false", 1}, Case{"/bin/true", 0}}) {
    SCOPED_TRACE(c.program);
    auto feed = startEncoderFeed({c.program}, 44100, 2);
    ASSERT_NE(feed, nullptr);
    EncoderStatus st = testing::waitUntilEnded(*feed, 5000ms);
    EXPECT_FALSE(st.running);
    EXPECT_TRUE(st.failed);
    EXPECT_EQ(st.exitStatus, c.exitStatus);
    EXPECT_EQ(st.termSignal, 0);
    for (int i = 0; i < 20; ++i) {
      for (std::size_t f = 0; f < 44100; f += 512) {
        feed->push(second.data() + f * 2, std::min<std::size_t>(512, 44100 - f));
      }
    }
    feed->finish(500ms);
    st = feed->status();
    EXPECT_TRUE(st.failed);
    EXPECT_EQ(st.exitStatus, c.exitStatus);
  }
}

// A reader that closes its input but lives on: our writes meet a broken
// pipe. SIGPIPE must not end the test process, and the refusal is a failure
// while the process still runs.
TEST(EncoderFeedFailure, EncoderRefusingInputMarksFailedWithoutSigpipe) {
  auto feed = startEncoderFeed({"/bin/sh", "-c", "exec 0<&-; exec sleep 5"}, 44100, 2);
  ASSERT_NE(feed, nullptr);
  const auto samples = testing::tone(44100, 2, 44100);
  EncoderStatus st;
  const auto until = std::chrono::steady_clock::now() + 5s;
  do {
    testing::pushPaced(*feed, samples, 2, 512, 44100);
    st = feed->status();
  } while (!st.failed && std::chrono::steady_clock::now() < until);
  EXPECT_TRUE(st.failed);
  EXPECT_TRUE(st.running);
  feed->finish(100ms);
  st = feed->status();
  EXPECT_FALSE(st.running);
  EXPECT_EQ(st.termSignal, SIGKILL);
  EXPECT_EQ(st.exitStatus, -1);
}

TEST(EncoderFeedFailure, EncoderKilledMidStreamIsReported) {
  // Takes some input, then dies of SIGTERM as a crashing encoder would.
  auto feed = startEncoderFeed(
      {"/bin/sh", "-c", "head -c 100000 > /dev/null; kill -TERM $$; sleep 5"}, 44100, 2);
  ASSERT_NE(feed, nullptr);
  const auto samples = testing::tone(44100 * 2, 2, 44100);
  testing::pushPaced(*feed, samples, 2, 512, 22050);
  EncoderStatus st = testing::waitUntilEnded(*feed, 5000ms);
  EXPECT_FALSE(st.running);
  EXPECT_TRUE(st.failed);
  EXPECT_EQ(st.termSignal, SIGTERM);
  EXPECT_EQ(st.exitStatus, -1);
  EXPECT_GE(st.bytesWritten, 100000u);
  feed->push(samples.data(), 512);
  feed->finish(100ms);
  EXPECT_EQ(feed->status().termSignal, SIGTERM);
}

// A process that never reads and never exits: the ring overflows (counted,
// in whole frames), finish() keeps to its bound, and the child is killed
// and reaped, leaving no zombie.
TEST(EncoderFeedFailure, StalledEncoderOverflowsCountedAndFinishIsBounded) {
  constexpr int kChannels = 2;
  auto feed = startEncoderFeed({"/bin/sleep", "30"}, 44100, kChannels);
  ASSERT_NE(feed, nullptr);
  const auto samples = testing::tone(44100 * 4, kChannels, 44100);
  const std::size_t frames = samples.size() / kChannels;
  for (std::size_t f = 0; f < frames; f += 512) {
    feed->push(samples.data() + f * kChannels, std::min<std::size_t>(512, frames - f));
  }
  EncoderStatus st = feed->status();
  EXPECT_TRUE(st.running);
  EXPECT_GT(st.bytesDropped, 0u);
  EXPECT_EQ(st.bytesDropped % (2 * kChannels), 0u) << "a partial frame was dropped";

  const auto t0 = std::chrono::steady_clock::now();
  feed->finish(200ms);
  const auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_LT(took, 3s);
  st = feed->status();
  EXPECT_FALSE(st.running);
  EXPECT_TRUE(st.failed);
  EXPECT_EQ(st.termSignal, SIGKILL);
  // Nothing vanished: every pushed byte was written or counted as lost.
  EXPECT_EQ(st.bytesWritten - 44 + st.bytesDropped, samples.size() * 2);

  feed->finish(200ms);  // idempotent
  feed.reset();
  int status = 0;
  errno = 0;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD) << "a child process was left behind";
}

// Dropping a feed without finish() still closes, waits and reaps.
TEST(EncoderFeedFailure, DestroyingWithoutFinishCompletesTheStream) {
  TempDir dir;
  const auto out = dir.path() / "stream.wav";
  {
    auto feed =
        startEncoderFeed({"/bin/sh", "-c", "exec cat > \"$1\"", "sh", out.string()}, 44100, 2);
    ASSERT_NE(feed, nullptr);
    const auto samples = testing::tone(4410, 2, 44100);
    feed->push(samples.data(), 4410);
  }
  EXPECT_EQ(std::filesystem::file_size(out), 44u + 4410 * 4);
  int status = 0;
  errno = 0;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

}  // namespace
}  // namespace lentaro::audio
