// Entry points of the engine for its own tests and benchmarks: channels
// from any decoder, without a file.
#pragma once

#include <cstdint>
#include <memory>

#include "decoder.h"
#include "lentaro/bass.h"

namespace lentaro::audio {

// As BASS_StreamCreateFile once the file is open: a new decoding channel
// that owns `decoder`. 0 with BASS_ERROR_INIT before BASS_Init.
HSTREAM createStreamFromDecoder(std::unique_ptr<Decoder> decoder);

// Frames handed to the output since BASS_Init: the output's clock, for
// measuring latencies against what a device was given.
uint64_t outputFramesRendered();

}  // namespace lentaro::audio
