// The producer half of a tempo channel: reads the source through a
// LoopReader (the range, repeated, its seams made continuous), changes
// tempo and pitch with a Stretcher of the kind the channel chose (which
// also resamples any source rate to the output rate), and cuts the result
// into chunks for the output callback. At the seams of a loop it counts
// passes, lets the speed trainer change the tempo and plays the count-in.
// A chunk never spans a seam.
//
// Where a pass ends in the output: exactly where the source's seam is
// without stretching; with it, where the stretcher's estimated output
// place reaches the seam. A trainer's new tempo starts the stretch afresh
// just before that point, spliced into the old sound's last frames, so the
// new pass is at the new tempo from its first frame.
//
// A change of tempo, pitch or stretcher (and the step from or to the
// bypass) starts the new sound at the place heard and splices the old
// sound's next frames into it (splice.h): the new sound is matched to the
// old within a few ms, then a 10 ms fade whose gains follow how alike the
// two are. A stretch that starts afresh is warmed up on the frames before
// its place (or on silence, after a seek), its output dropped until its
// estimated place reaches the place wanted. A count-in is silence fed the
// same way: its output is replaced by the clicks until the estimate
// reaches the pre-roll of the next pass.
//
// Threads: one thread at a time, the one holding the owning channel's
// producer lock (the decode-ahead thread, a control call, or an offline
// render). Never the output callback. It allocates and does file I/O.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "chunk.h"
#include "count_in.h"
#include "decode_source.h"
#include "loop_reader.h"
#include "speed_trainer.h"
#include "stretcher.h"

namespace lentaro::audio {

class TempoStage {
 public:
  // kind: the stretcher used whenever the sound is stretched.
  TempoStage(std::shared_ptr<DecodeSource> source, bool loop,
             StretcherKind kind = defaultStretcherKind());

  // Goes on from source frame `frame` with an empty stretcher, in pass
  // `pass`, at the given tempo and pitch: nothing that was fed before comes
  // out afterwards. A frame outside the loop range goes to its start; at
  // the start of a loop with a count-in set, the count-in comes first.
  // False if the decoder refused.
  bool reset(int64_t frame, uint64_t pass, float tempoPercent, float pitchSemitones);

  // Tempo in percent (speed factor 1 + t/100), pitch in semitones, and
  // the stretcher. Applies to the chunks made from now on: the sound heard
  // is spliced into the new one. Within kSpliceGap of output after a
  // splice, the change waits until the gap is over (the latest settings
  // given then apply): restarting a stretch costs as much as stretching
  // tens of milliseconds, too much to do for every step of a slider drag.
  void setParams(float tempoPercent, float pitchSemitones);
  void setParams(float tempoPercent, float pitchSemitones, StretcherKind kind);

  // Makes the next chunk; epoch is left to the caller. False once the
  // stream has ended (never in a loop, unless the source is empty).
  bool produce(Chunk& chunk);

  void setStretcher(StretcherKind kind);
  // The stretcher the next reset() starts with (no splice).
  void useStretcher(StretcherKind kind) { kind_ = kind; }
  StretcherKind stretcherKind() const { return kind_; }

  bool ended() const { return ended_; }
  bool stretching() const { return stretching_; }

  // ---- loop range ----
  // [start, end) repeated from now on; 0/0: the channel's own range (the
  // whole file, looping as created). Reading goes on where it stands: the
  // caller resets unless keepsPlaying() said that is right. False when the
  // range is refused (the old one stays).
  bool setLoop(int64_t start, int64_t end);
  // Whether, with [start, end) as the range, all that has been made since
  // the audible place `heard` (in pass `heardPass`) is still right: nothing
  // made has passed a seam, and the new range's first seam fade is still
  // ahead.
  bool keepsPlaying(int64_t start, int64_t end, int64_t heard, uint64_t heardPass) const;
  // The place `frame` names in the range: outside a loop range, its start.
  int64_t inRange(int64_t frame) const;
  int64_t rangeStart() const { return reader_.start(); }
  // Passes completed before the next chunk made.
  uint64_t pass() const { return pass_; }

  // ---- speed trainer and count-in ----
  SpeedTrainer& trainer() { return trainer_; }
  // The tempo the trainer changed to at a seam since the last call.
  bool takeTrainerStep(float* tempo);
  void setCountIn(const CountInSettings& settings) { countIn_ = settings; }
  bool countsIn() const { return countIn_.clicks > 0 && reader_.loops(); }

 private:
  // A seam the reader has passed and the output not yet.
  struct PendingSeam {
    double at;           // coordinate of the first frame after it
    double offsetAfter;  // coordinate minus place after it
    bool fadeOut;        // a count-in follows
  };

  bool needsStretch() const;
  double speed() const { return 1.0 + static_cast<double>(tempo_) / 100.0; }
  double slope() const;
  void applyParams(float tempoPercent, float pitchSemitones);
  void copyOut(const float* in, int frames, float* out) const;
  bool produceChunk(Chunk& chunk);
  bool produceDirect(Chunk& chunk);
  bool produceStretched(Chunk& chunk);
  bool produceCountIn(Chunk& chunk);
  // Feeds the stretcher until it has `frames` ready (or the source ended).
  void feed(int frames = kChunkFrames);
  // Stretched output: a splice's leftover first, then the stretcher's.
  int ready() const;
  int takeStretched(float* out, int frames);
  // Drops stretched output placed before coordinate `until`.
  void dropUntil(double until);
  // Output frames from the next one to coordinate `at`, by the estimate.
  int framesTo(double at);
  void armSeam();
  void noteSeam();
  // The output reached the first pending seam.
  void passSeam();
  // The trainer's tempo for the pass after the current one (once a pass).
  float completePass();
  void beginCountIn();
  // The place the next frame of the output stands for, with the settings
  // it is made with, before any change.
  int64_t heardPlace();
  // The trainer's new tempo, spliced in `toSeam` frames before the seam.
  void spliceBeforeSeam(int toSeam, float tempo);
  double nextOutputPlace();
  // The stretcher of kind_ (made, or swapped in, on first use), or "Fast"
  // for settings "High" does not take.
  Stretcher& stretcher();
  // The current stretcher at the current settings, from where the reader
  // stands, its warm-up silence (nothing heard has been fed to it).
  void restartSilent();
  // Starts the stretch afresh from `place`, warmed on the frames before it.
  void startStretchAt(int64_t place);
  // Up to `frames` (at most kFadeFrames) frames the output would play
  // next, fades included, into fadeBuf_; returns how many. Moves the
  // reader: a restart follows.
  int takeAhead(int frames);
  // Up to `frames` frames of the source as it stands, unstretched, into
  // out, for a splice to look at; stops at the end. Moves the reader.
  int readUnstretched(float* out, int frames);
  // The sound goes on from `place` at the settings (and stretcher) now
  // applied, the old sound's next `fade` frames (taken into fadeBuf_ by
  // takeAhead() before the settings changed) spliced into it. Returns the
  // frame of the new sound the output resumes at, counted from the one
  // `place` was asked at (negative: earlier).
  int spliceAt(int64_t place, int fade);
  // Mixes the fade of the last splice into the next output frames.
  void applyFade(float* samples, int frames);

  // A splice's fade (10 ms), and how far the new sound may move to match
  // the old one (±5 ms: a whole period of 100 Hz).
  static constexpr int kFadeFrames = 441;
  static constexpr int kSearchFrames = 220;
  // Output frames between two changes' splices at least (50 ms). A change
  // made in between waits at most that long.
  static constexpr int kSpliceGap = 2205;

  std::shared_ptr<DecodeSource> source_;
  const bool defaultLoop_;
  const int channels_;
  const int rate_;
  const int64_t length_;
  LoopReader reader_;
  StretcherKind kind_;
  // The stretcher in use, and the other kind once it has been used (kept:
  // switching back and forth makes neither again).
  std::unique_ptr<Stretcher> stretch_;
  std::unique_ptr<Stretcher> spare_;
  std::vector<float> decodeBuf_;
  std::vector<float> stretchOut_;
  // A splice: the old sound's next frames, faded out under the new one's
  // first frames, and how alike the two were matched.
  std::vector<float> fadeBuf_;
  std::vector<float> aheadBuf_;
  int fadeFrames_ = 0;
  int fadeDone_ = 0;
  double fadeCorrelation_ = 0;
  // The new sound a splice searched through; what is left of it after the
  // frames it matched is played before the stretcher's next output.
  std::vector<float> spliceBuf_;
  int pendingAt_ = 0;
  int pendingEnd_ = 0;
  // Output frames made since the last splice a change of settings made
  // (the trainer's steps do not count: they come once a pass), and
  // settings waiting for the gap to pass.
  int64_t sinceSplice_ = kSpliceGap;
  bool deferred_ = false;
  float deferredTempo_ = 0;
  float deferredPitch_ = 0;
  StretcherKind deferredKind_ = StretcherKind::kHigh;
  float tempo_ = 0;
  float pitch_ = 0;
  // Unity tempo and pitch on a 44.1 kHz source bypass the stretcher, so the
  // default case is bit-exact and cheap. Going to and from it splices.
  bool stretching_ = false;
  bool flushed_ = false;
  bool ended_ = false;

  // Coordinates: source frames counted on from the last restart of the
  // stretch, across seams; a place is a coordinate minus the offset of the
  // pass it falls in. Where stretching last restarted, just after the last
  // frame read, and the offset of the next frame given out.
  double resetPos_ = 0;
  double fedPos_ = 0;
  double outOffset_ = 0;
  double dropUntil_ = 0;  // stretched output placed before it is warm-up
  double cueUntil_ = 0;   // output placed before it is the count-in
  std::deque<PendingSeam> seams_;
  int forcedSeam_ = -1;     // output frames to the next seam when known exactly
  bool seamDue_ = false;    // the last chunk ended a pass
  bool completed_ = false;  // the trainer has counted the current pass
  uint64_t pass_ = 0;

  SpeedTrainer trainer_;
  bool stepped_ = false;  // the trainer changed the tempo to steppedTo_
  float steppedTo_ = 0;
  CountInSettings countIn_;
  ClickTrack clicks_;
  bool countingIn_ = false;
};

}  // namespace lentaro::audio
