#include "tempo_stage.h"

#include <algorithm>
#include <cmath>
#include <iterator>

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
      stretchOut_(static_cast<size_t>(kChunkFrames * channels_)),
      fadeBuf_(static_cast<size_t>(kFadeFrames * channels_)) {
  stretch_.setChannels(static_cast<unsigned>(channels_));
  stretch_.setSampleRate(static_cast<unsigned>(rate_));
  stretch_.setRate(static_cast<double>(rate_) / kOutputRate);
  stretch_.setTempo(1.0);
  stretch_.setPitchSemiTones(0.0);
  decodePos_ = source_->position;
  resetPos_ = fedPos_ = static_cast<double>(decodePos_);
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
  fadeFrames_ = fadeDone_ = 0;
  stretching_ = needsStretch();
  const bool ok = source_->decoder->seek(frame);
  if (ok) decodePos_ = frame;
  resetPos_ = fedPos_ = static_cast<double>(decodePos_);
  return ok;
}

void TempoStage::setParams(float tempoPercent, float pitchSemitones) {
  if (tempoPercent == tempo_ && pitchSemitones == pitch_) return;
  const bool restart = stretching_ && !flushed_ && fedPos_ > resetPos_;
  // Where the sound stands now, with the settings it was made with.
  const double place = restart ? nextOutputPlace() : 0.0;
  tempo_ = tempoPercent;
  pitch_ = pitchSemitones;
  stretch_.setTempo(1.0 + static_cast<double>(tempo_) / 100.0);
  stretch_.setPitchSemiTones(static_cast<double>(pitch_));
  if (!stretching_ && needsStretch()) {
    // The bypass consumed the source exactly up to decodePos_, so the
    // stretched sound starts right there.
    stretch_.clear();
    flushed_ = false;
    resetPos_ = fedPos_ = static_cast<double>(decodePos_);
    stretching_ = true;
    return;
  }
  if (restart) restartStretchAt(place);
}

void TempoStage::restartStretchAt(double place) {
  // The stretcher holds up to a sequence of sound made with the old
  // settings; played out, it would delay the change by that much. Instead
  // the stretch starts again from the place heard next, and the first
  // frames of the new sound fade in over the old sound's next frames, so
  // the splice makes no click.
  fadeFrames_ = static_cast<int>(stretch_.receiveSamples(fadeBuf_.data(), kFadeFrames));
  fadeDone_ = 0;
  const double len = static_cast<double>(source_->lengthFrames);
  double p = place;
  if (loop_ && len > 0) p = std::fmod(p, len);
  auto frame = static_cast<int64_t>(std::clamp(p, 0.0, len));
  stretch_.clear();
  if (!source_->decoder->seek(frame)) frame = decodePos_;
  decodePos_ = frame;
  resetPos_ = fedPos_ = static_cast<double>(frame);
}

void TempoStage::applyFade(float* samples, int frames) {
  // samples are in the source's channel layout, like fadeBuf_.
  const int n = std::min(frames, fadeFrames_ - fadeDone_);
  for (int i = 0; i < n; ++i) {
    const float w = static_cast<float>(fadeDone_ + i + 1) / static_cast<float>(fadeFrames_ + 1);
    for (int c = 0; c < channels_; ++c) {
      float& s = samples[i * channels_ + c];
      s = w * s + (1.0f - w) * fadeBuf_[static_cast<size_t>((fadeDone_ + i) * channels_ + c)];
    }
  }
  fadeDone_ += n;
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
    fedPos_ += static_cast<double>(got);
  }
  const int n = static_cast<int>(stretch_.receiveSamples(stretchOut_.data(), kChunkFrames));
  if (fadeDone_ < fadeFrames_) applyFade(stretchOut_.data(), n);
  copyOut(stretchOut_.data(), n, chunk.samples);
  chunk.frames = n;
  chunk.slope = slope();
  chunk.srcStart = std::max(resetPos_, nextOutputPlace() - n * chunk.slope);
  if (flushed_ && stretch_.numSamples() == 0) {
    ended_ = true;
    chunk.flags = Chunk::kEnd;
  }
  return n > 0 || !ended_;
}

double TempoStage::nextOutputPlace() {
  // Counted back from what was fed: the stretcher's unprocessed input and
  // its ready output. Anchoring on the real consumption keeps the estimate
  // from drifting, whatever the stretcher's sequence rounding does.
  // SoundTouch transposes first when its effective rate is at most 1; its
  // unprocessed input is then in transposed frames.
  const double effRate =
      static_cast<double>(rate_) / kOutputRate * std::pow(2.0, static_cast<double>(pitch_) / 12.0);
  const double unprocessed =
      static_cast<double>(stretch_.numUnprocessedSamples()) * std::min(1.0, effRate);
  const double ready = static_cast<double>(stretch_.numSamples()) * slope();
  const double pitchFactor = std::pow(2.0, static_cast<double>(pitch_) / 12.0);
  const double stretchTempo = (1.0 + static_cast<double>(tempo_) / 100.0) / pitchFactor;
  return fedPos_ - unprocessed - ready + stretchLead(stretchTempo) * rate_ * std::min(1.0, effRate);
}

double TempoStage::stretchLead(double stretchTempo) {
  // WSOLA plays each sequence from the start of its input window: below
  // tempo 1 the sound heard runs ahead of the input still held back, above
  // it slightly behind. Measured with click trains against SoundTouch's
  // automatic sequence settings (seconds of the stretcher's own time).
  static constexpr double kTempo[] = {0.25, 0.5, 0.75, 0.9, 1.0, 1.1, 1.25, 1.5, 2.0, 2.5, 3.0};
  static constexpr double kLead[] = {0.068, 0.044,  0.022,  0.013,  0.010, 0.005,
                                     0.0,   -0.005, -0.010, -0.018, -0.025};
  constexpr int n = static_cast<int>(std::size(kTempo));
  if (stretchTempo <= kTempo[0]) return kLead[0];
  for (int i = 1; i < n; ++i) {
    if (stretchTempo <= kTempo[i]) {
      const double f = (stretchTempo - kTempo[i - 1]) / (kTempo[i] - kTempo[i - 1]);
      return kLead[i - 1] + f * (kLead[i] - kLead[i - 1]);
    }
  }
  return kLead[n - 1];
}

}  // namespace lentaro::audio
