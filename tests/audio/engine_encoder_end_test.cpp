// How encoders end through the engine, with small stand-in programs and
// generated sound on the manual output: one that exits at once or stops
// reading neither ends the program (SIGPIPE) nor disturbs playback, and
// leaves its place to a new one; one that hangs never holds up the caller,
// and BASS_Free waits for all of them once.
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "engine_signals.h"

namespace lentaro::audio::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
// What the interface promises: encoders get five seconds to end, all of
// them together at BASS_Free, and at most four run on one channel.
constexpr auto kBound = 5s;
constexpr int kEncodersPerChannel = 4;

BASS_ENCODE_STATUS statusOf(HENCODE enc) {
  BASS_ENCODE_STATUS st{};
  EXPECT_TRUE(BASS_Encode_GetStatus(enc, &st)) << "encoder " << enc;
  return st;
}

// No child of this process is left, running or unreaped.
void expectNoChildLeft() {
  int status = 0;
  errno = 0;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD) << "a child process was left behind";
}

// Renders until every encoder has overflowed its ring: the pipe is full
// and its writer is stuck in a write the encoder never takes.
void renderUntilStuck(const std::vector<HENCODE>& encoders) {
  for (int block = 0; block < 200; ++block) {  // 20 s of sound at most
    render(4410);
    bool all = true;
    for (HENCODE e : encoders) all = all && statusOf(e).bytesDropped > 0;
    if (all) return;
  }
  FAIL() << "the encoders never filled their pipes";
}

class EncoderEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(BASS_Init(0, 44100, BASS_DEVICE_MANUAL, nullptr, nullptr));
    initialized_ = true;
  }
  void TearDown() override {
    if (initialized_) {
      EXPECT_TRUE(BASS_Free());
    }
  }
  bool initialized_ = false;
};

// The writer's writes to a pipe nobody reads fail (EPIPE) instead of
// raising SIGPIPE, which would end this test program: with /bin/true it
// depends on timing, with an encoder that closes its input every write
// after the header meets a broken pipe. Either way the encoder is
// reported failed, playback goes on untouched, and once the engine has
// let go of the ended encoders their places on the channel are free
// again.
TEST_F(EncoderEnd, AnEncoderThatQuitsEarlyLeavesTheProgramAndThePlaybackAlone) {
  const int64_t len = 44100 * 30;
  const HSTREAM ch = tempoChannel(counter(len), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const char* quits[] = {"/bin/true", nullptr};
  const char* closesInput[] = {"/bin/sh", "-c", "exec 0<&-; exec sleep 0.2", nullptr};
  std::vector<HENCODE> early;
  for (int i = 0; i < kEncodersPerChannel; ++i) {
    early.push_back(BASS_Encode_StartArgv(ch, i % 2 ? closesInput : quits, 0, nullptr, nullptr));
    ASSERT_NE(early.back(), 0u) << BASS_ErrorGetCode();
  }
  // Plays on, at about the pace of a device, until the processes ended.
  int64_t played = 0;
  bool running = true;
  const auto giveUp = Clock::now() + 10s;
  while (running && Clock::now() < giveUp) {
    expectCounterRun(render(4410), played, len);
    played += 4410;
    running = false;
    for (HENCODE e : early) running = running || statusOf(e).running;
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_FALSE(running);
  for (HENCODE e : early) {
    SCOPED_TRACE(e);
    const BASS_ENCODE_STATUS st = statusOf(e);
    EXPECT_TRUE(st.failed);
    EXPECT_EQ(st.exitStatus, 0);
    EXPECT_EQ(st.termSignal, 0);
  }
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_PLAYING});

  // Released on the engine's own thread soon after they ended: all four
  // places take new encoders, and a fifth is still one too many.
  const char* records[] = {"/bin/sh", "-c", "exec cat >/dev/null", nullptr};
  std::vector<HENCODE> next;
  const auto released = Clock::now() + 10s;
  while (next.size() < early.size() && Clock::now() < released) {
    if (const HENCODE e = BASS_Encode_StartArgv(ch, records, 0, nullptr, nullptr)) {
      next.push_back(e);
    } else {
      EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
      std::this_thread::sleep_for(1ms);
    }
  }
  ASSERT_EQ(next.size(), early.size()) << "the ended encoders still hold the channel";
  EXPECT_EQ(BASS_Encode_StartArgv(ch, records, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
  expectCounterRun(render(44100), played, len);
  ASSERT_TRUE(BASS_StreamFree(ch));
  for (HENCODE e : next) {
    SCOPED_TRACE(e);
    const BASS_ENCODE_STATUS st = endedStatus(e);
    EXPECT_FALSE(st.failed);
    EXPECT_EQ(st.exitStatus, 0);
    EXPECT_EQ(st.bytesWritten, 44u + 44100 * 4) << "header and every frame since it started";
  }
  for (HENCODE e : early) EXPECT_TRUE(statusOf(e).failed) << "still readable";
}

// Encoders that never read: freeing a channel returns at once, and
// BASS_Free waits for all of them together, once, then kills and reaps
// them.
TEST_F(EncoderEnd, HungEncodersHoldUpNeitherTheFreeNorBassFreeMoreThanOnce) {
  const char* hangs[] = {"/bin/sleep", "30", nullptr};
  std::vector<HSTREAM> channels;
  std::vector<HENCODE> encoders;
  for (int i = 0; i < 3; ++i) {
    channels.push_back(tempoChannel(counter(44100 * 60), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP));
    ASSERT_TRUE(BASS_ChannelPlay(channels.back(), FALSE));
    encoders.push_back(BASS_Encode_StartArgv(channels.back(), hangs, 0, nullptr, nullptr));
    ASSERT_NE(encoders.back(), 0u);
  }
  renderUntilStuck(encoders);

  const auto freeStart = Clock::now();
  ASSERT_TRUE(BASS_StreamFree(channels[0]));
  const auto freeTook = Clock::now() - freeStart;
  RecordProperty("stream_free_us", static_cast<int>(freeTook / 1us));
  std::printf("BASS_StreamFree with a hung encoder: %lld us\n",
              static_cast<long long>(freeTook / 1us));
  EXPECT_LT(freeTook, 100ms) << "the free waited for its encoder";
  EXPECT_TRUE(statusOf(encoders[0]).running) << "killed before its time";
  EXPECT_EQ(BASS_ChannelIsActive(channels[1]), DWORD{BASS_ACTIVE_PLAYING});
  render(4410);

  // Two encoders still on their channels, one still finishing: one wait.
  const auto shutdownStart = Clock::now();
  ASSERT_TRUE(BASS_Free());
  initialized_ = false;
  const auto shutdownTook = Clock::now() - shutdownStart;
  std::printf("BASS_Free with three hung encoders: %lld ms\n",
              static_cast<long long>(shutdownTook / 1ms));
  RecordProperty("bass_free_ms", static_cast<int>(shutdownTook / 1ms));
  EXPECT_GE(shutdownTook, kBound - 100ms) << "killed before they had their time";
  EXPECT_LT(shutdownTook, kBound + 1s);
  for (HENCODE e : encoders) {
    SCOPED_TRACE(e);
    const BASS_ENCODE_STATUS st = statusOf(e);
    EXPECT_FALSE(st.running);
    EXPECT_TRUE(st.failed);
    EXPECT_EQ(st.termSignal, SIGKILL);
  }
  expectNoChildLeft();
}

}  // namespace
}  // namespace lentaro::audio::test
