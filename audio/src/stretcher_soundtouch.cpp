// "Fast": SoundTouch's overlap-add (WSOLA), which also resamples.
//
// SoundTouch's own defaults pick long sequences at slow tempos (up to
// 125 ms at half speed): notes then land up to a sequence late or early,
// and a transient can be played twice a sequence apart. Its settings here
// were chosen by measurement against an ideal (bench/quality: the
// soundtouch_settings program scores candidates, "fast" being this
// stretcher itself): sequences of 20 to 40 ms with the seek window and
// overlap that scored best for the stretch that the tempo and the
// transposition ask of it.
//
// Where the output stands: SoundTouch plays each sequence from the place
// its seek found, at the source's own speed, and skips or repeats between
// sequences. So the place of the next output frame is counted back from
// what was fed: the input it has not processed, its ready output, and the
// lead of a sequence's sound over the input it consumed, which depends on
// the tempo and the settings (measured with click trains, see
// leadSeconds()).
#include <SoundTouch.h>  // the SETTING_* names only

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "chunk.h"
#include "library_soundtouch.h"
#include "stretcher.h"

namespace lentaro::audio {
namespace {

struct Settings {
  int sequenceMs;
  int seekMs;
  int overlapMs;
  double leadMs;  // this setting's own share of the lead (see leadSeconds)
};

// By the stretch SoundTouch is asked for (its own tempo: the speed over
// the transposition) and the way it transposes. Measured on the quality
// benchmark's piece, through this stretcher as the engine drives it, each
// scores at least as well as SoundTouch's "speech" settings (40/15/8) and
// better than its defaults in every case there (tempo 0.5 to 1.5, pitch
// -5 to +12), on both the spectral distance and the spread of note
// onsets. Without transposing: short sequences with a wide seek below
// tempo 1 (what a sequence repeats is short), longer ones with a narrow
// seek above. Transposing up (stretched slower, then read faster): a wide
// seek, wider the more it stretches; down: longer sequences.
Settings settingsFor(double stretchTempo, double semitones) {
  if (semitones > 0.5) {
    if (stretchTempo >= 0.6) return {20, 20, 10, -1.6};
    return stretchTempo >= 0.45 ? Settings{24, 32, 13, 2.6} : Settings{25, 25, 12, 2.3};
  }
  if (semitones < -0.5) return {40, 15, 12, 0.0};
  return stretchTempo < 1.0 ? Settings{20, 25, 10, -2.0} : Settings{30, 15, 10, 0.0};
}

class SoundTouchStretcher final : public Stretcher {
 public:
  SoundTouchStretcher(const SoundtouchLibrary& st, void* handle, int sourceRate, int channels)
      : Stretcher(StretcherKind::kFast, channels), st_(st), h_(handle), rate_(sourceRate) {
    st_.soundtouch_setChannels(h_, static_cast<unsigned>(channels));
    st_.soundtouch_setSampleRate(h_, static_cast<unsigned>(sourceRate));
  }
  ~SoundTouchStretcher() override { st_.soundtouch_destroyInstance(h_); }
  SoundTouchStretcher(const SoundTouchStretcher&) = delete;
  SoundTouchStretcher& operator=(const SoundTouchStretcher&) = delete;

  int restart(double speed, double semitones, int64_t before) override {
    st_.soundtouch_clear(h_);
    const double transpose = std::exp2(semitones / 12.0);
    const double stretchTempo = speed / transpose;
    const Settings s = settingsFor(stretchTempo, semitones);
    st_.soundtouch_setSetting(h_, SETTING_SEQUENCE_MS, s.sequenceMs);
    st_.soundtouch_setSetting(h_, SETTING_SEEKWINDOW_MS, s.seekMs);
    st_.soundtouch_setSetting(h_, SETTING_OVERLAP_MS, s.overlapMs);
    st_.soundtouch_setRate(h_, static_cast<float>(rate_ / kOutputRate));
    st_.soundtouch_setTempo(h_, static_cast<float>(speed));
    st_.soundtouch_setPitch(h_, static_cast<float>(transpose));
    slope_ = speed * rate_ / kOutputRate;
    // SoundTouch transposes first when its overall rate is at most 1: its
    // unprocessed input is then in transposed frames.
    inScale_ = std::min(1.0, rate_ / kOutputRate * transpose);
    lead_ = leadSeconds(s, stretchTempo) * rate_ * inScale_;
    // It skips the first part of what it is fed, less than a sequence and
    // a seek window.
    const auto wanted = static_cast<int64_t>(
        std::ceil((s.sequenceMs + s.seekMs + s.overlapMs) / 1000.0 * rate_ * std::max(1.0, speed)));
    const auto warm = static_cast<int>(std::clamp<int64_t>(before, 0, wanted));
    std::vector<float> silence(static_cast<size_t>((wanted - warm) * channels()), 0.0f);
    if (!silence.empty())
      st_.soundtouch_putSamples(h_, silence.data(), static_cast<unsigned>(wanted - warm));
    return warm;
  }

  void put(const float* in, int frames) override {
    st_.soundtouch_putSamples(h_, in, static_cast<unsigned>(frames));
  }

  void flush() override { st_.soundtouch_flush(h_); }

  int available() const override { return static_cast<int>(st_.soundtouch_numSamples(h_)); }

  int receive(float* out, int frames) override {
    return static_cast<int>(st_.soundtouch_receiveSamples(h_, out, static_cast<unsigned>(frames)));
  }

  double held() const override {
    return static_cast<double>(st_.soundtouch_numUnprocessedSamples(h_)) * inScale_ +
           static_cast<double>(st_.soundtouch_numSamples(h_)) * slope_ - lead_;
  }

 private:
  static double leadSeconds(const Settings& s, double stretchTempo) {
    // A sequence's sound starts where its seek found the best match, about
    // half the window in, and plays at the source's speed: below tempo 1
    // the sound runs ahead of the input consumed, above it falls behind.
    // Measured with click trains at the settings above (ms, by the
    // stretch's tempo).
    static constexpr double kTempo[] = {0.125, 0.25, 0.375, 0.5, 0.75, 1.0,
                                        1.25,  1.5,  2.0,   3.0, 4.0};
    static constexpr double kAhead[] = {17.0, 15.5,  12.0,  10.5,  5.3,  0.0,
                                        -5.3, -10.5, -17.0, -30.0, -40.0};
    constexpr int n = static_cast<int>(std::size(kTempo));
    double ahead = kAhead[n - 1];
    if (stretchTempo <= kTempo[0]) {
      ahead = kAhead[0];
    } else {
      for (int i = 1; i < n; ++i) {
        if (stretchTempo <= kTempo[i]) {
          const double f = (stretchTempo - kTempo[i - 1]) / (kTempo[i] - kTempo[i - 1]);
          ahead = kAhead[i - 1] + f * (kAhead[i] - kAhead[i - 1]);
          break;
        }
      }
    }
    return (s.seekMs / 2.0 + ahead + s.leadMs) / 1000.0;
  }

  const SoundtouchLibrary& st_;
  void* const h_;  // the library's instance, owned
  const double rate_;
  double slope_ = 1;
  double inScale_ = 1;
  double lead_ = 0;
};

}  // namespace

std::unique_ptr<Stretcher> makeSoundTouchStretcher(int sourceRate, int channels) {
  const SoundtouchLibrary* st = soundtouchLibrary();
  if (!st) return nullptr;
  void* handle = st->soundtouch_createInstance();
  if (!handle) return nullptr;
  return std::make_unique<SoundTouchStretcher>(*st, handle, sourceRate, channels);
}

}  // namespace lentaro::audio
