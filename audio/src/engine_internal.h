// Entry points of the engine for its own tests and benchmarks: channels
// from any decoder, without a file.
#pragma once

#include <memory>

#include "decoder.h"
#include "lentaro/bass.h"

namespace lentaro::audio {

// As BASS_StreamCreateFile once the file is open: a new decoding channel
// that owns `decoder`. 0 with BASS_ERROR_INIT before BASS_Init.
HSTREAM createStreamFromDecoder(std::unique_ptr<Decoder> decoder);

}  // namespace lentaro::audio
