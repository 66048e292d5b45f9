#include "playback/PlaybackWiring.h"

#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "SliderEvents.h"
#include "playback/Playback.h"
#include "playlist/PlaylistView.h"

namespace lentaro::playback {

void connectPlayback(Playback& p) {
  const PlaybackWidgets& w = p.widgets();
  QObject::connect(w.PushButton1, &QPushButton::clicked, &p, [&p] { p.PushButton1_Click(); });
  QObject::connect(w.ListView1, &playlist::PlaylistView::DblClick, &p,
                   [&p](int) { p.ListView1_DblClick(); });
  for (int index = 0; index < 2; ++index) {
    auto* scroll = new SliderScroll(w.sldTempo[index]);
    QObject::connect(scroll, &SliderScroll::Scroll, &p, [&p, index] { p.sldTempo_Scroll(index); });
  }
  auto* volume = new SliderScroll(w.sldVolume);
  QObject::connect(volume, &SliderScroll::Scroll, &p, [&p] { p.sldVolume_Scroll(); });

  auto* mouse = new SliderMouse(w.Slider1);
  QObject::connect(mouse, &SliderMouse::MouseDown, &p, [&p] { p.Slider1_MouseDown(); });
  QObject::connect(mouse, &SliderMouse::MouseUp, &p, [&p] { p.Slider1_MouseUp(); });
  QObject::connect(w.Timer2, &QTimer::timeout, &p, [&p] { p.Timer2_Timer(); });
}

}  // namespace lentaro::playback
