#include "tempo_stage.h"

#include <algorithm>
#include <cmath>

#include "splice.h"

namespace lentaro::audio {

namespace {
constexpr long kDecodeBlock = 1024;
}

TempoStage::TempoStage(std::shared_ptr<DecodeSource> source, bool loop, StretcherKind kind)
    : source_(std::move(source)),
      defaultLoop_(loop && source_->lengthFrames >= 2),
      channels_(source_->format.channels),
      rate_(source_->format.rate),
      length_(source_->lengthFrames),
      reader_(*source_->decoder, channels_, rate_, length_, source_->position),
      kind_(kind),
      decodeBuf_(static_cast<size_t>(kDecodeBlock * channels_)),
      stretchOut_(static_cast<size_t>(kChunkFrames * channels_)),
      fadeBuf_(static_cast<size_t>(kFadeFrames * channels_)),
      aheadBuf_(static_cast<size_t>(kFadeFrames * channels_)),
      spliceBuf_(static_cast<size_t>((kFadeFrames + 2 * kSearchFrames) * channels_)) {
  // The whole file: no head to read, so the decoder is not touched.
  reader_.setRange(0, length_, defaultLoop_);
  resetPos_ = fedPos_ = dropUntil_ = static_cast<double>(source_->position);
  stretching_ = needsStretch();
  if (stretching_) restartSilent();
}

bool TempoStage::needsStretch() const {
  return rate_ != kOutputRate || tempo_ != 0 || pitch_ != 0;
}

double TempoStage::slope() const {
  return (1.0 + static_cast<double>(tempo_) / 100.0) * rate_ / kOutputRate;
}

void TempoStage::applyParams(float tempoPercent, float pitchSemitones) {
  // The stretcher takes them when it next restarts.
  tempo_ = tempoPercent;
  pitch_ = pitchSemitones;
}

Stretcher& TempoStage::stretcher() {
  const StretcherKind kind =
      kind_ == StretcherKind::kHigh && !rubberBandTakes(rate_, speed(), pitch_)
          ? StretcherKind::kFast
          : kind_;
  if (!stretch_ || stretch_->kind() != kind) {
    if (spare_ && spare_->kind() == kind) {
      std::swap(stretch_, spare_);
    } else {
      spare_ = std::move(stretch_);
      stretch_ = makeStretcher(kind, rate_, channels_);
    }
  }
  return *stretch_;
}

void TempoStage::restartSilent() {
  stretcher().restart(speed(), pitch_, 0);
  resetPos_ = fedPos_;
  flushed_ = false;
  pendingAt_ = pendingEnd_ = 0;
}

void TempoStage::startStretchAt(int64_t place) {
  const int warm = stretcher().restart(speed(), pitch_, place);
  reader_.seek(place - warm);
  resetPos_ = fedPos_ = static_cast<double>(reader_.place());
  dropUntil_ = static_cast<double>(place);
  flushed_ = false;
  pendingAt_ = pendingEnd_ = 0;
  outOffset_ = 0;
  seams_.clear();
  forcedSeam_ = -1;
}

int64_t TempoStage::inRange(int64_t frame) const {
  if (!reader_.loops()) return std::clamp<int64_t>(frame, 0, length_);
  return frame < reader_.start() || frame >= reader_.end() ? reader_.start() : frame;
}

bool TempoStage::reset(int64_t frame, uint64_t pass, float tempoPercent, float pitchSemitones) {
  applyParams(tempoPercent, pitchSemitones);
  deferred_ = false;
  flushed_ = false;
  ended_ = false;
  fadeFrames_ = fadeDone_ = 0;
  pendingAt_ = pendingEnd_ = 0;
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
  // Stretched, it warms up on silence: nothing before `frame` is heard.
  const bool ok = reader_.seek(frame);
  resetPos_ = fedPos_ = dropUntil_ = static_cast<double>(reader_.place());
  if (stretching_) restartSilent();
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
  setParams(tempoPercent, pitchSemitones, kind_);
}

void TempoStage::setStretcher(StretcherKind kind) {
  setParams(tempo_, pitch_, kind);
}

void TempoStage::setParams(float tempoPercent, float pitchSemitones, StretcherKind kind) {
  deferred_ = false;
  if (tempoPercent == tempo_ && pitchSemitones == pitch_ && kind == kind_) return;
  // A restart below counts places in the pass the output is in.
  if (seamDue_) passSeam();
  const bool heard = !countingIn_ && !flushed_ && fedPos_ > resetPos_;
  if (heard && sinceSplice_ < kSpliceGap) {
    // A slider dragged: the latest settings wait for the gap.
    deferred_ = true;
    deferredTempo_ = tempoPercent;
    deferredPitch_ = pitchSemitones;
    deferredKind_ = kind;
    return;
  }
  if (heard) {
    // Where the sound stands now, and how it goes on, with the settings
    // it was made with.
    const int64_t place = heardPlace();
    const int fade = takeAhead(kFadeFrames);
    applyParams(tempoPercent, pitchSemitones);
    kind_ = kind;
    spliceAt(place, fade);
    sinceSplice_ = 0;
    return;
  }
  applyParams(tempoPercent, pitchSemitones);
  kind_ = kind;
  // Nothing heard to splice from: only a count-in's silence fed, nothing
  // fed since the last reset, or the source has ended (what the stretcher
  // holds then plays out as it was made).
  if (flushed_) return;
  stretching_ = needsStretch();
  if (stretching_) restartSilent();
}

int64_t TempoStage::heardPlace() {
  // A warm-up not yet dropped is not heard.
  const double p = stretching_ ? std::max({resetPos_, dropUntil_, nextOutputPlace()}) - outOffset_
                               : fedPos_ - outOffset_;
  const auto place = static_cast<int64_t>(p);
  if (!reader_.loops()) return std::clamp<int64_t>(place, 0, length_);
  return std::clamp(place, reader_.start(), reader_.end() - 1);
}

int TempoStage::takeAhead(int frames) {
  // Through aheadBuf_: a splice still fading mixes from fadeBuf_.
  float* out = aheadBuf_.data();
  int n = 0;
  if (stretching_) {
    dropUntil(dropUntil_);
    while (n < frames) {
      if (pendingAt_ == pendingEnd_) feed(frames - n);
      const int got = takeStretched(out + n * channels_, frames - n);
      if (got <= 0) break;
      n += got;
    }
  } else {
    n = readUnstretched(out, frames);
  }
  // A splice still fading is part of what would have played.
  if (fadeDone_ < fadeFrames_) applyFade(out, n);
  std::copy(out, out + n * channels_, fadeBuf_.data());
  return n;
}

int TempoStage::readUnstretched(float* out, int frames) {
  // Seams are armed as the output would arm them; the reader is sought
  // away right after, so nothing read here is noted.
  int n = 0;
  while (n < frames) {
    LoopReader::Event event;
    const long got = reader_.read(out + n * channels_, frames - n, &event);
    n += static_cast<int>(got);
    if (event == LoopReader::Event::kSeamAhead) {
      armSeam();
    } else if (event == LoopReader::Event::kEnd ||
               (got == 0 && event == LoopReader::Event::kNone)) {
      break;
    }
  }
  return n;
}

int TempoStage::spliceAt(int64_t place, int fade) {
  // The new sound from kSearchFrames output frames before `place`, so
  // that it can move either way to match the old one.
  const int want = fade + 2 * kSearchFrames;
  const double step = needsStretch() ? slope() : 1.0;
  const auto lead = std::min<int64_t>(place, std::llround(kSearchFrames * step));
  const int64_t from = place - lead;
  const double nominal = static_cast<double>(lead) / step;
  int got = 0;
  bool search = true;
  stretching_ = needsStretch();
  if (stretching_) {
    startStretchAt(from);
    dropUntil(dropUntil_);
    while (got < want) {
      feed(want - got);
      const int n = takeStretched(spliceBuf_.data() + got * channels_, want - got);
      if (n <= 0) break;
      got += n;
    }
  } else {
    // Unstretched, the new sound is the source itself, read again after
    // the match so that it plays on bit-exact. Near a seam there is no
    // room to move: it starts at the place.
    search = !reader_.loops() || place + kSearchFrames + fade < reader_.seamAhead();
    const int64_t at = search ? from : place;
    reader_.seek(at);
    got = readUnstretched(spliceBuf_.data(), want);
  }
  const int overlap = std::min(fade, got);
  const int range = search ? std::max(0, got - overlap) : 0;
  SpliceMatch match = bestSpliceOffset(fadeBuf_.data(), spliceBuf_.data(), channels_, overlap,
                                       std::min(range, static_cast<int>(2 * nominal + 0.5)));
  fadeFrames_ = overlap;
  fadeDone_ = 0;
  fadeCorrelation_ = match.correlation;
  if (stretching_) {
    pendingAt_ = match.offset;
    pendingEnd_ = got;
    return static_cast<int>(std::lround(match.offset - nominal));
  }
  const int64_t resume = (search ? from : place) + match.offset;
  pendingAt_ = pendingEnd_ = 0;
  reader_.seek(resume);
  resetPos_ = fedPos_ = static_cast<double>(resume);
  outOffset_ = 0;
  seams_.clear();
  forcedSeam_ = -1;
  return static_cast<int>(resume - place);
}

void TempoStage::applyFade(float* samples, int frames) {
  // samples are in the source's channel layout, like fadeBuf_.
  const int n = std::min(frames, fadeFrames_ - fadeDone_);
  const float* old = fadeBuf_.data() + fadeDone_ * channels_;
  spliceFade(old, samples, channels_, n, fadeCorrelation_, samples, fadeDone_, fadeFrames_);
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
  // Without stretching so far the pass ends exactly here and the new tempo
  // starts on the next pass's first frame. (A stretched pass changed just
  // before the seam; this is only a fallback.)
  if (flushed_) {
    applyParams(next, pitch_);
    return;
  }
  const int64_t place = heardPlace();
  const int fade = takeAhead(kFadeFrames);
  applyParams(next, pitch_);
  spliceAt(place, fade);
}

void TempoStage::spliceBeforeSeam(int toSeam, float tempo) {
  // The stretch restarts at the new tempo `toSeam` (at most kFadeFrames)
  // output frames before the seam, in the same continuous signal the old
  // sound was made from, and is spliced into the old sound: at the seam
  // only the new tempo is left. The pass ends where the new sound reaches
  // the seam, however far the match moved it.
  const double seamPlace =
      stretching_ ? seams_.front().at - outOffset_ : static_cast<double>(reader_.end());
  const int fade = takeAhead(std::min(kFadeFrames, toSeam));
  applyParams(tempo, pitch_);
  const auto place = std::max<int64_t>(reader_.start(), std::llround(seamPlace - toSeam * slope()));
  const int moved = spliceAt(place, fade);
  if (stretching_) forcedSeam_ = std::max(0, toSeam - moved);
}

void TempoStage::beginCountIn() {
  // The next pass starts afresh, at the settings it will play at: after
  // silence that lasts the count-in, its pre-roll fading in so that the
  // loop's start comes one count-in after the seam.
  flushed_ = false;
  fadeFrames_ = fadeDone_ = 0;
  pendingAt_ = pendingEnd_ = 0;
  seams_.clear();
  forcedSeam_ = -1;
  outOffset_ = 0;
  stretching_ = needsStretch();
  const double loopSeconds = static_cast<double>(reader_.end() - reader_.start()) / rate_;
  const double beatSeconds =
      countIn_.bpm > 0 ? 60.0 / countIn_.bpm : loopSeconds / countIn_.beatsPerLoop;
  const double beat = beatSeconds / speed() * kOutputRate;
  const double preRoll = static_cast<double>(reader_.preRoll()) / slope();
  const int64_t cueFrames = std::max<int64_t>(0, std::llround(countIn_.clicks * beat - preRoll));
  clicks_.begin(countIn_.clicks, beat, cueFrames);
  cueUntil_ = static_cast<double>(reader_.start() - reader_.preRoll());
  dropUntil_ = cueUntil_ - static_cast<double>(cueFrames) * slope();
  const auto silence = static_cast<int64_t>(std::ceil(cueUntil_ - dropUntil_));
  reader_.startWithFadeIn(silence);
  resetPos_ = fedPos_ = cueUntil_ - static_cast<double>(silence);
  // Stretched, it warms up on silence of its own before that.
  if (stretching_) restartSilent();
  countingIn_ = true;
}

// ---- chunks -----------------------------------------------------------

bool TempoStage::produce(Chunk& chunk) {
  if (deferred_ && sinceSplice_ >= kSpliceGap) {
    setParams(deferredTempo_, deferredPitch_, deferredKind_);
  }
  const bool made = produceChunk(chunk);
  sinceSplice_ += chunk.frames;
  return made;
}

bool TempoStage::produceChunk(Chunk& chunk) {
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
    n = std::min({kChunkFrames, framesTo(cueUntil_), ready()});
    if (n > 0) takeStretched(stretchOut_.data(), n);
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
        spliceBeforeSeam(static_cast<int>(toSeam), next);
        return produceStretched(chunk);
      }
    }
  }
  int n = 0;
  while (n < want) {
    LoopReader::Event event;
    const long got = reader_.read(decodeBuf_.data(), want - n, &event);
    if (fadeDone_ < fadeFrames_) applyFade(decodeBuf_.data(), static_cast<int>(got));
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

void TempoStage::feed(int frames) {
  // Enough output for `frames`; after a splice before a seam, also that
  // seam read again, so that passing it knows where the next pass is.
  while (!flushed_ &&
         (ready() < frames || (forcedSeam_ >= 0 && seams_.empty() && !reader_.silent()))) {
    LoopReader::Event event;
    const long got = reader_.read(decodeBuf_.data(), kDecodeBlock, &event);
    if (got > 0) {
      stretch_->put(decodeBuf_.data(), static_cast<int>(got));
      fedPos_ += static_cast<double>(got);
    }
    if (event == LoopReader::Event::kSeamAhead) {
      armSeam();
    } else if (event == LoopReader::Event::kSeam) {
      noteSeam();
    } else if (event == LoopReader::Event::kEnd) {
      stretch_->flush();
      flushed_ = true;
    }
  }
}

int TempoStage::ready() const {
  return pendingEnd_ - pendingAt_ + (stretch_ ? stretch_->available() : 0);
}

int TempoStage::takeStretched(float* out, int frames) {
  const int n = std::min(frames, pendingEnd_ - pendingAt_);
  std::copy(spliceBuf_.data() + pendingAt_ * channels_,
            spliceBuf_.data() + (pendingAt_ + n) * channels_, out);
  pendingAt_ += n;
  if (n == frames) return n;
  return n + stretch_->receive(out + n * channels_, frames - n);
}

void TempoStage::dropUntil(double until) {
  for (;;) {
    feed();
    const int n = std::min(framesTo(until), ready());
    if (n <= 0) return;
    // Through stretchOut_ in pieces: it holds a chunk's frames.
    takeStretched(stretchOut_.data(), std::min(n, kChunkFrames));
  }
}

int TempoStage::framesTo(double at) {
  return static_cast<int>(std::clamp(std::ceil((at - nextOutputPlace()) / slope()), 0.0, 1e9));
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
          spliceBeforeSeam(toSeam, next);
          // Back at tempo 0 (and pitch 0): the source itself from here.
          if (!stretching_) return produceDirect(chunk);
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
    const int n = takeStretched(stretchOut_.data(), want);
    if (fadeDone_ < fadeFrames_) applyFade(stretchOut_.data(), n);
    copyOut(stretchOut_.data(), n, chunk.samples);
    chunk.frames = n;
    chunk.slope = slope();
    chunk.srcStart = first - outOffset_;
    if (forcedSeam_ >= 0) forcedSeam_ -= n;
    if (n > 0 && n == toSeam) seamDue_ = true;
    if (flushed_ && ready() == 0) {
      ended_ = true;
      chunk.flags |= Chunk::kEnd;
    }
    return n > 0 || !ended_;
  }
}

double TempoStage::nextOutputPlace() {
  // Counted back from what was fed (Stretcher::held()), and back over what
  // a splice left to play before the stretcher's next output.
  if (!stretch_) return fedPos_;
  return fedPos_ - stretch_->held() - (pendingEnd_ - pendingAt_) * slope();
}

}  // namespace lentaro::audio
