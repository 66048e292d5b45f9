// An offline render: a file's sound with a tempo, a pitch and a volume,
// made by the same producer a tempo channel uses (TempoStage) and turned
// into 16-bit samples the way the mixer turns a lone channel's sound into
// the output. It shares nothing with the engine: no table, no output, no
// decode-ahead thread.
//
// Ownership: owns its decoder. Threads: read() from one thread at a time;
// sourceDone() and the constant queries from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "chunk.h"
#include "decode_source.h"
#include "decoder.h"
#include "offline_range_decoder.h"
#include "tempo_stage.h"

namespace lentaro::audio {

struct RenderSettings {
  float tempo = 0;   // percent, already clamped as the channel clamps it
  float pitch = 0;   // semitones, already clamped
  float volume = 1;  // 0 .. 1
  // Source frames [start, end); 0/0: the whole file.
  int64_t start = 0;
  int64_t end = 0;
};

class OfflineRender {
 public:
  // Null with *error set (BASS_ERROR_FORMAT for a format no channel plays,
  // BASS_ERROR_POSITION for a range past the end, BASS_ERROR_ILLPARAM for
  // an empty or reversed range).
  static std::unique_ptr<OfflineRender> create(std::unique_ptr<Decoder> decoder, bool module,
                                               const RenderSettings& settings, int* error);

  // Up to `frames` stereo frames; 0 once the sound has ended.
  int read(int16_t* out, int frames);

  // Source frames consumed from the range's start, and the range's length.
  int64_t sourceDone() const;
  int64_t sourceTotal() const { return end_ - start_; }
  // Output frames expected: the range at the output rate, over the speed.
  uint64_t expectedFrames() const;

 private:
  OfflineRender(std::shared_ptr<DecodeSource> source, RangeDecoder* range,
                const RenderSettings& settings, int64_t end);
  bool begin();

  std::shared_ptr<DecodeSource> source_;
  RangeDecoder* range_;  // owned by source_
  const RenderSettings settings_;
  const int64_t start_;
  const int64_t end_;
  TempoStage stage_;
  Chunk chunk_{};
  int offset_ = 0;
  bool ended_ = false;
};

}  // namespace lentaro::audio
