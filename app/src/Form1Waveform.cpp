// The waveform overview in the "Position" frame: drawn behind Slider1
// (which, like the time labels, keeps its place), fed with the peaks of
// the file the window opens and the channel's position.
//
// The window notices a new file where PlayerControl notes it: after the
// Play button and the double-click, and at every refresh tick (for the
// openings that run nested, as in Play and Record).
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "app/Form1.h"
#include "app/PlayerControl.h"
#include "playback/WaveformPeaks.h"
#include "playback/WaveformView.h"
#include "playlist/PlaylistView.h"

namespace lentaro {

namespace {
// The band it takes in Frame2: from under the frame's caption to just
// above the time labels, as wide as Slider1.
constexpr int kTopPx = 14;
constexpr int kBelowSliderPx = 3;
}  // namespace

void Form1::wireWaveform() {
  waveformPeaks_ =
      new playback::WaveformPeaksSource(playback::WaveformPeaksSource::defaultCacheFolder(), this);
  waveform_ = new playback::WaveformView(Slider1, Frame2);
  const QRect s = Slider1->geometry();
  waveform_->setGeometry(s.x(), kTopPx, s.width(), s.bottom() + 1 + kBelowSliderPx - kTopPx);
  waveform_->stackUnder(Slider1);
  waveform_->show();

  connect(waveformPeaks_, &playback::WaveformPeaksSource::peaksChanged, waveform_,
          [this] { waveform_->setPeaks(waveformPeaks_->peaks()); });
  connect(PushButton1, &QPushButton::clicked, this, &Form1::followWaveform);
  connect(ListView1, &playlist::PlaylistView::DblClick, this, [this] { followWaveform(); });
  connect(Timer2, &QTimer::timeout, this, &Form1::followWaveform);
}

void Form1::followWaveform() {
  const QString file = player_->currentFile();
  if (file != waveformPeaks_->path()) waveformPeaks_->request(file);
  // Stopped: no place is playing (Slider1 shows 0 then).
  waveform_->setPosition(
      player_->status() != PlayerControl::Status::Stopped ? player_->positionSeconds() : -1);
}

}  // namespace lentaro
