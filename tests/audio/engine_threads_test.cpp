// The engine with its own threads running: the no-sound device's render
// thread, the decode-ahead thread, SDL's callback (through SDL's disk
// driver), and a stand-in device that goes away and comes back. Meant to
// run under ThreadSanitizer and AddressSanitizer too.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "engine_signals.h"
#include "mixer.h"
#include "output.h"

namespace lentaro::audio::test {
namespace {

using namespace std::chrono_literals;

class NoSoundEngine : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr)); }
  void TearDown() override { EXPECT_TRUE(BASS_Free()); }
};

TEST_F(NoSoundEngine, TimeAdvancesWithoutASoundDevice) {
  const HSTREAM ch = tempoChannel(counter(44100 * 60), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  QWORD pos = 0;
  for (int i = 0; i < 400 && pos == 0; ++i) {
    std::this_thread::sleep_for(5ms);
    pos = BASS_ChannelGetPosition(ch, BASS_POS_BYTE);
  }
  EXPECT_GT(pos, 0u);
  EXPECT_EQ(pos % 4, 0u);
  ASSERT_TRUE(BASS_ChannelPause(ch));
  std::this_thread::sleep_for(30ms);
  const QWORD paused = BASS_ChannelGetPosition(ch, BASS_POS_BYTE);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), paused) << "a paused channel stands still";
}

// A decoder slower than real time: the callback goes on without it (it
// never decodes), the channel reports itself stalled, and recovers.
TEST_F(NoSoundEngine, ASlowSourceStallsTheChannelNotTheOutput) {
  class Slow : public SignalDecoder {
   public:
    Slow() : SignalDecoder(44100, 2, 44100 * 60, counterSample) {}
    long read(float* out, long maxFrames) override {
      if (slow.load()) std::this_thread::sleep_for(40ms);
      return SignalDecoder::read(out, std::min(maxFrames, 256L));
    }
    std::atomic<bool> slow{false};
  };
  auto decoder = std::make_unique<Slow>();
  Slow* slow = decoder.get();
  const HSTREAM src = createStreamFromDecoder(std::move(decoder));
  const HSTREAM ch = BASS_FX_TempoCreate(src, BASS_FX_FREESOURCE);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  slow->slow.store(true);
  DWORD state = 0;
  for (int i = 0; i < 400 && state != BASS_ACTIVE_STALLED; ++i) {
    std::this_thread::sleep_for(5ms);
    state = BASS_ChannelIsActive(ch);
  }
  EXPECT_EQ(state, DWORD{BASS_ACTIVE_STALLED});
  slow->slow.store(false);
  for (int i = 0; i < 400 && state != BASS_ACTIVE_PLAYING; ++i) {
    std::this_thread::sleep_for(5ms);
    state = BASS_ChannelIsActive(ch);
  }
  EXPECT_EQ(state, DWORD{BASS_ACTIVE_PLAYING});
}

// A thousand create/play/attribute/seek/stop/free cycles from this thread
// while the render and decode threads run, with a second thread reading
// the state of whatever handle is current, live or already freed.
TEST_F(NoSoundEngine, ThousandCyclesWhileTheCallbackRuns) {
  const HSTREAM background =
      tempoChannel(sine(44100, 2, 5.0, 440), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
  ASSERT_TRUE(BASS_ChannelPlay(background, FALSE));
  ASSERT_TRUE(BASS_ChannelSetAttribute(background, BASS_ATTRIB_TEMPO, -30));

  std::atomic<DWORD> current{0};
  std::atomic<bool> done{false};
  std::thread reader([&] {
    while (!done.load()) {
      const DWORD h = current.load();
      BASS_ChannelIsActive(h);
      BASS_ChannelGetPosition(h, BASS_POS_BYTE);
      BASS_ChannelBytes2Seconds(h, 44100);
      float v;
      BASS_ChannelGetAttribute(h, BASS_ATTRIB_TEMPO, &v);
      std::this_thread::yield();
    }
  });

  std::mt19937 rng(20261208);
  const int rates[] = {8000, 22050, 44100, 48000};
  auto uniform = [&](float lo, float hi) {
    return std::uniform_real_distribution<float>(lo, hi)(rng);
  };
  for (int i = 0; i < 1000; ++i) {
    const int rate = rates[i % 4];
    const HSTREAM src =
        createStreamFromDecoder(i % 3 == 0 ? counter(20000 + i) : sine(rate, 1 + i % 2, 0.5, 300));
    ASSERT_NE(src, 0u);
    const DWORD flags = BASS_FX_FREESOURCE | (i % 5 ? BASS_SAMPLE_LOOP : 0u);
    const HSTREAM ch = BASS_FX_TempoCreate(src, flags);
    ASSERT_NE(ch, 0u);
    current.store(ch);
    ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
    BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, uniform(0, 1));
    if (i % 2) BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, uniform(-95, 200));
    if (i % 3) BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, uniform(-30, 30));
    const QWORD len = BASS_ChannelGetLength(ch, BASS_POS_BYTE);
    ASSERT_TRUE(BASS_ChannelSetPosition(ch, (rng() % len) & ~QWORD{3}, BASS_POS_BYTE));
    if (i % 7 == 0) std::this_thread::sleep_for(1ms);  // let the callback take some
    if (i % 4 == 0) {
      BASS_ChannelPause(ch);
      BASS_ChannelPlay(ch, i % 8 == 0);
    }
    EXPECT_NE(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), ~QWORD{0});
    ASSERT_TRUE(BASS_ChannelStop(ch));
    ASSERT_TRUE(BASS_StreamFree(ch));
    EXPECT_FALSE(BASS_StreamFree(src)) << "freed with its tempo channel";
  }
  done.store(true);
  reader.join();
  EXPECT_NE(BASS_ChannelIsActive(background), DWORD{BASS_ACTIVE_STOPPED});
}

// SDL's disk driver writes exactly what the device callback produced.
TEST(DeviceOutput, TheDeviceCallbackPlaysTheStreamInOrder) {
  char path[] = "/tmp/lentaro-sdl-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", path, 1);
  setenv("SDL_DISKAUDIODELAY", "2", 1);
  const bool opened = BASS_Init(-1, 44100, 0, nullptr, nullptr);
  unsetenv("SDL_AUDIODRIVER");
  if (!opened) {
    std::remove(path);
    GTEST_SKIP() << "SDL has no disk audio driver here";
  }
  const int64_t len = 44100 * 30;
  const HSTREAM ch = tempoChannel(counter(len), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  for (int i = 0; i < 1000 && BASS_ChannelGetPosition(ch, BASS_POS_BYTE) < 4u * 20000; ++i) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(BASS_ChannelIsActive(ch) & 1u, 1u) << "playing or stalled";
  EXPECT_TRUE(BASS_Free());

  std::ifstream in(path, std::ios::binary);
  std::vector<int16_t> out;
  int16_t frame[2];
  while (in.read(reinterpret_cast<char*>(frame), sizeof frame))
    out.insert(out.end(), frame, frame + 2);
  std::remove(path);
  // Silence where the device ran ahead of decoding, otherwise the counter
  // in order from frame 0: nothing skipped, nothing repeated.
  int64_t next = 0;
  for (size_t i = 0; i < out.size(); i += 2) {
    if (out[i] == 0 && out[i + 1] == 0) continue;
    ASSERT_EQ(counterFrame(&out[i]), next) << "at byte " << 2 * i;
    ++next;
  }
  EXPECT_GE(next, 20000);
}

// A stand-in for the SDL device whose callback thread is the test's own.
// Like the SDL output's keepAlive(), the engine's check finds a lost device
// closed and tries to open one, which works once it is back, here with
// another period.
class FakeDevice final : public Output {
 public:
  explicit FakeDevice(Mixer& mixer) : mixer_(mixer) {}

  Kind kind() const override { return Kind::kDevice; }
  int periodFrames() const override { return period_.load(); }
  std::chrono::milliseconds keepAliveInterval() const override { return 1ms; }
  bool start() override { return true; }
  void stop() override { unplug(); }
  bool keepAlive() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_ && present_) {
      period_.store(nextPeriod_);
      open_ = true;
      ++reopened_;
    }
    ++checks_;
    checked_.notify_all();
    return open_;
  }

  // One device period, as the device would ask for it; nothing while the
  // device is gone.
  bool callback(std::vector<int16_t>& out) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!open_) return false;
    }
    const int frames = period_.load();
    out.assign(2 * static_cast<size_t>(frames), 0);
    mixer_.render(out.data(), frames);
    return true;
  }
  void unplug() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = present_ = false;
  }
  void plugIn(int period) {
    std::lock_guard<std::mutex> lock(mutex_);
    present_ = true;
    nextPeriod_ = period;
  }
  // Waits for `n` more checks by the engine; false if they do not come.
  bool waitForChecks(int n) {
    std::unique_lock<std::mutex> lock(mutex_);
    const int target = checks_ + n;
    return checked_.wait_for(lock, 5s, [&] { return checks_ >= target; });
  }
  int reopened() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reopened_;
  }

 private:
  Mixer& mixer_;
  std::atomic<int> period_{512};
  std::mutex mutex_;  // guards everything below
  std::condition_variable checked_;
  bool open_ = true;
  bool present_ = true;
  int nextPeriod_ = 512;
  int checks_ = 0;
  int reopened_ = 0;
};

class LostDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(initWithOutput([this](Mixer& mixer) {
      auto d = std::make_unique<FakeDevice>(mixer);
      device_ = d.get();
      return d;
    }));
  }
  void TearDown() override { EXPECT_TRUE(BASS_Free()); }
  FakeDevice* device_ = nullptr;  // the engine's
};

// The decode-ahead thread keeps checking a lost device until it opens
// again, and fills for the period the reopened device asks for; the
// channel keeps playing and goes on exactly where it was.
TEST_F(LostDevice, TheEngineReopensItAndPlaybackGoesOnWhereItWas) {
  const int64_t len = 44100 * 10;
  const HSTREAM ch = tempoChannel(counter(len), BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  std::vector<int16_t> out;
  ASSERT_TRUE(device_->callback(out));
  expectCounterRun(out, 0, len);

  device_->unplug();
  EXPECT_FALSE(device_->callback(out));
  ASSERT_TRUE(device_->waitForChecks(3)) << "the engine stopped checking the device";
  EXPECT_EQ(device_->reopened(), 0);
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_PLAYING}) << "no device stops no channel";
  EXPECT_EQ(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), 0u) << "the last block began at 0";

  // A check reopens it with four times the period; the one after it comes
  // after a whole pass of the decode-ahead thread with that period.
  device_->plugIn(2048);
  ASSERT_TRUE(device_->waitForChecks(2));
  EXPECT_EQ(device_->reopened(), 1);
  ASSERT_TRUE(device_->callback(out));
  ASSERT_EQ(out.size(), 2u * 2048);
  expectCounterRun(out, 512, len);  // no gap though the period grew
  EXPECT_EQ(BASS_ChannelIsActive(ch), DWORD{BASS_ACTIVE_PLAYING});
  EXPECT_EQ(BASS_ChannelGetPosition(ch, BASS_POS_BYTE), 512u * 4);
}

}  // namespace
}  // namespace lentaro::audio::test
