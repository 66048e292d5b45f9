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
      defaultLoop_(loop && source_->lengthFrames >= 2),
      channels_(source_->format.channels),
      rate_(source_->format.rate),
      length_(source_->lengthFrames),
      reader_(*source_->decoder, channels_, rate_, length_, source_->position),
      decodeBuf_(static_cast<size_t>(kDecodeBlock * channels_)),
      stretchOut_(static_cast<size_t>(kChunkFrames * channels_)),
      fadeBuf_(static_cast<size_t>(kFadeFrames * channels_)) {
  stretch_.setChannels(static_cast<unsigned>(channels_));
  stretch_.setSampleRate(static_cast<unsigned>(rate_));
  stretch_.setRate(static_cast<double>(rate_) / kOutputRate);
  stretch_.setTempo(1.0);
  stretch_.setPitchSemiTones(0.0);
  // The whole file: no head to read, so the decoder is not touched.
  reader_.setRange(0, length_, defaultLoop_);
  resetPos_ = fedPos_ = static_cast<double>(source_->position);
  stretching_ = needsStretch();
}

bool TempoStage::needsStretch() const {
  return rate_ != kOutputRate || tempo_ != 0 || pitch_ != 0;
}

double TempoStage::slope() const {
  return (1.0 + static_cast<double>(tempo_) / 100.0) * rate_ / kOutputRate;
}

void TempoStage::applyParams(float tempoPercent, float pitchSemitones) {
  tempo_ = tempoPercent;
  pitch_ = pitchSemitones;
  stretch_.setTempo(1.0 + static_cast<double>(tempo_) / 100.0);
  stretch_.setPitchSemiTones(static_cast<double>(pitch_));
}

int64_t TempoStage::inRange(int64_t frame) const {
  if (!reader_.loops()) return std::clamp<int64_t>(frame, 0, length_);
  return frame < reader_.start() || frame >= reader_.end() ? reader_.start() : frame;
}

bool TempoStage::reset(int64_t frame, uint64_t pass, float tempoPercent, float pitchSemitones) {
  applyParams(tempoPercent, pitchSemitones);
  stretch_.clear();
  flushed_ = false;
  ended_ = false;
  fadeFrames_ = fadeDone_ = 0;
  seams_.clear();
  forcedSeam_ = -1;
  seamDue_ = false;
  completed_ = false;
  countingIn_ = false;
  pass_ = pass;
  outOffset_ = 0;
  stretching_ = needsStretch();
  frame = inRange(frame);
  if (countsIn() && frame == reader_.start()) {
    beginCountIn();
    return true;
  }
  // Stretched, silence first: the stretcher skips the start of what it is
  // fed, which is then the silence, and the sound starts at `frame`.
  const auto warm = stretching_ ? static_cast<int64_t>(kWarmSeconds * rate_) : 0;
  const bool ok = reader_.seekAfterSilence(frame, warm);
  resetPos_ = fedPos_ = static_cast<double>(reader_.place());
  dropUntil_ = resetPos_ + static_cast<double>(warm);
  return ok;
}

bool TempoStage::setLoop(int64_t start, int64_t end) {
  if (start == 0 && end == 0) return reader_.setRange(0, length_, defaultLoop_);
  return reader_.setRange(start, end, true);
}

bool TempoStage::keepsPlaying(int64_t start, int64_t end, int64_t heard, uint64_t heardPass) const {
  if (countingIn_ || seamDue_ || !seams_.empty() || pass_ != heardPass) return false;
  bool loops = true;
  if (start == 0 && end == 0) {
    end = length_;
    loops = defaultLoop_;
  }
  if (heard < start || heard >= end || reader_.place() < heard) return false;
  return reader_.plainBefore(loops ? end - reader_.fadeFor(start, end) : end);
}

bool TempoStage::takeTrainerStep(float* tempo) {
  if (!stepped_) return false;
  stepped_ = false;
  *tempo = steppedTo_;
  return true;
}

void TempoStage::setParams(float tempoPercent, float pitchSemitones) {
  if (tempoPercent == tempo_ && pitchSemitones == pitch_) return;
  // A restart below counts places in the pass the output is in.
  if (seamDue_) passSeam();
  if (countingIn_) {
    // Only silence has been fed since the seam: no splice, no warm-up.
    applyParams(tempoPercent, pitchSemitones);
    if (!stretching_ && needsStretch()) {
      stretch_.clear();
      resetPos_ = dropUntil_ = fedPos_;
      stretching_ = true;
    }
    return;
  }
  const bool restart = stretching_ && !flushed_ && fedPos_ > resetPos_;
  // Where the sound stands now, with the settings it was made with.
  const int64_t place = restart ? heardPlace() : 0;
  applyParams(tempoPercent, pitchSemitones);
  if (!stretching_ && needsStretch()) {
    startStretching();
    return;
  }
  if (restart) restartStretchAt(place);
}

int TempoStage::bypassAhead(int frames) {
  // What the bypass would play next, as the old sound of a splice (the
  // reader is sought away from it right after).
  LoopReader::Event event;
  const long got = reader_.read(decodeBuf_.data(), std::min<long>(frames, kFadeFrames), &event);
  std::copy(decodeBuf_.data(), decodeBuf_.data() + got * channels_, fadeBuf_.data());
  return static_cast<int>(got);
}

void TempoStage::startStretching() {
  // The bypass consumed the source exactly up to fedPos_, so the stretched
  // sound starts right there, fading in over what the bypass would have
  // played.
  const auto place = static_cast<int64_t>(fedPos_ - outOffset_);
  const int fade = bypassAhead(kFadeFrames);
  stretching_ = true;
  restartStretchAt(place, false);
  fadeFrames_ = fade;
}

int64_t TempoStage::heardPlace() {
  // A warm-up not yet dropped is not heard.
  const double p = std::max({resetPos_, dropUntil_, nextOutputPlace()}) - outOffset_;
  const auto place = static_cast<int64_t>(p);
  if (!reader_.loops()) return std::clamp<int64_t>(place, 0, length_);
  return std::clamp(place, reader_.start(), reader_.end() - 1);
}

void TempoStage::restartStretchAt(int64_t place, bool spliceFromStretch) {
  // The stretcher holds up to a sequence of sound made with the old
  // settings; played out, it would delay the change by that much. Instead
  // the stretch starts again from `place`, and the first frames of the new
  // sound fade in over the old sound's next frames, so the splice makes no
  // click.
  if (spliceFromStretch) {
    fadeFrames_ = static_cast<int>(stretch_.receiveSamples(fadeBuf_.data(), kFadeFrames));
  }
  fadeDone_ = 0;
  stretch_.clear();
  flushed_ = false;
  const auto warm = static_cast<int64_t>(kWarmSeconds * rate_);
  reader_.seek(std::max<int64_t>(0, place - warm));
  resetPos_ = fedPos_ = static_cast<double>(reader_.place());
  dropUntil_ = static_cast<double>(place);
  outOffset_ = 0;
  seams_.clear();
  forcedSeam_ = -1;
}

void TempoStage::applyFade(float* samples, int frames) {
  // samples are in the source's channel layout, like fadeBuf_. The old and
  // the new sound are the same place of the source: a linear fade keeps
  // the level.
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

// ---- seams ------------------------------------------------------------

void TempoStage::armSeam() {
  reader_.arm(countsIn() ? LoopReader::Seam::kFadeOut : LoopReader::Seam::kBlend);
}

void TempoStage::noteSeam() {
  // The next frame read is the start of the range (or, after a fading
  // seam, the silence before the count-in).
  seams_.push_back({fedPos_, fedPos_ - static_cast<double>(reader_.start()), reader_.silent()});
}

float TempoStage::completePass() {
  completed_ = true;
  if (!trainer_.on()) return tempo_;
  const float next = trainer_.passCompleted();
  if (next != tempo_) {
    stepped_ = true;
    steppedTo_ = next;
  }
  return next;
}

void TempoStage::passSeam() {
  seamDue_ = false;
  forcedSeam_ = -1;
  bool fadeOut = false;
  if (!seams_.empty()) {
    outOffset_ = seams_.front().offsetAfter;
    fadeOut = seams_.front().fadeOut;
    seams_.pop_front();
  }
  const float next = completed_ ? tempo_ : completePass();
  completed_ = false;
  ++pass_;
  if (fadeOut) {
    applyParams(next, pitch_);
    beginCountIn();
    return;
  }
  if (next == tempo_) return;
  // Without stretching so far the pass ends exactly here and the stretch
  // starts on the next pass's first frame. (A stretched pass changed just
  // before the seam; this is only a fallback.)
  const bool restart = stretching_ && !flushed_;
  const int64_t place = restart ? heardPlace() : 0;
  applyParams(next, pitch_);
  if (!stretching_ && needsStretch()) {
    startStretching();
  } else if (restart) {
    restartStretchAt(place);
  }
}

void TempoStage::spliceBeforeSeam(int toSeam) {
  // The stretch restarts at the new tempo `toSeam` (at most kFadeFrames)
  // output frames before the seam, in the same continuous signal the old
  // sound was made from, and fades in over the old sound: at the seam only
  // the new tempo is left.
  const double seamPlace =
      stretching_ ? seams_.front().at - outOffset_ : static_cast<double>(reader_.end());
  const int fade = stretching_ ? static_cast<int>(stretch_.receiveSamples(
                                     fadeBuf_.data(), static_cast<unsigned>(toSeam)))
                               : bypassAhead(toSeam);
  stretching_ = true;
  const auto place = std::max<int64_t>(reader_.start(), std::llround(seamPlace - toSeam * slope()));
  restartStretchAt(place, false);
  fadeFrames_ = fade;
  forcedSeam_ = toSeam;
}

void TempoStage::beginCountIn() {
  // The next pass starts afresh, at the settings it will play at: after
  // silence that lasts the count-in, its pre-roll fading in so that the
  // loop's start comes one count-in after the seam.
  stretch_.clear();
  flushed_ = false;
  fadeFrames_ = fadeDone_ = 0;
  seams_.clear();
  forcedSeam_ = -1;
  outOffset_ = 0;
  stretching_ = needsStretch();
  const double speed = 1.0 + static_cast<double>(tempo_) / 100.0;
  const double loopSeconds = static_cast<double>(reader_.end() - reader_.start()) / rate_;
  const double beatSeconds =
      countIn_.bpm > 0 ? 60.0 / countIn_.bpm : loopSeconds / countIn_.beatsPerLoop;
  const double beat = beatSeconds / speed * kOutputRate;
  const double preRoll = static_cast<double>(reader_.preRoll()) / slope();
  const int64_t cueFrames = std::max<int64_t>(0, std::llround(countIn_.clicks * beat - preRoll));
  clicks_.begin(countIn_.clicks, beat, cueFrames);
  cueUntil_ = static_cast<double>(reader_.start() - reader_.preRoll());
  dropUntil_ = cueUntil_ - static_cast<double>(cueFrames) * slope();
  // Stretched, the silence starts early enough to warm the stretcher up.
  const auto warm = stretching_ ? static_cast<int64_t>(kWarmSeconds * rate_) : 0;
  const auto silence = static_cast<int64_t>(std::ceil(cueUntil_ - dropUntil_)) + warm;
  reader_.startWithFadeIn(silence);
  resetPos_ = fedPos_ = cueUntil_ - static_cast<double>(silence);
  countingIn_ = true;
}

// ---- chunks -----------------------------------------------------------

bool TempoStage::produce(Chunk& chunk) {
  for (;;) {
    if (seamDue_) passSeam();
    chunk.frames = 0;
    chunk.flags = reader_.loops() ? uint32_t{Chunk::kLoops} : 0u;
    chunk.pass = pass_;
    chunk.placeLo = static_cast<double>(reader_.start());
    chunk.placeHi = static_cast<double>(reader_.end());
    if (ended_) {
      chunk.flags |= Chunk::kEnd;
      return false;
    }
    if (countingIn_ && produceCountIn(chunk)) return true;
    const bool more = stretching_ ? produceStretched(chunk) : produceDirect(chunk);
    if (seamDue_) chunk.flags |= Chunk::kPassEnds;
    // An empty chunk at a seam: the next pass fills it instead.
    if (chunk.frames > 0 || !seamDue_ || ended_) return more;
  }
}

bool TempoStage::produceCountIn(Chunk& chunk) {
  // The silence fed since the seam is replaced by the clicks, frame for
  // frame, until the pre-roll; false once the count-in is over.
  int n = 0;
  if (stretching_) {
    dropUntil(dropUntil_);
    n = std::min({kChunkFrames, framesTo(cueUntil_), static_cast<int>(stretch_.numSamples())});
    if (n > 0) stretch_.receiveSamples(stretchOut_.data(), static_cast<unsigned>(n));
  } else {
    n = static_cast<int>(std::min<double>(kChunkFrames, cueUntil_ - fedPos_));
    LoopReader::Event event;
    if (n > 0) fedPos_ += static_cast<double>(reader_.read(decodeBuf_.data(), n, &event));
  }
  if (n <= 0) {
    countingIn_ = false;
    return false;
  }
  clicks_.render(chunk.samples, n);
  chunk.frames = n;
  chunk.flags |= Chunk::kCue;
  if (countIn_.toRecording) chunk.flags |= Chunk::kCueRecorded;
  // The music waits at the loop's start.
  chunk.srcStart = static_cast<double>(reader_.start());
  chunk.slope = 0;
  return true;
}

bool TempoStage::produceDirect(Chunk& chunk) {
  chunk.srcStart = fedPos_ - outOffset_;
  chunk.slope = 1.0;
  int want = kChunkFrames;
  if (trainer_.on() && !completed_ && reader_.loops() && reader_.place() < reader_.end() &&
      !countsIn() && !reader_.fadingOut()) {
    // As stretched: a new tempo splices in just before the seam (before a
    // count-in, the pass after it starts afresh anyway).
    const int64_t toSeam = reader_.end() - reader_.place();
    if (toSeam > kFadeFrames) {
      want = static_cast<int>(std::min<int64_t>(want, toSeam - kFadeFrames));
    } else {
      const float next = completePass();
      if (next != tempo_) {
        applyParams(next, pitch_);
        spliceBeforeSeam(static_cast<int>(toSeam));
        return produceStretched(chunk);
      }
    }
  }
  int n = 0;
  while (n < want) {
    LoopReader::Event event;
    const long got = reader_.read(decodeBuf_.data(), want - n, &event);
    copyOut(decodeBuf_.data(), static_cast<int>(got), chunk.samples + 2 * n);
    n += static_cast<int>(got);
    fedPos_ += static_cast<double>(got);
    if (event == LoopReader::Event::kSeamAhead) {
      armSeam();
    } else if (event == LoopReader::Event::kSeam) {
      noteSeam();
      seamDue_ = true;
      break;
    } else if (event == LoopReader::Event::kEnd) {
      ended_ = true;
      break;
    }
  }
  chunk.frames = n;
  if (ended_) chunk.flags |= Chunk::kEnd;
  return n > 0 || !ended_;
}

void TempoStage::feed() {
  // Enough output for a chunk; after a splice before a seam, also that
  // seam read again, so that passing it knows where the next pass is.
  while (!flushed_ && (static_cast<int>(stretch_.numSamples()) < kChunkFrames ||
                       (forcedSeam_ >= 0 && seams_.empty() && !reader_.silent()))) {
    LoopReader::Event event;
    const long got = reader_.read(decodeBuf_.data(), kDecodeBlock, &event);
    if (got > 0) {
      stretch_.putSamples(decodeBuf_.data(), static_cast<unsigned>(got));
      fedPos_ += static_cast<double>(got);
    }
    if (event == LoopReader::Event::kSeamAhead) {
      armSeam();
    } else if (event == LoopReader::Event::kSeam) {
      noteSeam();
    } else if (event == LoopReader::Event::kEnd) {
      stretch_.flush();
      flushed_ = true;
    }
  }
}

void TempoStage::dropUntil(double until) {
  for (;;) {
    feed();
    const int n = std::min(framesTo(until), static_cast<int>(stretch_.numSamples()));
    if (n <= 0) return;
    // Through stretchOut_ in pieces: it holds a chunk's frames.
    stretch_.receiveSamples(stretchOut_.data(), static_cast<unsigned>(std::min(n, kChunkFrames)));
  }
}

int TempoStage::framesTo(double at) {
  const double first = std::max(resetPos_, nextOutputPlace());
  return static_cast<int>(std::clamp(std::ceil((at - first) / slope()), 0.0, 1e9));
}

bool TempoStage::produceStretched(Chunk& chunk) {
  bool spliced = false;
  for (;;) {
    dropUntil(dropUntil_);
    const double first = std::max(resetPos_, nextOutputPlace());
    int want = kChunkFrames;
    int toSeam = -1;
    if (forcedSeam_ >= 0 || !seams_.empty()) {
      toSeam = forcedSeam_ >= 0 ? forcedSeam_ : framesTo(seams_.front().at);
      const bool trainerSeam =
          trainer_.on() && !completed_ && !seams_.empty() && !seams_.front().fadeOut;
      if (trainerSeam && toSeam > kFadeFrames) {
        // Stop where the splice for a new tempo would begin.
        want = std::min(want, toSeam - kFadeFrames);
      } else if (trainerSeam && !spliced) {
        const float next = completePass();
        if (next != tempo_) {
          applyParams(next, pitch_);
          spliceBeforeSeam(toSeam);
          spliced = true;
          continue;
        }
      }
      want = std::min(want, toSeam);
    }
    if (want == 0) {
      seamDue_ = true;
      chunk.frames = 0;
      return true;
    }
    const int n =
        static_cast<int>(stretch_.receiveSamples(stretchOut_.data(), static_cast<unsigned>(want)));
    if (fadeDone_ < fadeFrames_) applyFade(stretchOut_.data(), n);
    copyOut(stretchOut_.data(), n, chunk.samples);
    chunk.frames = n;
    chunk.slope = slope();
    chunk.srcStart = first - outOffset_;
    if (forcedSeam_ >= 0) forcedSeam_ -= n;
    if (n > 0 && n == toSeam) seamDue_ = true;
    if (flushed_ && stretch_.numSamples() == 0) {
      ended_ = true;
      chunk.flags |= Chunk::kEnd;
    }
    return n > 0 || !ended_;
  }
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
