// CPU time of the encoder feed per second of audio: the copy in the
// callback plus the writer thread's wake-ups and pipe writes. The sink is
// /bin/cat into /dev/null, so the figure is the feed alone.
//
// RealTime: one 512-frame push every 11.6 ms as the output callback does;
// the feed's share is its CPU time minus that of PacingOnly.
// Burst: pushes as fast as the sink takes them, the cost per byte.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "encoder_feed.h"

namespace {

using lentaro::audio::EncoderFeed;
using lentaro::audio::startEncoderFeed;
using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr std::size_t kChunk = 512;
constexpr std::size_t kChunksPerSecond = (kRate + kChunk - 1) / kChunk;

std::vector<int16_t> chunkOfTone() {
  std::vector<int16_t> s(kChunk * 2);
  for (std::size_t i = 0; i < kChunk; ++i) {
    s[2 * i] = s[2 * i + 1] =
        static_cast<int16_t>(8000 * std::sin(0.0627 * static_cast<double>(i)));
  }
  return s;
}

void paceSecond(EncoderFeed* feed, const std::vector<int16_t>& chunk) {
  const auto period = std::chrono::microseconds(1000000 * kChunk / kRate);
  auto next = Clock::now();
  for (std::size_t i = 0; i < kChunksPerSecond; ++i) {
    if (feed) feed->push(chunk.data(), kChunk);
    next += period;
    std::this_thread::sleep_until(next);
  }
}

void BM_EncoderFeedRealTime(benchmark::State& state) {
  auto feed = startEncoderFeed({"/bin/cat"}, kRate, 2);
  if (!feed) {
    state.SkipWithError("cannot start /bin/cat");
    return;
  }
  const auto chunk = chunkOfTone();
  for (auto _ : state) paceSecond(feed.get(), chunk);
  feed->finish(std::chrono::milliseconds(2000));
  state.counters["dropped"] = static_cast<double>(feed->status().bytesDropped);
}
BENCHMARK(BM_EncoderFeedRealTime)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

void BM_PacingOnly(benchmark::State& state) {
  const auto chunk = chunkOfTone();
  for (auto _ : state) paceSecond(nullptr, chunk);
}
BENCHMARK(BM_PacingOnly)->Iterations(3)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_EncoderFeedBurst(benchmark::State& state) {
  auto feed = startEncoderFeed({"/bin/cat"}, kRate, 2);
  if (!feed) {
    state.SkipWithError("cannot start /bin/cat");
    return;
  }
  const auto chunk = chunkOfTone();
  uint64_t pushed = 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < kChunksPerSecond; ++i) {
      // Stay half a second ahead of the sink so the ring never overflows.
      while (pushed > feed->status().bytesWritten + kRate * 2) std::this_thread::yield();
      feed->push(chunk.data(), kChunk);
      pushed += kChunk * 4;
    }
  }
  feed->finish(std::chrono::milliseconds(2000));
  state.counters["dropped"] = static_cast<double>(feed->status().bytesDropped);
}
BENCHMARK(BM_EncoderFeedBurst)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
