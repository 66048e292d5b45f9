// Which decoder takes a file. Threads: whichever thread opens the channel;
// nothing here is shared.
#include "decoder.h"
#include "decoder_file.h"
#include "lentaro/bass.h"
#include "mpg123_decoder.h"
#include "openmpt_decoder.h"
#include "sndfile_decoder.h"

namespace lentaro::audio {

namespace {
constexpr int kDefaultModuleRate = 44100;
constexpr int kMinModuleRate = 8000;
constexpr int kMaxModuleRate = 192000;
}  // namespace

std::unique_ptr<Decoder> openStreamDecoder(const std::string& path, int* error) {
  DecoderFile file;
  if (!file.open(path, error)) return nullptr;
  *error = BASS_ERROR_FORMAT;
  if (file.size() == 0) return nullptr;
  if (auto dec = openMpegDecoder(file, error)) return dec;
  if (auto dec = openSndfileDecoder(file, error)) return dec;
  *error = BASS_ERROR_FORMAT;
  return nullptr;
}

std::unique_ptr<Decoder> openModuleDecoder(const std::string& path, int rate, int* error) {
  DecoderFile file;
  if (!file.open(path, error)) return nullptr;
  if (rate <= 0) rate = kDefaultModuleRate;
  if (rate < kMinModuleRate || rate > kMaxModuleRate) {
    *error = BASS_ERROR_FORMAT;
    return nullptr;
  }
  return openOpenmptDecoder(file, rate, error);
}

}  // namespace lentaro::audio
