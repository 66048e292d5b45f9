// The source as a stretcher hears it: the decoder's frames in file order
// over a range, repeated when the range loops, every seam made continuous,
// so that whatever is fed from here sees one signal.
//
// A pass plays each frame of the range [start, end) exactly once. The seam
// after it is an equal-power crossfade (cos/sin weights, kFadeSeconds): the
// pass's last frames fade out while the frames that lead up to `start` in
// the file fade in, so the next pass begins at `start` at full level and
// nothing in the range is heard twice or skipped. Where the file has too
// little before `start`, the rest of the fade moves past the seam: the
// first frames of the next pass are crossfaded with those that follow
// `end`. A range that is the whole file has neither and joins hard (a file
// made to loop joins sample-continuously).
//
// A seam can instead fade to silence, for a count-in before the next pass:
// after it the reader gives silence until startWithFadeIn(), which gives a
// stretch of silence and then begins a little before `start`, fading in,
// so that `start` is at full level.
//
// Threads: one at a time, the owning stage's (its channel's producer
// lock). It does file I/O, and setRange() allocates.
#pragma once

#include <cstdint>
#include <vector>

#include "decoder.h"

namespace lentaro::audio {

class LoopReader {
 public:
  enum class Seam { kBlend, kFadeOut };
  enum class Event {
    kNone,
    kSeamAhead,  // the next seam's fade begins here: arm() says how it goes
    kSeam,       // the frames read so far end the pass
    kEnd,        // nothing more (a range that does not loop)
  };
  static constexpr double kFadeSeconds = 0.005;

  // Reads from the decoder's current place, `place`.
  LoopReader(Decoder& decoder, int channels, int rate, int64_t length, int64_t place);

  // [start, end), repeated when `loop`; without it, the file to its end
  // (start 0, end the length). Keeps reading where it stands: the caller
  // makes sure that place belongs to the new range, or seeks. False (and
  // the range unchanged) when the decoder refused to go to the range.
  bool setRange(int64_t start, int64_t end, bool loop);

  // Plain reading from `place` on: anywhere before the range's end (what
  // comes before its start is the file's own sound). False if the decoder
  // refused.
  bool seek(int64_t place);
  // `silence` frames of silence, then plain reading from `place` on (a
  // stretcher's warm-up before a seek).
  bool seekAfterSilence(int64_t place, int64_t silence);
  // `silence` frames of silence, then preRoll() frames before `start`
  // fading in, so that `start` plays at full level (the pass after a
  // count-in).
  bool startWithFadeIn(int64_t silence);

  // Up to maxFrames frames in the source's layout into out. Stops early at
  // a boundary and names it in *event; reading on after kSeamAhead needs
  // arm(). After a fading-out seam it gives silence (kNone, never kEnd).
  long read(float* out, long maxFrames, Event* event);
  void arm(Seam how);

  // The place of the next frame read, counted from the first one of the
  // file; inside a crossfade, the place of the frame that fades out.
  int64_t place() const { return pos_; }
  int64_t start() const { return start_; }
  int64_t end() const { return end_; }
  bool loops() const { return loop_; }
  // Frames of the file before `start` that startWithFadeIn() plays.
  int64_t preRoll() const { return pre_; }
  // True once a fading-out seam has been passed, until the next seek or
  // startWithFadeIn().
  bool silent() const { return state_ == State::kSilent; }
  // In the fade before a seam that fades to silence.
  bool fadingOut() const { return state_ == State::kArmed && armed_ == Seam::kFadeOut; }
  // Reading the range plainly, before the next seam's fade (or, without a
  // loop, anywhere): a new range can take over from here without a seek.
  bool plainBefore(int64_t place) const { return state_ == State::kPlain && pos_ <= place; }
  // The first place of the next seam's fade in `end`'s range of `length`
  // frames: where kSeamAhead comes.
  int64_t seamAhead() const { return end_ - fade_; }

  // The fade of a seam at `end` for a range of `length` frames: what
  // setRange() would use.
  int64_t fadeFor(int64_t start, int64_t end) const;

 private:
  enum class State {
    kPlain,      // between seams
    kArmed,      // in the fade before the seam, told how it goes
    kAfterSeam,  // in the part of a crossfade that follows the seam
    kSilent,     // after a seam that faded out
    kLeadIn,     // silence before a place (with or without a loop)
    kFadingIn,   // the pre-roll before `start`
  };

  // Fills `frames` frames, silence past an early end of the decoder;
  // returns how many were decoded.
  long readDecoder(float* out, long frames);
  // Applies the fades of the frames from pos_ on, in the current state.
  void weigh(float* out, long frames);
  void passSeam();

  Decoder& decoder_;
  const int channels_;
  const int64_t length_;
  const int64_t fadeFrames_;  // kFadeSeconds at the source's rate

  int64_t start_ = 0;
  int64_t end_ = 0;
  bool loop_ = false;
  int64_t fade_ = 0;  // frames before `end` that a fading-out seam fades
  int64_t pre_ = 0;   // frames of a crossfade before the seam (from before `start`)
  int64_t post_ = 0;  // frames of it after the seam (from after `end`)
  // The file's frames [start_ - pre_, start_ + post_): what fades in.
  std::vector<float> head_;

  State state_ = State::kPlain;
  Seam armed_ = Seam::kBlend;
  int64_t pos_ = 0;        // place of the next frame (in a lead-in, counted back from its end)
  int64_t leadInEnd_ = 0;  // the place the lead-in's silence leads up to
  State afterLeadIn_ = State::kPlain;
  bool exhausted_ = false;  // without a loop: the decoder ended before the length
};

}  // namespace lentaro::audio
