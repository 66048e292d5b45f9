// The engine's figures, measured by hand on this machine:
//   build/bench/engine_bench [render|latency|seek|position|cpu|memory|all]
// Test files are generated on first use into $TMPDIR (sox and lame): a
// 3-minute stereo 44.1 kHz 192 kbit/s MP3 (and a 1-minute one for the
// "High" stretcher's render) and, for the memory figure, a 60-minute one.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

#include <rubberband/RubberBandStretcher.h>
#include <sndfile.h>

#include "decoder.h"
#include "engine_internal.h"
#include "lentaro/bass.h"
#include "stretcher.h"

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

// ---- 1. offline render versus the same work done without the engine ---
struct Spread {
  double median, lo, hi;
};

Spread spreadOf(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v.front(), v.back()};
}

// CPU seconds of the engine rendering `mp3` to memory, offline, at tempo
// -50, pitch +5, volume 0.8, with `stretcher`.
double engineRender(const fs::path& mp3, DWORD stretcher) {
  const double c0 = cpuSeconds(RUSAGE_SELF);
  const DWORD ch = openPlayable(mp3, BASS_FX_FREESOURCE);
  BASS_ChannelSetAttribute(ch, BASS_ATTRIB_LENTARO_STRETCHER, static_cast<float>(stretcher));
  BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, -50);
  BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, 5);
  BASS_ChannelSetAttribute(ch, BASS_ATTRIB_VOL, 0.8f);
  BASS_ChannelPlay(ch, FALSE);
  std::vector<int16_t> out;  // to memory: all of it
  std::vector<int16_t> block(2 * 8192);
  while (BASS_ChannelIsActive(ch) != BASS_ACTIVE_STOPPED) {
    BASS_Lentaro_RenderOutput(block.data(), 8192);
    out.insert(out.end(), block.begin(), block.end());
  }
  BASS_StreamFree(ch);
  return cpuSeconds(RUSAGE_SELF) - c0;
}

// The decoded file, interleaved stereo floats.
std::vector<float> readWav(const fs::path& wav) {
  SF_INFO info{};
  SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
  std::vector<float> pcm(static_cast<size_t>(info.frames * info.channels));
  if (f) {
    sf_readf_float(f, pcm.data(), info.frames);
    sf_close(f);
  }
  return pcm;
}

// CPU seconds of the stretch alone over decoded audio: the engine's Fast
// stretcher (SoundTouch, called as the engine calls it, with its
// settings), or librubberband's R3 in real-time mode called directly with
// the options and block size the engine uses. Output to memory.
double stretchAlone(const std::vector<float>& pcm, DWORD stretcher) {
  const double c0 = cpuSeconds(RUSAGE_SELF);
  const size_t frames = pcm.size() / 2;
  const double speed = 0.5, semitones = 5;
  std::vector<float> out;
  out.reserve(static_cast<size_t>(static_cast<double>(pcm.size()) / speed) + 1024);
  if (stretcher == BASS_LENTARO_STRETCHER_FAST) {
    auto s = lentaro::audio::makeSoundTouchStretcher(44100, 2);
    s->restart(speed, semitones, 0);
    std::vector<float> block(2 * 4096);
    const auto drain = [&] {
      for (int n; (n = s->receive(block.data(), std::min(4096, s->available()))) > 0;) {
        out.insert(out.end(), block.begin(), block.begin() + 2 * n);
      }
    };
    for (size_t i = 0; i < frames; i += 1024) {
      s->put(pcm.data() + 2 * i, static_cast<int>(std::min<size_t>(1024, frames - i)));
      drain();
    }
    s->flush();
    drain();
  } else {
    using RB = RubberBand::RubberBandStretcher;
    RB rb(44100, 2,
          RB::OptionProcessRealTime | RB::OptionEngineFiner | RB::OptionPitchHighConsistency |
              RB::OptionThreadingNever,
          1 / speed, std::exp2(semitones / 12));
    rb.setMaxProcessSize(1024);
    std::vector<float> l(1024), r(1024), ol(4096), orr(4096);
    float* in[2] = {l.data(), r.data()};
    float* o[2] = {ol.data(), orr.data()};
    for (size_t i = 0; i < frames; i += 1024) {
      const size_t n = std::min<size_t>(1024, frames - i);
      for (size_t k = 0; k < n; ++k) {
        l[k] = pcm[2 * (i + k)];
        r[k] = pcm[2 * (i + k) + 1];
      }
      rb.process(in, n, i + n == frames);
      for (int a; (a = rb.available()) > 0;) {
        const size_t got = rb.retrieve(o, static_cast<size_t>(std::min(a, 4096)));
        for (size_t k = 0; k < got; ++k) {
          out.push_back(ol[k]);
          out.push_back(orr[k]);
        }
      }
    }
  }
  return cpuSeconds(RUSAGE_SELF) - c0;
}

void benchRender() {
  std::printf(
      "1. offline render at tempo -50, pitch +5, volume 0.8, to memory, against the same work "
      "without the engine: mpg123 -t decoding, then the same stretcher alone over the decoded "
      "audio in memory (medians of 5, range in brackets)\n");
  BASS_Init(0, 44100, BASS_DEVICE_MANUAL, nullptr, nullptr);
  struct Run {
    const char* name;
    DWORD stretcher;
    int seconds;
  };
  for (const Run& r : {Run{"Fast", BASS_LENTARO_STRETCHER_FAST, 180},
                       Run{"High", BASS_LENTARO_STRETCHER_HIGH, 60}}) {
    const fs::path mp3 = makeMp3(r.seconds, 192);
    const fs::path wav = tmp() / ("lentaro-bench-" + std::to_string(r.seconds) + "s.wav");
    run("mpg123 -q -w '" + wav.string() + "' '" + mp3.string() + "'");
    const std::vector<float> pcm = readWav(wav);
    std::vector<double> ours, decode, stretch, tool;
    for (int i = 0; i < 5; ++i) {
      ours.push_back(engineRender(mp3, r.stretcher));
      decode.push_back(childCpu("mpg123 -q -t '" + mp3.string() + "'"));
      stretch.push_back(stretchAlone(pcm, r.stretcher));
      if (r.stretcher == BASS_LENTARO_STRETCHER_FAST) {
        tool.push_back(childCpu("soundstretch '" + wav.string() + "' '" +
                                (tmp() / "lentaro-bench-out.wav").string() +
                                "' -tempo=-50 -pitch=5 >/dev/null 2>&1"));
      }
    }
    std::vector<double> ref;
    for (int i = 0; i < 5; ++i)
      ref.push_back(decode[static_cast<size_t>(i)] + stretch[static_cast<size_t>(i)]);
    const Spread o = spreadOf(ours), d = spreadOf(decode), s = spreadOf(stretch), f = spreadOf(ref);
    std::printf(
        "   %s, %d s: engine %.3f s CPU [%.3f-%.3f]; mpg123 -t %.3f [%.3f-%.3f] + stretch "
        "alone %.3f [%.3f-%.3f] = %.3f [%.3f-%.3f]: %.2fx (goal <= 1.1x)\n",
        r.name, r.seconds, o.median, o.lo, o.hi, d.median, d.lo, d.hi, s.median, s.lo, s.hi,
        f.median, f.lo, f.hi, o.median / f.median);
    if (!tool.empty()) {
      const Spread t = spreadOf(tool);
      std::printf(
          "      (soundstretch itself, its own settings, from the WAV file: %.3f s "
          "[%.3f-%.3f]; with mpg123 -t %.2fx)\n",
          t.median, t.lo, t.hi, o.median / (d.median + t.median));
    }
    fs::remove(wav);
  }
  BASS_Free();
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
    DWORD stretcher;
  } cases[] = {
      {"tempo 0, pitch 0", 0, 0, false, BASS_LENTARO_STRETCHER_FAST},
      {"Fast: tempo -50, pitch +5", -50, 5, false, BASS_LENTARO_STRETCHER_FAST},
      {"tempo 0 + encoder feed", 0, 0, true, BASS_LENTARO_STRETCHER_FAST},
      {"Fast: tempo -50, pitch +5 + encoder feed", -50, 5, true, BASS_LENTARO_STRETCHER_FAST},
      {"High: tempo -50, pitch +5", -50, 5, false, BASS_LENTARO_STRETCHER_HIGH}};
  for (const Case& c : cases) {
    BASS_Init(0, 44100, 0, nullptr, nullptr);
    const DWORD ch = openPlayable(mp3, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP);
    BASS_ChannelSetAttribute(ch, BASS_ATTRIB_LENTARO_STRETCHER, static_cast<float>(c.stretcher));
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
    std::printf("   %-42s %.2f %% of one core", c.name, 100 * cpu / wall);
    if (c.encode)
      std::printf(" (lame itself: %.1f %% over its whole run)", 100 * lame / (wall + 1));
    std::printf("\n");
    fs::remove(out);
  }
  std::printf(
      "   goals (Fast): <= 1.5 %% playing, <= 3 %% with the encoder feed; High: no goal here "
      "(see 1: the engine adds nothing to the library's own cost)\n");
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
