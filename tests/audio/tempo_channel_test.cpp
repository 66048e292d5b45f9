// A tempo channel on its own, with the output callback on a thread of its
// own racing the control thread: a seek that lands while the callback
// plays the last chunk of a non-looping stream is never undone by the end
// heard in the old place.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "engine_signals.h"
#include "lentaro/bass.h"
#include "tempo_channel.h"

namespace lentaro::audio::test {
namespace {

// The callback thread plays only a budget of frames a round, and what the
// channel makes ahead follows what it plays: from `mid` it can never reach
// its end. So whether the seek came before the old end was heard or
// after, play goes on from `mid`; starting over at 0 can only come from
// the end heard before the seek counting after it.
TEST(TempoChannelRace, ASeekDuringTheLastChunkIsNeverUndone) {
  constexpr int64_t kLength = 40000;
  constexpr int64_t kMid = 20000;
  constexpr int kBlock = 256;
  auto source = std::make_shared<DecodeSource>(counter(kLength), false);
  source->wrapped.store(true);
  TempoChannel channel(source, /*loop=*/false, /*ownsSource=*/true);

  std::atomic<bool> done{false};
  std::atomic<int64_t> budget{0};
  std::atomic<uint64_t> calls{0};
  std::thread callback([&] {  // as the mixer does it: only while playing
    std::vector<float> out(2 * kBlock);
    uint64_t id = 1;
    while (!done.load(std::memory_order_relaxed)) {
      const auto n = static_cast<int>(std::min<int64_t>(kBlock, budget.load()));
      if (n > 0 && channel.isPlaying()) {
        channel.render(out.data(), n, id += 2);
        budget.fetch_sub(n);
      }
      calls.fetch_add(1);
    }
  });
  auto waitForCalls = [&](uint64_t n) {
    const uint64_t target = calls.load() + n;
    while (calls.load() < target) {
    }
  };

  std::mt19937 rng(20240611);
  int seekCameFirst = 0;
  int round = 0;
  for (; round < 2000; ++round) {
    // The end is in the ring already, one to four calls away.
    const int64_t from = kLength - 200 - static_cast<int64_t>(rng() % 800);
    channel.seek(from);
    budget.store(kLength - from + 2 * kBlock);
    channel.play(false);
    for (unsigned spin = rng() % 2000; spin > 0 && channel.isPlaying(); --spin) {
    }
    channel.seek(kMid);
    waitForCalls(2);  // a call that began before the seek has ended
    if (channel.activity() != BASS_ACTIVE_STOPPED) ++seekCameFirst;
    channel.play(false);
    const int64_t at = channel.position(false);
    channel.stop();
    if (at < kMid) {
      ADD_FAILURE() << "round " << round << ": play started over at " << at;
      break;
    }
  }
  done.store(true);
  callback.join();
  // The rounds must have raced the end, not only come after it.
  EXPECT_GT(seekCameFirst, 100) << "of " << round;
}

}  // namespace
}  // namespace lentaro::audio::test
