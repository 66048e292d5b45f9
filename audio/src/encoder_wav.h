// The header that opens the WAV stream an encoder reads from its input.
#pragma once

#include <array>
#include <cstdint>

namespace lentaro::audio {

inline constexpr std::size_t kWavHeaderBytes = 44;

// Length value for a stream whose end is not known when it starts: `lame`
// reads such a stream until its input ends (it treats 0xFFFFFFFF, like 0, as
// "unknown"), where a real count would make it stop there.
inline constexpr uint32_t kWavUnknownLength = 0xFFFFFFFFu;

// A canonical RIFF/WAVE header for 16-bit PCM at `rate` with `channels`,
// both length fields set to kWavUnknownLength.
std::array<uint8_t, kWavHeaderBytes> makeStreamingWavHeader(uint32_t rate, uint16_t channels);

}  // namespace lentaro::audio
