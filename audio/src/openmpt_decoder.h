// Tracker modules (MOD, S3M, XM, IT, MTM and the rest libopenmpt reads),
// rendered to stereo float at a chosen rate, played once through.
#pragma once

#include <memory>

#include "decoder.h"
#include "decoder_file.h"

namespace lentaro::audio {

// Reads the whole module into memory (modules are small; a file over the
// size limit is refused) and renders it at `rate` with volume ramping.
// Returns null with *error = BASS_ERROR_FORMAT when libopenmpt refuses it.
std::unique_ptr<Decoder> openOpenmptDecoder(const DecoderFile& file, int rate, int* error);

}  // namespace lentaro::audio
