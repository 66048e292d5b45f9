// Stand-in until the real decoders land: nothing opens.
#include "decoder.h"
#include "lentaro/bass.h"

namespace lentaro::audio {
std::unique_ptr<Decoder> openStreamDecoder(const std::string&, int* error) {
  *error = BASS_ERROR_FORMAT;
  return nullptr;
}
std::unique_ptr<Decoder> openModuleDecoder(const std::string&, int, int* error) {
  *error = BASS_ERROR_FORMAT;
  return nullptr;
}
}  // namespace lentaro::audio
