// Entry points of the engine for its own tests and benchmarks: channels
// from any decoder, without a file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "decoder.h"
#include "lentaro/bass.h"

namespace lentaro::audio {

class Mixer;
class Output;

// As BASS_StreamCreateFile once the file is open: a new decoding channel
// that owns `decoder`. 0 with BASS_ERROR_INIT before BASS_Init.
HSTREAM createStreamFromDecoder(std::unique_ptr<Decoder> decoder);

// As BASS_Init, with an output that `make` builds on the engine's mixer: a
// test's stand-in for a device. A kDevice or kNoSound output gets the
// decode-ahead thread, which fills the channels for its period and calls
// its keepAlive(). The engine owns it until BASS_Free.
BOOL initWithOutput(std::function<std::unique_ptr<Output>(Mixer&)> make);

// Frames handed to the output since BASS_Init: the output's clock, for
// measuring latencies against what a device was given.
uint64_t outputFramesRendered();

}  // namespace lentaro::audio
