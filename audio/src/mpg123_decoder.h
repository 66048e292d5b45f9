// MPEG audio (layers 1 to 3) through libmpg123: sample-exact length and
// seeking, gapless trimming from the encoder's Info tag, one output format
// for the whole file.
#pragma once

#include <memory>

#include "decoder.h"
#include "decoder_file.h"

namespace lentaro::audio {

// Takes the file over only when it is MPEG audio; otherwise returns null,
// leaves `file` untouched and sets *error to BASS_ERROR_FORMAT.
//
// Cost: the open walks every frame header once (our own check) and lets
// libmpg123 scan them once more for its seek index; both read the whole file
// but decode nothing. A file that changes rate part-way is decoded once
// through at open to learn its exact resampled length.
std::unique_ptr<Decoder> openMpegDecoder(DecoderFile& file, int* error);

}  // namespace lentaro::audio
