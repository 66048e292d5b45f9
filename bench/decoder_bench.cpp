// What opening and decoding cost: the open of a 3-minute and a 60-minute MP3
// (frame walk plus libmpg123's scan, run on the UI thread), straight decoding
// of the 3-minute file, and one exact seek. The files are generated on first
// run with sox and lame under /tmp (LENTARO_BENCH_DIR to change).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "decoder.h"

namespace {

namespace fs = std::filesystem;
using lentaro::audio::Decoder;

std::string benchDir() {
  const char* d = std::getenv("LENTARO_BENCH_DIR");
  return d ? d : "/tmp/lentaro-bench";
}

// 3 minutes of 44.1 kHz stereo at 192 kbit/s, and twenty of them back to
// back for an hour.
const std::string& threeMinutes() {
  static const std::string path = [] {
    const std::string dir = benchDir();
    fs::create_directories(dir);
    const std::string mp3 = dir + "/three-minutes.mp3";
    if (!fs::exists(mp3)) {
      const std::string cmd = "sox -R -n -r 44100 -c 2 -b 16 " + dir +
                              "/three.wav synth 180 pinknoise synth 180 sine mix 220-880 gain -6"
                              " && lame --quiet -b 192 " +
                              dir + "/three.wav " + mp3 + " && rm -f " + dir + "/three.wav";
      if (std::system(cmd.c_str()) != 0) std::abort();
    }
    return mp3;
  }();
  return path;
}

const std::string& oneHour() {
  static const std::string path = [] {
    const std::string mp3 = benchDir() + "/one-hour.mp3";
    if (!fs::exists(mp3)) {
      std::string cmd = "cat";
      for (int i = 0; i < 20; ++i) cmd += " " + threeMinutes();
      cmd += " > " + mp3;
      if (std::system(cmd.c_str()) != 0) std::abort();
    }
    return mp3;
  }();
  return path;
}

std::unique_ptr<Decoder> open(const std::string& path) {
  int error = 0;
  auto dec = lentaro::audio::openStreamDecoder(path, &error);
  if (!dec) std::abort();
  return dec;
}

void BM_OpenThreeMinutes(benchmark::State& state) {
  const std::string& path = threeMinutes();
  for (auto _ : state) benchmark::DoNotOptimize(open(path)->lengthFrames());
}
BENCHMARK(BM_OpenThreeMinutes)->Unit(benchmark::kMillisecond);

// Warm cache: the file was read moments before, as after a first open.
void BM_OpenOneHour(benchmark::State& state) {
  const std::string& path = oneHour();
  for (auto _ : state) benchmark::DoNotOptimize(open(path)->lengthFrames());
}
BENCHMARK(BM_OpenOneHour)->Unit(benchmark::kMillisecond);

void BM_DecodeThreeMinutes(benchmark::State& state) {
  const std::string& path = threeMinutes();
  auto dec = open(path);
  std::vector<float> buf(4096 * 2);
  int64_t frames = 0;
  for (auto _ : state) {
    dec->seek(0);
    while (const long n = dec->read(buf.data(), 4096)) frames += n;
  }
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(frames) / 44100.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeThreeMinutes)->Unit(benchmark::kMillisecond);

void BM_SeekAndFirstChunk(benchmark::State& state) {
  auto dec = open(oneHour());
  std::vector<float> buf(1024 * 2);
  int64_t at = 12345;
  for (auto _ : state) {
    at = (at * 7919 + 104729) % (dec->lengthFrames() - 2048);
    dec->seek(at);
    benchmark::DoNotOptimize(dec->read(buf.data(), 1024));
  }
}
BENCHMARK(BM_SeekAndFirstChunk)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
