// WAV, AIFF, FLAC, Ogg Vorbis, Opus and the other sampled formats that
// libsndfile reads, folded to at most two channels.
#pragma once

#include <memory>

#include "decoder.h"
#include "decoder_file.h"

namespace lentaro::audio {

// Takes the file over only when libsndfile reads it; otherwise returns null,
// leaves `file` untouched and sets *error to BASS_ERROR_FORMAT. MPEG audio
// is refused here: it is libmpg123's, after our own check.
std::unique_ptr<Decoder> openSndfileDecoder(DecoderFile& file, int* error);

}  // namespace lentaro::audio
