#include "renderers.h"

#include <fcntl.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <sstream>
#include <vector>

#include "lentaro/bass.h"

extern char** environ;

namespace lentaro::quality {
namespace fs = std::filesystem;

bool writeWav(const fs::path& path, const Audio& a, bool float32) {
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | (float32 ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) {
    std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
    return false;
  }
  sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  std::vector<float> inter(2 * a.frames());
  for (size_t i = 0; i < a.frames(); ++i) {
    inter[2 * i] = a.left[i];
    inter[2 * i + 1] = a.right[i];
  }
  const sf_count_t n = sf_writef_float(f, inter.data(), static_cast<sf_count_t>(a.frames()));
  sf_close(f);
  return n == static_cast<sf_count_t>(a.frames());
}

std::optional<Audio> readWav(const fs::path& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) {
    std::fprintf(stderr, "cannot read %s: %s\n", path.c_str(), sf_strerror(nullptr));
    return std::nullopt;
  }
  if (info.samplerate != kRate || info.channels < 1 || info.channels > 2) {
    std::fprintf(stderr, "%s: %d Hz, %d channels; want %d Hz mono or stereo\n", path.c_str(),
                 info.samplerate, info.channels, kRate);
    sf_close(f);
    return std::nullopt;
  }
  std::vector<float> inter(static_cast<size_t>(info.frames * info.channels));
  const sf_count_t got = sf_readf_float(f, inter.data(), info.frames);
  sf_close(f);
  Audio a;
  const size_t frames = static_cast<size_t>(std::max<sf_count_t>(0, got));
  const size_t ch = static_cast<size_t>(info.channels);
  a.left.resize(frames);
  a.right.resize(frames);
  for (size_t i = 0; i < frames; ++i) {
    a.left[i] = inter[ch * i];
    a.right[i] = inter[ch * i + ch - 1];
  }
  return a;
}

bool runQuiet(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& s : argv) args.push_back(const_cast<char*>(s.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    std::fprintf(stderr, "cannot start %s\n", argv[0].c_str());
    return false;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!ok) {
    std::string line;
    for (const std::string& s : argv) line += s + " ";
    std::fprintf(stderr, "failed: %s\n", line.c_str());
  }
  return ok;
}

// ---- the engine -----------------------------------------------------------

bool engineOpen() {
  if (!BASS_Init(0, kRate, BASS_DEVICE_MANUAL, nullptr, nullptr)) {
    std::fprintf(stderr, "engine: BASS_Init failed (%d)\n", BASS_ErrorGetCode());
    return false;
  }
  return true;
}

void engineClose() {
  BASS_Free();
}

bool engineHasStretcherModes() {
#ifdef BASS_ATTRIB_LENTARO_STRETCHER
  return true;
#else
  return false;
#endif
}

std::optional<Audio> renderEngine(const fs::path& input, const Case& c, int mode) {
  const DWORD src = BASS_StreamCreateFile(FALSE, input.c_str(), 0, 0, BASS_STREAM_DECODE);
  const DWORD ch = src ? BASS_FX_TempoCreate(src, BASS_FX_FREESOURCE) : 0;
  if (!ch) {
    std::fprintf(stderr, "engine: cannot open %s (%d)\n", input.c_str(), BASS_ErrorGetCode());
    if (src) BASS_StreamFree(src);
    return std::nullopt;
  }
  bool ok = true;
#ifdef BASS_ATTRIB_LENTARO_STRETCHER
  if (mode >= 0)
    ok = BASS_ChannelSetAttribute(ch, BASS_ATTRIB_LENTARO_STRETCHER, static_cast<float>(mode));
#else
  ok = mode < 0;
#endif
  ok = ok &&
       BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO, static_cast<float>((c.tempo - 1) * 100));
  ok = ok && BASS_ChannelSetAttribute(ch, BASS_ATTRIB_TEMPO_PITCH, static_cast<float>(c.semitones));
  ok = ok && BASS_ChannelPlay(ch, FALSE);
  if (!ok) {
    std::fprintf(stderr, "engine: cannot set up mode %d (%d)\n", mode, BASS_ErrorGetCode());
    BASS_StreamFree(ch);
    return std::nullopt;
  }
  // Bounded, should the channel never report its end.
  const size_t cap = static_cast<size_t>((kScoreSeconds / c.tempo + 10) * kRate);
  constexpr int kBlock = 4096;
  std::vector<int16_t> block(2 * kBlock);
  Audio a;
  while (BASS_ChannelIsActive(ch) != BASS_ACTIVE_STOPPED && a.frames() < cap) {
    const int n = BASS_Lentaro_RenderOutput(block.data(), kBlock);
    if (n <= 0) break;
    for (int i = 0; i < n; ++i) {
      a.left.push_back(block[2 * static_cast<size_t>(i)] / 32768.0f);
      a.right.push_back(block[2 * static_cast<size_t>(i) + 1] / 32768.0f);
    }
  }
  BASS_StreamFree(ch);
  return a;
}

// ---- command-line tools ---------------------------------------------------

namespace {

std::string number(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

}  // namespace

std::optional<Audio> renderRubberBand(const fs::path& input, const fs::path& output,
                                      const Case& c) {
  if (!runQuiet({"rubberband", "-q", "--fine", "-T", number(c.tempo), "-p", number(c.semitones),
                 input.string(), output.string()}))
    return std::nullopt;
  return readWav(output);
}

std::optional<Audio> renderSoundStretch(const fs::path& input, const fs::path& output,
                                        const Case& c, bool speech) {
  std::vector<std::string> argv = {"soundstretch", input.string(), output.string(),
                                   "-tempo=" + number((c.tempo - 1) * 100),
                                   "-pitch=" + number(c.semitones)};
  if (speech) argv.push_back("-speech");
  if (!runQuiet(argv)) return std::nullopt;
  return readWav(output);
}

// ---- naive overlap-add ------------------------------------------------------

namespace {

// Output length in.size() / tempo.
std::vector<float> olaStretch(const std::vector<float>& in, double tempo) {
  constexpr size_t kN = 2048, kHop = 512;
  std::vector<float> window(kN);
  for (size_t i = 0; i < kN; ++i)
    window[i] = static_cast<float>(
        0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / kN));
  const size_t outLen = static_cast<size_t>(std::ceil(static_cast<double>(in.size()) / tempo));
  std::vector<double> out(outLen, 0.0), weight(outLen, 0.0);
  for (size_t m = 0; m * kHop < outLen + kN / 2; ++m) {
    const long outCentre = static_cast<long>(m * kHop);
    const long inCentre = std::lround(static_cast<double>(m * kHop) * tempo);
    for (size_t i = 0; i < kN; ++i) {
      const long o = outCentre - static_cast<long>(kN / 2) + static_cast<long>(i);
      const long s = inCentre - static_cast<long>(kN / 2) + static_cast<long>(i);
      if (o < 0 || o >= static_cast<long>(outLen)) continue;
      const float x =
          s >= 0 && s < static_cast<long>(in.size()) ? in[static_cast<size_t>(s)] : 0.0f;
      out[static_cast<size_t>(o)] += window[i] * x;
      weight[static_cast<size_t>(o)] += window[i];
    }
  }
  std::vector<float> y(outLen);
  for (size_t i = 0; i < outLen; ++i)
    y[i] = weight[i] > 1e-3 ? static_cast<float>(out[i] / weight[i]) : 0.0f;
  return y;
}

// Reads `in` at `step` input samples per output sample (windowed sinc,
// low-passed below both Nyquists).
std::vector<float> resample(const std::vector<float>& in, double step) {
  constexpr int kZeros = 16, kPerSample = 256;
  const double cutoff = 0.95 * std::min(1.0, 1.0 / step);
  const double halfWidth = kZeros / cutoff;  // input samples
  const size_t tableLen = static_cast<size_t>(std::ceil(halfWidth * kPerSample)) + 2;
  std::vector<float> table(tableLen);
  for (size_t i = 0; i < tableLen; ++i) {
    const double t = static_cast<double>(i) / kPerSample;
    const double x = std::numbers::pi * cutoff * t;
    const double sinc = t == 0 ? 1.0 : std::sin(x) / x;
    const double r = std::min(1.0, t / halfWidth);
    const double blackman =
        0.42 + 0.5 * std::cos(std::numbers::pi * r) + 0.08 * std::cos(2 * std::numbers::pi * r);
    table[i] = static_cast<float>(cutoff * sinc * blackman);
  }
  const auto kernel = [&](double t) {
    const double at = std::abs(t) * kPerSample;
    const size_t i = static_cast<size_t>(at);
    if (i + 1 >= tableLen) return 0.0f;
    const float frac = static_cast<float>(at - static_cast<double>(i));
    return table[i] + frac * (table[i + 1] - table[i]);
  };
  const size_t outLen = static_cast<size_t>(static_cast<double>(in.size()) / step);
  std::vector<float> out(outLen);
  for (size_t n = 0; n < outLen; ++n) {
    const double pos = static_cast<double>(n) * step;
    const long lo = static_cast<long>(std::ceil(pos - halfWidth));
    const long hi = static_cast<long>(std::floor(pos + halfWidth));
    float sum = 0;
    for (long k = std::max(0L, lo); k <= hi && k < static_cast<long>(in.size()); ++k)
      sum += in[static_cast<size_t>(k)] * kernel(pos - static_cast<double>(k));
    out[n] = sum;
  }
  return out;
}

}  // namespace

Audio renderNaiveOla(const Audio& source, const Case& c) {
  // Transposing by p: stretch to p times the target length, then read p
  // times faster.
  const double p = std::exp2(c.semitones / 12);
  Audio a;
  for (int ch = 0; ch < 2; ++ch) {
    std::vector<float> y = olaStretch(ch == 0 ? source.left : source.right, c.tempo / p);
    if (c.semitones != 0) y = resample(y, p);
    (ch == 0 ? a.left : a.right) = std::move(y);
  }
  return a;
}

}  // namespace lentaro::quality
