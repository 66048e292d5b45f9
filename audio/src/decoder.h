// Decoders turn a file into interleaved float frames at the file's own rate.
//
// Ownership: a Decoder is owned by exactly one channel. Threads: a decoder
// is used by one thread at a time (the engine's decode-ahead thread once the
// channel plays; the UI thread while the channel is being created); it is
// never touched from the output callback.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace lentaro::audio {

struct StreamFormat {
  int rate = 0;      // frames per second, 8000 .. 192000
  int channels = 0;  // 1 or 2 (decoders fold more channels down to 2)
};

class Decoder {
 public:
  virtual ~Decoder() = default;

  // Fixed for the decoder's whole life: a file whose later frames change
  // rate or channel count is still delivered in this format.
  virtual StreamFormat format() const = 0;

  // Exact length in frames, after gapless trimming. Never changes.
  virtual int64_t lengthFrames() const = 0;

  // Decodes up to maxFrames frames into out (maxFrames * channels floats,
  // range -1..1). Returns the frames written; 0 only at the end of the
  // stream; a damaged stretch is skipped, never reported as the end early.
  virtual long read(float* out, long maxFrames) = 0;

  // Sample-exact: the next read starts at exactly this frame.
  // Returns false (and leaves the position) when frame is out of range.
  virtual bool seek(int64_t frame) = 0;
};

// Opens a sampled-audio file: MPEG audio through libmpg123, then WAV, AIFF,
// FLAC, Ogg Vorbis and Opus through libsndfile. On failure returns null and
// sets *error to BASS_ERROR_FILEOPEN (missing or unreadable) or
// BASS_ERROR_FORMAT (no decoder takes it).
std::unique_ptr<Decoder> openStreamDecoder(const std::string& path, int* error);

// Opens a tracker module through libopenmpt, rendered at `rate` stereo.
// Same error contract as openStreamDecoder.
std::unique_ptr<Decoder> openModuleDecoder(const std::string& path, int rate, int* error);

}  // namespace lentaro::audio
