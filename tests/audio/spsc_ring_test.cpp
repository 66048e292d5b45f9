// The single-producer/single-consumer ring on its own: its index
// arithmetic at the edges (empty, full, the wrap-around, partial transfers)
// and a producer and consumer thread running flat out against each other.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <thread>
#include <vector>

#include "spsc_ring.h"

namespace lentaro::audio {
namespace {

std::vector<int> iota(int from, int n) {
  std::vector<int> v(static_cast<size_t>(n));
  std::iota(v.begin(), v.end(), from);
  return v;
}

TEST(SpscRing, EmptyFullSkipAndResetBoundTheTransfers) {
  SpscRing<int> ring(5);
  EXPECT_EQ(ring.capacity(), 5u);
  EXPECT_EQ(ring.readSpace(), 0u);
  EXPECT_EQ(ring.writeSpace(), 5u);
  int out[8] = {};
  EXPECT_EQ(ring.read(out, 8), 0u) << "an empty ring gives nothing";
  EXPECT_EQ(ring.skip(3), 0u);

  const auto in = iota(1, 8);
  EXPECT_EQ(ring.write(in.data(), 8), 5u) << "a write stops at the capacity";
  EXPECT_EQ(ring.writeSpace(), 0u);
  EXPECT_EQ(ring.readSpace(), 5u);
  EXPECT_EQ(ring.write(in.data() + 5, 1), 0u) << "a full ring takes nothing";

  EXPECT_EQ(ring.read(out, 2), 2u);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], 2);
  EXPECT_EQ(ring.writeSpace(), 2u);
  EXPECT_EQ(ring.skip(1), 1u) << "skip drops the oldest";
  EXPECT_EQ(ring.read(out, 8), 2u) << "a read stops at what is there";
  EXPECT_EQ(std::vector<int>(out, out + 2), iota(4, 2));
  EXPECT_EQ(ring.readSpace(), 0u);
  EXPECT_EQ(ring.writeSpace(), 5u);
  ring.write(in.data(), 3);
  ring.reset();
  EXPECT_EQ(ring.readSpace(), 0u);
  EXPECT_EQ(ring.writeSpace(), 5u);
}

// Every start position against every transfer size, so each write and
// read splits at the end of the storage somewhere: what comes out is what
// went in, in order.
TEST(SpscRing, WrapAroundKeepsOrderForEveryOffsetAndSize) {
  constexpr int kCapacity = 7;
  for (int offset = 0; offset <= kCapacity; ++offset) {
    for (int n = 1; n <= kCapacity; ++n) {
      SCOPED_TRACE(testing::Message() << "offset " << offset << ", size " << n);
      SpscRing<int> ring(kCapacity);
      const auto pad = iota(-100, offset);
      ASSERT_EQ(ring.write(pad.data(), pad.size()), pad.size());
      ASSERT_EQ(ring.skip(pad.size()), pad.size());
      int next = 0;
      int expected = 0;
      std::vector<int> out(kCapacity);
      for (int round = 0; round < 3; ++round) {
        const auto in = iota(next, n);
        ASSERT_EQ(ring.write(in.data(), in.size()), static_cast<size_t>(n));
        next += n;
        // Take it back in two uneven parts.
        const size_t first = static_cast<size_t>(n) / 2 + 1;
        const size_t got = ring.read(out.data(), first);
        const size_t rest = ring.read(out.data() + got, kCapacity);
        ASSERT_EQ(got + rest, static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) ASSERT_EQ(out[static_cast<size_t>(i)], expected++);
      }
    }
  }
}

// A producer and a consumer thread with transfer sizes that do not divide
// the capacity, both spinning on a full or empty ring: nothing is lost,
// doubled or reordered. Under ThreadSanitizer this also checks that an
// element's bytes are published before its index.
TEST(SpscRing, TwoThreadsPassEveryElementInOrder) {
  struct Item {
    uint64_t seq;
    uint64_t check;
  };
  constexpr uint64_t kCount = 200000;
  SpscRing<Item> ring(61);
  std::thread producer([&] {
    Item batch[13];
    uint64_t next = 0;
    while (next < kCount) {
      const size_t n = std::min<uint64_t>(1 + next % 13, kCount - next);
      for (size_t i = 0; i < n; ++i) batch[i] = {next + i, ~(next + i)};
      size_t done = 0;
      while (done < n) done += ring.write(batch + done, n - done);
      next += n;
    }
  });
  uint64_t expected = 0;
  bool inOrder = true;
  Item batch[17];
  // Drains everything even after a mismatch, so the producer can finish.
  while (expected < kCount) {
    const size_t n = ring.read(batch, 1 + expected % 17);
    for (size_t i = 0; i < n; ++i) {
      if (inOrder && (batch[i].seq != expected || batch[i].check != ~expected)) {
        ADD_FAILURE() << "element " << expected << " came as " << batch[i].seq;
        inOrder = false;
      }
      ++expected;
    }
  }
  producer.join();
  EXPECT_EQ(expected, kCount);
  EXPECT_EQ(ring.readSpace(), 0u);
}

}  // namespace
}  // namespace lentaro::audio
