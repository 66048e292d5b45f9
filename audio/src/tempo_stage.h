// The producer half of a tempo channel: reads the source, changes tempo and
// pitch with SoundTouch (which also resamples any source rate to the output
// rate), loops, and cuts the result into chunks for the output callback.
//
// Threads: one thread at a time, the one holding the owning channel's
// producer lock (the decode-ahead thread, a control call, or an offline
// render). Never the output callback. It allocates and does file I/O.
#pragma once

#include <SoundTouch.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "chunk.h"
#include "decode_source.h"

namespace lentaro::audio {

class TempoStage {
 public:
  TempoStage(std::shared_ptr<DecodeSource> source, bool loop);

  // Goes on from source frame `frame` with an empty stretcher: nothing
  // that was fed before comes out afterwards. False if the decoder refused.
  bool reset(int64_t frame);

  // Tempo in percent (speed factor 1 + t/100), pitch in semitones. Applies
  // to the chunks made from now on.
  void setParams(float tempoPercent, float pitchSemitones);

  // Makes the next chunk (srcStart, slope, frames, samples, kEnd flag);
  // epoch is left to the caller. False once the stream has ended (never
  // with looping, unless the source is empty).
  bool produce(Chunk& chunk);

  bool ended() const { return ended_; }
  bool stretching() const { return stretching_; }

 private:
  bool needsStretch() const;
  double slope() const;
  long readSource(float* out, long maxFrames);
  void copyOut(const float* in, int frames, float* out) const;
  bool produceDirect(Chunk& chunk);
  bool produceStretched(Chunk& chunk);
  double nextOutputPlace();
  void restartStretchAt(double place);
  void applyFade(float* samples, int frames);

  static constexpr int kFadeFrames = 128;  // 3 ms
  static double stretchLead(double stretchTempo);

  std::shared_ptr<DecodeSource> source_;
  const bool loop_;
  const int channels_;
  const int rate_;
  soundtouch::SoundTouch stretch_;
  std::vector<float> decodeBuf_;
  std::vector<float> stretchOut_;
  std::vector<float> fadeBuf_;  // the old sound under a splice's fade-in
  int fadeFrames_ = 0;
  int fadeDone_ = 0;
  float tempo_ = 0;
  float pitch_ = 0;
  // Unity tempo and pitch on a 44.1 kHz source bypass the stretcher, so the
  // default case is bit-exact and cheap. Once stretching, a channel stays so
  // until the next reset: switching back mid-stream would jump.
  bool stretching_ = false;
  bool flushed_ = false;
  bool ended_ = false;
  int64_t decodePos_ = 0;  // next source frame the decoder delivers
  // Source places, counted on across loop wraps (the channel takes them
  // modulo the length): where stretching last restarted, and just after the
  // last frame fed to the stretcher.
  double resetPos_ = 0;
  double fedPos_ = 0;
};

}  // namespace lentaro::audio
