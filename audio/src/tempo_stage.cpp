#include "tempo_stage.h"

#include <algorithm>
#include <cmath>

namespace lentaro::audio {

namespace {
constexpr long kDecodeBlock = 1024;
}

TempoStage::TempoStage(std::shared_ptr<DecodeSource> source, bool loop)
    : source_(std::move(source)),
      loop_(loop),
      channels_(source_->format.channels),
      rate_(source_->format.rate),
      decodeBuf_(static_cast<size_t>(kDecodeBlock * channels_)),
      stretchOut_(static_cast<size_t>(kChunkFrames * channels_)) {
  stretch_.setChannels(static_cast<unsigned>(channels_));
  stretch_.setSampleRate(static_cast<unsigned>(rate_));
  stretch_.setRate(static_cast<double>(rate_) / kOutputRate);
  stretch_.setTempo(1.0);
  stretch_.setPitchSemiTones(0.0);
  decodePos_ = source_->position;
  stretchPos_ = static_cast<double>(decodePos_);
  stretching_ = needsStretch();
}

bool TempoStage::needsStretch() const {
  return rate_ != kOutputRate || tempo_ != 0 || pitch_ != 0;
}

double TempoStage::slope() const {
  return (1.0 + static_cast<double>(tempo_) / 100.0) * rate_ / kOutputRate;
}

bool TempoStage::reset(int64_t frame) {
  stretch_.clear();
  flushed_ = false;
  ended_ = false;
  stretching_ = needsStretch();
  const bool ok = source_->decoder->seek(frame);
  if (ok) decodePos_ = frame;
  stretchPos_ = static_cast<double>(decodePos_);
  return ok;
}

void TempoStage::setParams(float tempoPercent, float pitchSemitones) {
  if (tempoPercent == tempo_ && pitchSemitones == pitch_) return;
  tempo_ = tempoPercent;
  pitch_ = pitchSemitones;
  stretch_.setTempo(1.0 + static_cast<double>(tempo_) / 100.0);
  stretch_.setPitchSemiTones(static_cast<double>(pitch_));
  if (!stretching_ && needsStretch()) {
    // The bypass consumed the source exactly up to decodePos_, so the
    // stretched sound starts right there.
    stretch_.clear();
    flushed_ = false;
    stretchPos_ = static_cast<double>(decodePos_);
    stretching_ = true;
  }
}

long TempoStage::readSource(float* out, long maxFrames) {
  Decoder& dec = *source_->decoder;
  long got = dec.read(out, maxFrames);
  if (got > 0) {
    decodePos_ += got;
    return got;
  }
  // At the end: a looping channel goes on from the start with no flush, so
  // the stretcher sees one continuous signal across the seam. An empty
  // source (nothing read since the last wrap) ends instead of spinning.
  if (!loop_ || decodePos_ == 0 || !dec.seek(0)) return 0;
  decodePos_ = 0;
  got = dec.read(out, maxFrames);
  if (got <= 0) return 0;
  decodePos_ += got;
  return got;
}

void TempoStage::copyOut(const float* in, int frames, float* out) const {
  if (channels_ == 2) {
    std::copy(in, in + 2 * frames, out);
    return;
  }
  for (int i = 0; i < frames; ++i) {
    out[2 * i] = in[i];
    out[2 * i + 1] = in[i];
  }
}

bool TempoStage::produce(Chunk& chunk) {
  chunk.frames = 0;
  chunk.flags = 0;
  if (ended_) {
    chunk.flags = Chunk::kEnd;
    return false;
  }
  return stretching_ ? produceStretched(chunk) : produceDirect(chunk);
}

bool TempoStage::produceDirect(Chunk& chunk) {
  chunk.srcStart = static_cast<double>(decodePos_);
  chunk.slope = 1.0;
  int n = 0;
  while (n < kChunkFrames) {
    const long got = readSource(decodeBuf_.data(), kChunkFrames - n);
    if (got <= 0) {
      ended_ = true;
      break;
    }
    // A wrap inside the read restarts the count at 0; the place of the
    // chunk's first frame stays valid modulo the length.
    copyOut(decodeBuf_.data(), static_cast<int>(got), chunk.samples + 2 * n);
    n += static_cast<int>(got);
  }
  chunk.frames = n;
  if (ended_) chunk.flags = Chunk::kEnd;
  return n > 0 || !ended_;
}

bool TempoStage::produceStretched(Chunk& chunk) {
  while (static_cast<int>(stretch_.numSamples()) < kChunkFrames && !flushed_) {
    const long got = readSource(decodeBuf_.data(), kDecodeBlock);
    if (got <= 0) {
      stretch_.flush();
      flushed_ = true;
      break;
    }
    stretch_.putSamples(decodeBuf_.data(), static_cast<unsigned>(got));
  }
  const int n = static_cast<int>(stretch_.receiveSamples(stretchOut_.data(), kChunkFrames));
  copyOut(stretchOut_.data(), n, chunk.samples);
  chunk.frames = n;
  chunk.srcStart = stretchPos_;
  chunk.slope = slope();
  stretchPos_ += n * chunk.slope;
  const double len = static_cast<double>(source_->lengthFrames);
  if (loop_ && len > 0 && stretchPos_ >= len) stretchPos_ = std::fmod(stretchPos_, len);
  if (flushed_ && stretch_.numSamples() == 0) {
    ended_ = true;
    chunk.flags = Chunk::kEnd;
  }
  return n > 0 || !ended_;
}

}  // namespace lentaro::audio
