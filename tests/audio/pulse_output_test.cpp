// The device output through a real PulseAudio server: a steady tone played
// by the engine arrives at the server's null sink without a break. The
// server is started here, with its own runtime folder; the sink's monitor
// is captured and checked sample by sample.
//
// This test plays in real time (that is what it checks), a few seconds.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
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

TEST(PulseOutput, ASteadyToneArrivesWithoutABreak) {
  if (!programInstalled("pulseaudio") || !programInstalled("parec"))
    GTEST_SKIP() << "pulseaudio and parec are not installed on this machine";
  PulseServer server;
  ASSERT_TRUE(server.start()) << server.why();
  MonitorCapture capture(server);
  ASSERT_TRUE(capture.start());

  // SDL finds the private server through PULSE_SERVER.
  setenv("PULSE_SERVER", server.address().c_str(), 1);
  setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
  ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
  const int kSeconds = toneSeconds();
  const int64_t frames = int64_t{kSeconds} * 44100;
  const HSTREAM ch =
      tempoChannel(std::make_unique<SignalDecoder>(44100, 2, frames, [](int64_t f, int) {
        return 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * kToneHz * f / 44100.0));
      }));
  ASSERT_NE(ch, 0u);
  const double cpuBefore = server.cpuSeconds();
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kSeconds + 5);
  while (BASS_ChannelIsActive(ch) != BASS_ACTIVE_STOPPED &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the server's own latency
  const double serverCpu = server.cpuSeconds() - cpuBefore;
  BASS_Free();
  capture.stop();
  if (std::getenv("LENTARO_PULSE_VERBOSE")) {
    std::string all = server.log();
    size_t p = 0;
    while ((p = all.find("nderrun", p)) != std::string::npos) {
      size_t a = all.rfind('\n', p);
      size_t b = all.find('\n', p);
      std::printf("%s\n", all.substr(a + 1, b - a - 1).c_str());
      p = b;
    }
  }
  unsetenv("PULSE_SERVER");

  const ToneReport r = analyseTone(capture.samples(), kToneHz);
  RecordProperty("server_cpu_percent", static_cast<int>(100 * serverCpu / kSeconds));
  EXPECT_NEAR(r.toneSeconds, kSeconds, 0.1) << "the tone did not arrive whole";
  std::string where;
  for (double t : r.breakTimes) where += " " + std::to_string(t);
  EXPECT_EQ(r.discontinuities, 0) << "at (s):" << where;
  EXPECT_EQ(r.gaps, 0) << "longest " << r.longestGapMs << " ms";
  std::printf("server: %d underruns logged, %.1f %% of a core\n", server.underrunsLogged(),
              100 * serverCpu / kSeconds);
}

// How soon a change is heard: measured on what the server played, from the
// call to the first changed 5 ms window of the captured tone.
TEST(PulseOutput, VolumeAndPitchChangesAreHeardPromptly) {
  if (!programInstalled("pulseaudio") || !programInstalled("parec"))
    GTEST_SKIP() << "pulseaudio and parec are not installed on this machine";
  PulseServer server;
  ASSERT_TRUE(server.start()) << server.why();
  MonitorCapture capture(server);
  ASSERT_TRUE(capture.start());
  setenv("PULSE_SERVER", server.address().c_str(), 1);
  setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
  ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
  const HSTREAM ch = tempoChannel(
      std::make_unique<SignalDecoder>(44100, 2, int64_t{20} * 44100, [](int64_t f, int) {
        return 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * kToneHz * f / 44100.0));
      }));
  ASSERT_NE(ch, 0u);
  ASSERT_TRUE(BASS_ChannelPlay(ch, FALSE));
  const auto waitUntilCaptured = [&](std::size_t frames) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (capture.frames() < frames && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  // Let the tone settle, then turn it down and note where the call fell.
  waitUntilCaptured(44100);
  const std::size_t volumeCall = capture.frames();
  BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, 0.25f);
  waitUntilCaptured(volumeCall + 22050);
  const std::size_t pitchCall = capture.frames();
  BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, 12.0f);
  waitUntilCaptured(pitchCall + 22050);
  BASS_Free();
  capture.stop();
  unsetenv("PULSE_SERVER");

  const std::vector<int16_t> heard = capture.samples();
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
