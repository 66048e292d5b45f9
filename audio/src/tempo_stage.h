// The producer half of a tempo channel: reads the source through a
// LoopReader (the range, repeated, its seams made continuous), changes
// tempo and pitch with SoundTouch (which also resamples any source rate to
// the output rate), and cuts the result into chunks for the output
// callback. At the seams of a loop it counts passes, lets the speed trainer
// change the tempo and plays the count-in. A chunk never spans a seam.
//
// Where a pass ends in the output: exactly where the source's seam is
// without stretching; with it, where the stretcher's estimated output
// place reaches the seam. A trainer's new tempo starts the stretch afresh
// just before that point, its first frames fading in over the old sound's
// last ones, so the new pass is at the new tempo from its first frame.
//
// A stretch that starts afresh is warmed up: fed from a little before the
// place wanted, its output dropped until the estimate reaches that place,
// because SoundTouch skips the first part of what it is fed. A count-in is
// silence fed the same way: its output is replaced by the clicks until the
// estimate reaches the pre-roll of the next pass.
//
// Threads: one thread at a time, the one holding the owning channel's
// producer lock (the decode-ahead thread, a control call, or an offline
// render). Never the output callback. It allocates and does file I/O.
#pragma once

#include <SoundTouch.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "chunk.h"
#include "count_in.h"
#include "decode_source.h"
#include "loop_reader.h"
#include "speed_trainer.h"

namespace lentaro::audio {

class TempoStage {
 public:
  TempoStage(std::shared_ptr<DecodeSource> source, bool loop);

  // Goes on from source frame `frame` with an empty stretcher, in pass
  // `pass`, at the given tempo and pitch: nothing that was fed before comes
  // out afterwards. A frame outside the loop range goes to its start; at
  // the start of a loop with a count-in set, the count-in comes first.
  // False if the decoder refused.
  bool reset(int64_t frame, uint64_t pass, float tempoPercent, float pitchSemitones);

  // Tempo in percent (speed factor 1 + t/100), pitch in semitones. Applies
  // to the chunks made from now on.
  void setParams(float tempoPercent, float pitchSemitones);

  // Makes the next chunk; epoch is left to the caller. False once the
  // stream has ended (never in a loop, unless the source is empty).
  bool produce(Chunk& chunk);

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
  double slope() const;
  void applyParams(float tempoPercent, float pitchSemitones);
  void copyOut(const float* in, int frames, float* out) const;
  bool produceDirect(Chunk& chunk);
  bool produceStretched(Chunk& chunk);
  bool produceCountIn(Chunk& chunk);
  void feed();
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
  void startStretching();
  // Up to `frames` (at most kFadeFrames) frames the bypass would play next,
  // into fadeBuf_; returns how many.
  int bypassAhead(int frames);
  void spliceBeforeSeam(int toSeam);
  double nextOutputPlace();
  int64_t heardPlace();
  // Warm; the splice's old sound is the stretcher's next frames, or what
  // the caller put in fadeBuf_.
  void restartStretchAt(int64_t place, bool spliceFromStretch = true);
  void applyFade(float* samples, int frames);

  static constexpr int kFadeFrames = 128;  // 3 ms
  // More than SoundTouch skips at the start at any tempo.
  static constexpr double kWarmSeconds = 0.15;
  static double stretchLead(double stretchTempo);

  std::shared_ptr<DecodeSource> source_;
  const bool defaultLoop_;
  const int channels_;
  const int rate_;
  const int64_t length_;
  LoopReader reader_;
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
  // until the next reset or count-in: switching back mid-stream would jump.
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
