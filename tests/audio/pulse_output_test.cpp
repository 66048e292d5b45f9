// The device output through a real PulseAudio server: a steady tone played
// by the engine arrives at the server's null sink without a break, and
// changes to it are heard promptly. The server is started here, with its
// own runtime folder; the sink's monitor is captured and checked sample by
// sample.
//
// These tests play in real time (that is what they check), a few seconds.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <string>
#include <thread>

#include "engine_signals.h"
#include "pulse_server.h"

namespace lentaro::audio::test {
namespace {

constexpr double kToneHz = 441.0;

// The benchmark script plays longer (and beside a CPU hog) through the same
// test: LENTARO_PULSE_SECONDS.
int toneSeconds() {
  const char* v = std::getenv("LENTARO_PULSE_SECONDS");
  return v ? std::max(1, std::atoi(v)) : 6;
}

bool programInstalled(const char* name) {
  const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

class PulseOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!programInstalled("pulseaudio") || !programInstalled("parec"))
      GTEST_SKIP() << "pulseaudio and parec are not installed on this machine";
    ASSERT_TRUE(server.start()) << server.why();
    capture = std::make_unique<MonitorCapture>(server);
    ASSERT_TRUE(capture->start());
    // The engine finds the private server through PULSE_SERVER.
    setenv("PULSE_SERVER", server.address().c_str(), 1);
    setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
    engineOpen = true;
  }

  // Ends playback and the capture; what was heard stays in capture.
  void finish() {
    if (engineOpen) BASS_Free();
    engineOpen = false;
    if (capture) capture->stop();
    unsetenv("PULSE_SERVER");
  }
  void TearDown() override { finish(); }

  static HSTREAM playTone(int seconds) {
    const HSTREAM ch = tempoChannel(
        std::make_unique<SignalDecoder>(44100, 2, int64_t{seconds} * 44100, [](int64_t f, int) {
          return 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * kToneHz * f / 44100.0));
        }));
    if (ch != 0) BASS_ChannelPlay(ch, FALSE);
    return ch;
  }

  // Waits, on the wall clock (this is a real device), until the capture
  // holds `frames`.
  void waitUntilCaptured(std::size_t frames) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (capture->frames() < frames && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  PulseServer server;
  std::unique_ptr<MonitorCapture> capture;
  bool engineOpen = false;
};

TEST_F(PulseOutput, ASteadyToneArrivesWithoutABreak) {
  const int seconds = toneSeconds();
  const double cpuBefore = server.cpuSeconds();
  const HSTREAM ch = playTone(seconds);
  ASSERT_NE(ch, 0u);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds + 5);
  while (BASS_ChannelIsActive(ch) != BASS_ACTIVE_STOPPED &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the server's own latency
  const double serverCpu = server.cpuSeconds() - cpuBefore;
  finish();
  if (std::getenv("LENTARO_PULSE_VERBOSE")) {
    const std::string all = server.log();
    for (std::size_t p = all.find("nderrun"); p != std::string::npos;
         p = all.find("nderrun", p + 1)) {
      const std::size_t a = all.rfind('\n', p), b = all.find('\n', p);
      std::printf("%s\n", all.substr(a + 1, b - a - 1).c_str());
    }
  }

  const ToneReport r = analyseTone(capture->samples(), kToneHz);
  EXPECT_NEAR(r.toneSeconds, seconds, 0.1) << "the tone did not arrive whole";
  std::string where;
  for (double t : r.breakTimes) where += " " + std::to_string(t);
  EXPECT_EQ(r.discontinuities, 0) << "at (s):" << where;
  EXPECT_EQ(r.gaps, 0) << "longest " << r.longestGapMs << " ms";
  std::printf("server: %d underruns logged, %.1f %% of a core\n", server.underrunsLogged(),
              100 * serverCpu / seconds);
}

// How soon a change is heard: measured on what the server played, from the
// call to the first changed 5 ms window of the captured tone.
TEST_F(PulseOutput, VolumeAndPitchChangesAreHeardPromptly) {
  const HSTREAM ch = playTone(20);
  ASSERT_NE(ch, 0u);
  // Let the tone settle, then turn it down and note where the call fell.
  waitUntilCaptured(44100);
  const std::size_t volumeCall = capture->frames();
  BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, 0.25f);
  waitUntilCaptured(volumeCall + 22050);
  const std::size_t pitchCall = capture->frames();
  BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, 12.0f);
  waitUntilCaptured(pitchCall + 22050);
  finish();

  const std::vector<int16_t> heard = capture->samples();
  const long quieter = firstLevelDrop(heard, volumeCall, 0.6);
  const long higher = firstFrequencyChange(heard, pitchCall, kToneHz);
  ASSERT_GE(quieter, 0) << "the volume change never arrived";
  ASSERT_GE(higher, 0) << "the pitch change never arrived";
  const double volumeMs = (quieter - static_cast<long>(volumeCall)) / 44.1;
  const double pitchMs = (higher - static_cast<long>(pitchCall)) / 44.1;
  std::printf("heard after: volume %.1f ms, pitch %.1f ms\n", volumeMs, pitchMs);
  // Loose bounds: this checks the changes arrive, not a speed; the
  // benchmark script reports the figures under load.
  EXPECT_LT(volumeMs, 250);
  EXPECT_LT(pitchMs, 400);
}

}  // namespace
}  // namespace lentaro::audio::test
