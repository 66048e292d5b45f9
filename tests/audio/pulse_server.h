// A private PulseAudio server for output tests and benchmarks: started by
// the test itself with its own runtime folder and a null sink, so it never
// touches a user's session and needs no sound card. The sink's monitor is
// captured with `parec`, so what the server really played can be measured.
//
// Thread: one thread at a time; the capture reads its pipe on a thread of
// its own.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lentaro::audio::test {

class PulseServer {
 public:
  static constexpr const char* kSink = "lentaro_null";

  PulseServer() = default;
  ~PulseServer() { stop(); }
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  // Starts the server and waits until it answers. False (with why()) when
  // pulseaudio is missing or does not come up.
  bool start();
  void stop();

  // "unix:<runtime>/native", for PULSE_SERVER.
  std::string address() const { return "unix:" + runtime_ + "/native"; }
  pid_t pid() const { return pid_; }
  const std::string& why() const { return why_; }
  // The server's log (stderr), for a failing test's message.
  std::string log() const;
  // Underruns the server logged so far (its "underrun" lines).
  int underrunsLogged() const;
  // CPU seconds (user + system) the server has used.
  double cpuSeconds() const;

 private:
  std::string runtime_;
  std::string why_;
  pid_t pid_ = -1;
};

// Captures the null sink's monitor as 16-bit stereo at 44.1 kHz.
class MonitorCapture {
 public:
  explicit MonitorCapture(const PulseServer& server) : server_(server) {}
  ~MonitorCapture() { stop(); }
  bool start();
  // Stops the capture; the samples stay readable.
  void stop();
  // Interleaved stereo samples captured so far (a copy).
  std::vector<int16_t> samples() const;
  // Frames captured so far.
  std::size_t frames() const;

 private:
  const PulseServer& server_;
  pid_t pid_ = -1;
  int fd_ = -1;
  std::thread reader_;
  mutable std::mutex mutex_;  // guards data_
  std::vector<int16_t> data_;
};

// What a captured steady tone shows.
struct ToneReport {
  int discontinuities = 0;  // places where the waveform jumps off the sine
  int gaps = 0;             // silences of 5 ms or more inside the tone
  double longestGapMs = 0;
  double toneSeconds = 0;          // from the first to the last loud sample
  std::vector<double> breakTimes;  // seconds into the tone, for the report
};

// Checks a captured sine of `hz` (left channel) sample by sample: a sine
// satisfies x[n] = 2cos(w)x[n-1] - x[n-2]; a sample that misses that by more
// than `tolerance` of the tone's amplitude is a break in the sound. The
// first and last 20 ms (fade-in and -out) are left out.
// The first frame at or after `from` where the captured tone (left channel,
// `hz`) has become quieter than `levelBelow` of its level before `from`,
// or changed its frequency by more than half, judged over 5 ms windows.
// -1 when it never does.
long firstLevelDrop(const std::vector<int16_t>& stereo, std::size_t from, double levelBelow);
long firstFrequencyChange(const std::vector<int16_t>& stereo, std::size_t from, double hz);

ToneReport analyseTone(const std::vector<int16_t>& stereo, double hz, double tolerance = 0.02);

}  // namespace lentaro::audio::test
