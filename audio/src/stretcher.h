// The time-stretcher and pitch-shifter behind a tempo stage, in two kinds:
// "Fast" (SoundTouch's overlap-add, settings chosen by measurement) and
// "High" (Rubber Band's R3 engine in real-time mode). Either one also
// resamples the source's rate to the output rate.
//
// A stretch runs at one setting from a restart to the next: a change of
// tempo or pitch restarts it at the place heard, warmed up on the frames
// just before that place, so that its first output frame is that place and
// the change is heard at once (the stage splices the old sound into the
// new). In between, output frame i after the place comes from source frame
// place + i * slope, slope = speed * sourceRate / outputRate, within the
// stretcher's own wander (a sequence of the overlap-add, a few ms).
//
// Threads: one thread at a time, the one holding the owning channel's
// producer lock; never the output callback. It allocates (at restart()).
#pragma once

#include <cstdint>
#include <memory>

namespace lentaro::audio {

enum class StretcherKind : int { kFast = 0, kHigh = 1 };

class Stretcher {
 public:
  virtual ~Stretcher() = default;

  StretcherKind kind() const { return kind_; }
  int channels() const { return channels_; }

  // Forgets all input and output and takes the settings the next frames
  // are made with: speed is the tempo factor (> 0), semitones the
  // transposition. `before` is how many frames of the source there are
  // before the place the output should start at; returns how many of them
  // to put() first, as its warm-up, before that place. What the source
  // cannot give (all of it for before = 0: a seek) is warmed on silence.
  virtual int restart(double speed, double semitones, int64_t before) = 0;

  // Interleaved frames of the source (its rate, its channel count).
  virtual void put(const float* in, int frames) = 0;
  // The source has ended: what is held comes out.
  virtual void flush() = 0;
  // Output frames ready (the output rate, the source's channel count).
  virtual int available() const = 0;
  virtual int receive(float* out, int frames) = 0;

  // Source frames between the place of the next output frame and the end
  // of what was put, so that place = (end of input) - held(). While the
  // output is still before the place restart() was given, the place is
  // before it too (and then the output is warm-up to be dropped).
  virtual double held() const = 0;

 protected:
  Stretcher(StretcherKind kind, int channels) : kind_(kind), channels_(channels) {}

 private:
  const StretcherKind kind_;
  const int channels_;
};

// sourceRate: the source's frames a second; channels: 1 or 2.
std::unique_ptr<Stretcher> makeSoundTouchStretcher(int sourceRate, int channels);
std::unique_ptr<Stretcher> makeRubberBandStretcher(int sourceRate, int channels);
std::unique_ptr<Stretcher> makeStretcher(StretcherKind kind, int sourceRate, int channels);

// Whether both stretchers' libraries are installed (loading them on the
// first call, any thread). A tempo channel or a render needs both, since
// either kind may be chosen while it plays; the make functions above are
// called only once this has held.
bool stretchersAvailable();

// Whether Rubber Band takes these settings: its real-time buffers overrun
// (and it crashes) at extreme ratios, so beyond 1/8 to 8 times the length
// and 1/4 to 4 times the frequencies, counted with the rate conversion,
// and where a transposition down with a shortening makes the sound less
// than a fifth as long in all, "High" leaves the stretch to "Fast".
bool rubberBandTakes(int sourceRate, double speed, double semitones);

// The kind a new tempo channel (or offline render) starts with: "High"
// until set. Any thread.
StretcherKind defaultStretcherKind();
void setDefaultStretcherKind(StretcherKind kind);

}  // namespace lentaro::audio
