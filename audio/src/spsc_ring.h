// A lock-free ring for exactly one producer thread and one consumer thread.
//
// The producer calls only write() and writeSpace(); the consumer calls only
// read(), readSpace() and skip(). reset() may be called only while neither
// side is using the ring. Capacity is fixed at construction (allocation
// happens there and nowhere else), so both sides are safe on a real-time
// thread.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <type_traits>

namespace lentaro::audio {

template <class T>
class SpscRing {
  static_assert(std::is_trivially_copyable_v<T>, "ring elements are copied as bytes");

 public:
  explicit SpscRing(std::size_t capacity)
      : size_(capacity + 1), buffer_(std::make_unique<T[]>(capacity + 1)) {}

  SpscRing(const SpscRing&) = delete;
  SpscRing& operator=(const SpscRing&) = delete;

  std::size_t capacity() const { return size_ - 1; }

  // Producer: elements that can be written now.
  std::size_t writeSpace() const {
    const std::size_t w = writer_.load(std::memory_order_relaxed);
    const std::size_t r = reader_.load(std::memory_order_acquire);
    return (r + size_ - w - 1) % size_;
  }

  // Consumer: elements that can be read now.
  std::size_t readSpace() const {
    const std::size_t r = reader_.load(std::memory_order_relaxed);
    const std::size_t w = writer_.load(std::memory_order_acquire);
    return (w + size_ - r) % size_;
  }

  // Producer: writes up to n elements; returns how many were written.
  std::size_t write(const T* data, std::size_t n) {
    n = std::min(n, writeSpace());
    const std::size_t w = writer_.load(std::memory_order_relaxed);
    const std::size_t first = std::min(n, size_ - w);
    // memcpy may not be given a null pointer even for no bytes (an empty
    // vector's data()).
    if (first > 0) std::memcpy(buffer_.get() + w, data, first * sizeof(T));
    if (n > first) std::memcpy(buffer_.get(), data + first, (n - first) * sizeof(T));
    writer_.store((w + n) % size_, std::memory_order_release);
    return n;
  }

  // Consumer: reads up to n elements; returns how many were read.
  std::size_t read(T* data, std::size_t n) {
    n = std::min(n, readSpace());
    const std::size_t r = reader_.load(std::memory_order_relaxed);
    const std::size_t first = std::min(n, size_ - r);
    if (first > 0) std::memcpy(data, buffer_.get() + r, first * sizeof(T));
    if (n > first) std::memcpy(data + first, buffer_.get(), (n - first) * sizeof(T));
    reader_.store((r + n) % size_, std::memory_order_release);
    return n;
  }

  // Consumer: drops up to n elements; returns how many were dropped.
  std::size_t skip(std::size_t n) {
    n = std::min(n, readSpace());
    const std::size_t r = reader_.load(std::memory_order_relaxed);
    reader_.store((r + n) % size_, std::memory_order_release);
    return n;
  }

  // Neither side active.
  void reset() {
    reader_.store(0, std::memory_order_relaxed);
    writer_.store(0, std::memory_order_relaxed);
  }

 private:
  const std::size_t size_;
  std::unique_ptr<T[]> buffer_;
  alignas(64) std::atomic<std::size_t> writer_{0};  // written by the producer
  alignas(64) std::atomic<std::size_t> reader_{0};  // written by the consumer
};

}  // namespace lentaro::audio
