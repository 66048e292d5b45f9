// The engine's figures, measured by hand on this machine:
//   build/bench/engine_bench [render|latency|seek|position|cpu|memory|all]
// Test files are generated on first use into $TMPDIR (sox and lame): a
// 3-minute stereo 44.1 kHz 192 kbit/s MP3 and, for the memory figure, a
// 60-minute one.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "decoder.h"
#include "engine_internal.h"
#include "lentaro/bass.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double cpuSeconds(int who) {
  rusage ru{};
  getrusage(who, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

int run(const std::string& cmd) {
  const int rc = std::system(cmd.c_str());
  if (rc != 0) std::fprintf(stderr, "failed: %s\n", cmd.c_str());
  return rc;
}

fs::path tmp() {
  return fs::temp_directory_path();
}

fs::path makeMp3(int seconds, int kbps) {
  const fs::path p = tmp() / ("lentaro-bench-" + std::to_string(seconds) + "s.mp3");
  if (fs::exists(p)) return p;
  std::printf("generating %s ...\n", p.c_str());
  std::fflush(stdout);
  run("sox -R -n -r 44100 -c 2 -b 16 -t wav - synth " + std::to_string(seconds) +
      " sine 220-880 sine 330-990 tremolo 3 40 gain -4 | lame --quiet -b " + std::to_string(kbps) +
      " - '" + p.string() + "'");
  return p;
}

DWORD openPlayable(const fs::path& p, DWORD tempoFlags) {
  const DWORD src = BASS_StreamCreateFile(FALSE, p.c_str(), 0, 0, 0x80200000u);
  return src ? BASS_FX_TempoCreate(src, tempoFlags) : 0;
}

// CPU seconds of a child command.
double childCpu(const std::string& cmd) {
  const double before = cpuSeconds(RUSAGE_CHILDREN);
  run(cmd);
  return cpuSeconds(RUSAGE_CHILDREN) - before;
}

// ---- 1. offline render versus mpg123 + soundstretch --------------------
void benchRender() {
  const fs::path mp3 = makeMp3(180, 192);
  const fs::path wav = tmp() / "lentaro-bench-180s.wav";
  run("mpg123 -q -w '" + wav.string() + "' '" + mp3.string() + "'");
  BASS_Init(0, 44100, BASS_DEVICE_MANUAL, nullptr, nullptr);
  const int reps = 3;
  double ours = 1e9, ref = 1e9;
  for (int r = 0; r < reps; ++r) {
    const double c0 = cpuSeconds(RUSAGE_SELF);
    const DWORD ch = openPlayable(mp3, BASS_FX_FREESOURCE);
    BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, -50);
    BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, 5);
    BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, 0.8f);
    BASS_ChannelPlay(ch, FALSE);
    std::vector<int16_t> out;  // to memory: the whole 6 minutes
    out.reserve(2u * 44100 * 361);
    std::vector<int16_t> block(2 * 8192);
    while (BASS_ChannelIsActive(ch) != BASS_ACTIVE_STOPPED) {
      BASS_Lentaro_RenderOutput(block.data(), 8192);
      out.insert(out.end(), block.begin(), block.end());
    }
    BASS_StreamFree(ch);
    ours = std::min(ours, cpuSeconds(RUSAGE_SELF) - c0);
    const double m = childCpu("mpg123 -q -t '" + mp3.string() + "'");
    const double s = childCpu("soundstretch '" + wav.string() + "' '" +
                              (tmp() / "lentaro-bench-out.wav").string() +
                              "' -tempo=-50 -pitch=5 >/dev/null 2>&1");
    ref = std::min(ref, m + s);
    std::printf(
        "  run %d: ours %.3f s (%.1f s of output), mpg123 -t %.3f s + soundstretch %.3f s\n", r + 1,
        cpuSeconds(RUSAGE_SELF) - c0, static_cast<double>(out.size()) / 88200, m, s);
  }
  BASS_Free();
  std::printf("1. offline render, 180 s at tempo -50, pitch +5, volume 0.8 (best of %d)\n", reps);
  std::printf("   ours %.3f s CPU, reference %.3f s CPU: %.2fx the reference (goal <= 1.1x)\n",
              ours, ref, ours / ref);
  fs::remove(wav);
  fs::remove(tmp() / "lentaro-bench-out.wav");
}

// ---- SDL disk driver: the real device path, written to a file ----------
struct DiskDevice {
  fs::path file = tmp() / "lentaro-bench-device.raw";
  bool open() {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "11", 1);  // about one 512-frame buffer per period
    return BASS_Init(-1, 44100, 0, nullptr, nullptr) != 0;
  }
  std::vector<int16_t> close() {
    BASS_Free();
    std::vector<int16_t> out(fs::file_size(file) / 2);
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size() * 2));
    fs::remove(file);
    return out;
  }
};

constexpr double kDeviceBufferMs = 512 * 1000.0 / 44100;

double freqAt(const std::vector<int16_t>& s, size_t from, size_t frames) {
  int crossings = 0;
  double first = -1, last = -1;
  for (size_t i = from + 1; i < from + frames && 2 * i < s.size(); ++i) {
    const double a = s[2 * (i - 1)], b = s[2 * i];
    if (a < 0 && b >= 0) {
      const double t = static_cast<double>(i - 1) + a / (a - b);
      if (first < 0) first = t;
      last = t;
      ++crossings;
    }
  }
  return crossings < 2 ? 0 : (crossings - 1) * 44100.0 / (last - first);
}

class Sine : public lentaro::audio::Decoder {
 public:
  Sine(double hz, int64_t frames) : hz_(hz), frames_(frames) {}
  lentaro::audio::StreamFormat format() const override { return {44100, 2}; }
  int64_t lengthFrames() const override { return frames_; }
  long read(float* out, long max) override {
    long n = 0;
    for (; n < max && pos_ < frames_; ++n, ++pos_) {
      // Left: the tone. Right: the frame counter's low 15 bits, exact.
      out[2 * n] = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * hz_ * pos_ / 44100));
      out[2 * n + 1] = static_cast<float>((pos_ + 1) & 0x7fff) / 32768.0f;
    }
    return n;
  }
  bool seek(int64_t f) override {
    pos_ = f;
    return f >= 0 && f <= frames_;
  }

 private:
  double hz_;
  int64_t frames_;
  int64_t pos_ = 0;
};

// ---- 2. control latency -------------------------------------------------
void benchLatency() {
  std::printf("2. control latency through the device path (SDL disk driver, 512-frame buffer)\n");
  for (const char* what : {"pitch", "tempo", "volume"}) {
    double worst = 0, sum = 0;
    const int trials = 8;
    for (int t = 0; t < trials; ++t) {
      DiskDevice dev;
      if (!dev.open()) {
        std::printf("   no SDL disk driver\n");
        return;
      }
      const HSTREAM src =
          lentaro::audio::createStreamFromDecoder(std::make_unique<Sine>(500, 441000));
      const HSTREAM ch = BASS_FX_TempoCreate(src, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
      BASS_ChannelPlay(ch, FALSE);
      // Stretching from the start, so tempo changes are not a switch-over.
      BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, 0.01f);
      std::this_thread::sleep_for(std::chrono::milliseconds(300 + 37 * t));
      const uint64_t issued = lentaro::audio::outputFramesRendered();
      if (std::string(what) == "pitch") BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, 12);
      if (std::string(what) == "tempo") BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, 100);
      if (std::string(what) == "volume") BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, 0.25f);
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      const auto out = dev.close();
      size_t at = out.size() / 2;
      for (size_t i = issued; i + 441 < out.size() / 2; i += 44) {
        bool changed = false;
        if (std::string(what) == "volume") {
          changed = std::abs(out[2 * i]) > 0 && [&] {
            int peak = 0;
            for (size_t k = i; k < i + 100; ++k) peak = std::max(peak, std::abs(int{out[2 * k]}));
            return peak < 0.5 * 16384 * 0.6;
          }();
        } else if (std::string(what) == "pitch") {
          changed = freqAt(out, i, 441) > 900;
        } else {
          // Tempo: the counter on the right advances two frames per frame.
          const int d = (out[2 * (i + 100) + 1] - out[2 * i + 1] + 32768) % 32768;
          changed = d > 150;
        }
        if (changed) {
          at = i;
          break;
        }
      }
      const double ms =
          (static_cast<double>(at) - static_cast<double>(issued)) * 1000 / 44100 + kDeviceBufferMs;
      worst = std::max(worst, ms);
      sum += ms;
    }
    std::printf("   %-6s mean %.1f ms, worst %.1f ms (goal %s)\n", what, sum / trials, worst,
                std::string(what) == "volume" ? "<= 30 ms" : "<= 100 ms");
  }
}

// ---- 3. seek --------------------------------------------------------------
void benchSeek() {
  std::printf("3. seek: from BASS_ChannelSetPosition to the first frame from the new place\n");
  double worst = 0, sum = 0;
  int exact = 0;
  const int trials = 10;
  for (int t = 0; t < trials; ++t) {
    DiskDevice dev;
    if (!dev.open()) return;
    const HSTREAM src =
        lentaro::audio::createStreamFromDecoder(std::make_unique<Sine>(500, 441000));
    const HSTREAM ch = BASS_FX_TempoCreate(src, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
    BASS_ChannelPlay(ch, FALSE);
    std::this_thread::sleep_for(std::chrono::milliseconds(200 + 29 * t));
    const int64_t target = 100000 + 7919 * t;
    const uint64_t issued = lentaro::audio::outputFramesRendered();
    BASS_ChannelSetPosition(ch, static_cast<QWORD>(target) * 4, BASS_POS_BYTE);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto out = dev.close();
    const int16_t want = static_cast<int16_t>((target + 1) & 0x7fff);
    size_t at = out.size() / 2;
    for (size_t i = issued; i < out.size() / 2; ++i) {
      const int16_t prev = i > 0 ? out[2 * (i - 1) + 1] : 0;
      if (out[2 * i + 1] != 0 && out[2 * i + 1] != static_cast<int16_t>((prev + 1) & 0x7fff)) {
        at = i;  // the first discontinuity after the call: the new place
        break;
      }
    }
    if (at < out.size() / 2 && out[2 * at + 1] == want) ++exact;
    const double ms =
        (static_cast<double>(at) - static_cast<double>(issued)) * 1000 / 44100 + kDeviceBufferMs;
    worst = std::max(worst, ms);
    sum += ms;
  }
  std::printf("   mean %.1f ms, worst %.1f ms (goal <= 50 ms); first frame exact in %d of %d\n",
              sum / trials, worst, exact, trials);
}

// ---- 4. position accuracy -------------------------------------------------
class Clicks : public lentaro::audio::Decoder {
 public:
  lentaro::audio::StreamFormat format() const override { return {44100, 2}; }
  int64_t lengthFrames() const override { return 44100 * 8; }
  long read(float* out, long max) override {
    long n = 0;
    for (; n < max && pos_ < lengthFrames(); ++n, ++pos_) {
      const int64_t k = pos_ % 11025;
      const float v =
          k < 1323 ? 0.8f * static_cast<float>(std::sin(2 * std::numbers::pi * 1000.0 * k / 44100))
                   : 0.0f;
      out[2 * n] = out[2 * n + 1] = v;
    }
    return n;
  }
  bool seek(int64_t f) override {
    pos_ = f;
    return true;
  }

 private:
  int64_t pos_ = 0;
};

void benchPosition() {
  std::printf("4. position accuracy: reported place against the clicks heard (offline output)\n");
  const float shapes[][2] = {{-50, 0}, {0, 0}, {100, 0}, {0, 12}, {0, -12}};
  for (const auto& s : shapes) {
    BASS_Init(0, 44100, BASS_DEVICE_MANUAL, nullptr, nullptr);
    const HSTREAM src = lentaro::audio::createStreamFromDecoder(std::make_unique<Clicks>());
    const HSTREAM ch = BASS_FX_TempoCreate(src, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
    BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, s[0]);
    BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, s[1]);
    BASS_ChannelPlay(ch, FALSE);
    const double speed = 1 + s[0] / 100.0;
    std::vector<int16_t> out, block(882);
    std::vector<double> pos;
    for (int b = 0; b < 30.0 / speed / 0.01; ++b) {
      BASS_Lentaro_RenderOutput(block.data(), 441);
      out.insert(out.end(), block.begin(), block.end());
      pos.push_back(static_cast<double>(BASS_ChannelGetPosition(ch, BASS_POS_BYTE) / 4));
    }
    BASS_Free();
    size_t quiet = 100000;
    const auto need = static_cast<size_t>(0.1 / speed * 44100);
    double worst = 0, sum = 0;
    int n = 0;
    for (size_t i = 0; i < out.size() / 2; ++i) {
      if (std::abs(out[2 * i]) < 1500) {
        ++quiet;
        continue;
      }
      if (quiet >= need && i >= 441) {
        const size_t b = i / 441;
        double before = pos[b - 1], after = pos[b];
        if (after < before) after += 44100 * 8;
        const double p = before + (after - before) * static_cast<double>(i - b * 441) / 441;
        const double err = (p - std::round(p / 11025) * 11025) / 44.1;
        worst = std::max(worst, std::abs(err));
        if (std::getenv("LENTARO_BENCH_VERBOSE") && std::abs(err) > 20) {
          std::printf("     click at output %.3f s: %+.1f ms\n", static_cast<double>(i) / 44100,
                      err);
        }
        sum += err;
        ++n;
      }
      quiet = 0;
    }
    std::printf(
        "   tempo %+4.0f pitch %+3.0f: %d clicks, mean %+.1f ms, worst %.1f ms (goal <= 20)\n",
        s[0], s[1], n, sum / n, worst);
  }
}

// ---- 5. CPU while playing -------------------------------------------------
void benchCpu() {
  const fs::path mp3 = makeMp3(180, 192);
  std::printf("5. CPU while playing in real time (no-sound device: the same mixing, no driver)\n");
  const double seconds = 20;
  struct Case {
    const char* name;
    float tempo, pitch;
    bool encode;
  } cases[] = {{"tempo 0, pitch 0", 0, 0, false},
               {"tempo -50, pitch +5", -50, 5, false},
               {"tempo 0 + encoder feed", 0, 0, true},
               {"tempo -50, pitch +5 + encoder feed", -50, 5, true}};
  for (const Case& c : cases) {
    BASS_Init(0, 44100, 0, nullptr, nullptr);
    const DWORD ch = openPlayable(mp3, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
    BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, c.tempo);
    BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, c.pitch);
    BASS_ChannelPlay(ch, FALSE);
    const std::string out = (tmp() / "lentaro-bench-rec.mp3").string();
    const char* argv[] = {"/usr/bin/lame", "--quiet", "-", out.c_str(), nullptr};
    if (c.encode) BASS_Encode_StartArgv(ch, argv, 0, nullptr, nullptr);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double c0 = cpuSeconds(RUSAGE_SELF);
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = cpuSeconds(RUSAGE_SELF) - c0;
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double ch0 = cpuSeconds(RUSAGE_CHILDREN);
    BASS_Free();
    const double lame = cpuSeconds(RUSAGE_CHILDREN) - ch0;
    std::printf("   %-36s %.2f %% of one core", c.name, 100 * cpu / wall);
    if (c.encode)
      std::printf(" (lame itself: %.1f %% over its whole run)", 100 * lame / (wall + 1));
    std::printf("\n");
    fs::remove(out);
  }
  std::printf("   goals: <= 1.5 %% playing, <= 3 %% with the encoder feed\n");
}

// ---- 6. memory ----------------------------------------------------------
long rssKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// The baseline: the process as it starts, before main opens the engine or
// any file. Taken while the program loads (dynamic initialisation), so that
// the figures run before it in "all" cannot hide in it.
const long startRssKb = rssKb();

void benchMemory() {
  const fs::path mp3 = makeMp3(3600, 128);
  BASS_Init(0, 44100, 0, nullptr, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const long idle = rssKb();
  const DWORD ch = openPlayable(mp3, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
  BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, -30);
  BASS_ChannelPlay(ch, FALSE);
  long peak = 0;
  const QWORD len = BASS_ChannelGetLength(ch, BASS_POS_BYTE);
  for (int i = 0; i < 40; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (i % 5 == 0) BASS_ChannelSetPosition(ch, (len / 8 * (i / 5)) & ~QWORD{3}, BASS_POS_BYTE);
    peak = std::max(peak, rssKb());
  }
  BASS_Free();
  std::printf(
      "6. memory: at start %ld KiB, engine open and idle %ld KiB, playing a 60-minute file %ld "
      "KiB: +%.1f MB over the start (goal <= 20 MB)\n",
      startRssKb, idle, peak, static_cast<double>(peak - startRssKb) / 1024);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "all";
  if (what == "render" || what == "all") benchRender();
  if (what == "latency" || what == "all") benchLatency();
  if (what == "seek" || what == "all") benchSeek();
  if (what == "position" || what == "all") benchPosition();
  if (what == "cpu" || what == "all") benchCpu();
  if (what == "memory" || what == "all") benchMemory();
  return 0;
}
