// libFuzzer target: any bytes, opened as a sampled-audio file and as a
// module, decoded, sought and decoded again. Checks the decoder contract
// (fixed format, reads never beyond the length, exact end) besides what the
// sanitizers catch.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "decoder.h"

namespace {

using lentaro::audio::Decoder;

constexpr long kChunk = 4096;
// Enough to cross many frames; long streams are sampled at both ends.
constexpr int64_t kReadCap = 64 * 1024;

void check(bool ok) {
  if (!ok) __builtin_trap();
}

// Reads up to `cap` frames from the current place; returns frames read.
int64_t drain(Decoder& dec, std::vector<float>& buf, int64_t cap) {
  const int ch = dec.format().channels;
  int64_t total = 0;
  while (total < cap) {
    const long n = dec.read(buf.data(), kChunk);
    check(n >= 0 && n <= kChunk);
    if (n == 0) break;
    for (long i = 0; i < n * ch; ++i) check(std::isfinite(buf[static_cast<size_t>(i)]));
    total += n;
  }
  return total;
}

void exercise(Decoder& dec) {
  const auto fmt = dec.format();
  check(fmt.rate >= 8000 && fmt.rate <= 192000);
  check(fmt.channels == 1 || fmt.channels == 2);
  const int64_t length = dec.lengthFrames();
  check(length > 0);
  std::vector<float> buf(static_cast<size_t>(kChunk * 2));

  const int64_t first = drain(dec, buf, kReadCap);
  check(first == std::min(length, kReadCap + (kChunk - kReadCap % kChunk) % kChunk) ||
        first <= length);
  // The tail: from a place near the end to exactly the end.
  const int64_t tailFrom = std::max<int64_t>(0, length - 3 * kChunk);
  check(dec.seek(tailFrom));
  check(drain(dec, buf, 4 * kChunk) == length - tailFrom);
  check(dec.read(buf.data(), kChunk) == 0);
  check(!dec.seek(length + 1));
  check(dec.seek(length / 2));
  drain(dec, buf, 2 * kChunk);
  check(dec.seek(0));
  drain(dec, buf, kChunk);
  check(dec.format().rate == fmt.rate && dec.format().channels == fmt.channels);
  check(dec.lengthFrames() == length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One in-memory file, rewritten for every input; decoders open it by path.
  static const int fd = memfd_create("lentaro-fuzz", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (ftruncate(fd, 0) != 0) return 0;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) return 0;
    done += static_cast<size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  int error = 0;
  if (auto dec = lentaro::audio::openStreamDecoder(path, &error)) {
    exercise(*dec);
  } else {
    check(error != 0);
  }
  if (auto dec = lentaro::audio::openModuleDecoder(path, 22050, &error)) {
    exercise(*dec);
  } else {
    check(error != 0);
  }
  return 0;
}
