#include "encoder_wav.h"

#include <cstring>

namespace lentaro::audio {
namespace {

// WAV fields are little-endian whatever the host is.
void putLe(uint8_t* p, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::array<uint8_t, kWavHeaderBytes> makeStreamingWavHeader(uint32_t rate, uint16_t channels) {
  constexpr uint16_t kBits = 16;
  const uint16_t blockAlign = static_cast<uint16_t>(channels * kBits / 8);
  std::array<uint8_t, kWavHeaderBytes> h{};
  uint8_t* p = h.data();
  std::memcpy(p, "RIFF", 4);
  putLe(p + 4, kWavUnknownLength, 4);
  std::memcpy(p + 8, "WAVEfmt ", 8);
  putLe(p + 16, 16, 4);  // size of the PCM format chunk
  putLe(p + 20, 1, 2);   // PCM
  putLe(p + 22, channels, 2);
  putLe(p + 24, rate, 4);
  putLe(p + 28, rate * blockAlign, 4);
  putLe(p + 32, blockAlign, 2);
  putLe(p + 34, kBits, 2);
  std::memcpy(p + 36, "data", 4);
  putLe(p + 40, kWavUnknownLength, 4);
  return h;
}

}  // namespace lentaro::audio
