// A decoding channel: a file (or module) opened by a decoder. It is never
// played itself; a tempo channel takes its decoder over.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "decoder.h"

namespace lentaro::audio {

struct DecodeSource {
  DecodeSource(std::unique_ptr<Decoder> d, bool isModule)
      : decoder(std::move(d)),
        format(decoder->format()),
        lengthFrames(decoder->lengthFrames()),
        module(isModule) {}

  // Touched by the UI thread until `wrapped`; from then on only by the
  // producer of the tempo channel that wraps it.
  std::unique_ptr<Decoder> decoder;
  const StreamFormat format;
  const int64_t lengthFrames;
  const bool module;
  // The next frame the decoder delivers while unwrapped: written by the UI
  // thread, read by queries from any thread.
  std::atomic<int64_t> position{0};
  std::atomic<bool> wrapped{false};

  int bytesPerFrame() const { return 2 * format.channels; }
};

}  // namespace lentaro::audio
