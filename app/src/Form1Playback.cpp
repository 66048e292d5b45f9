// Wires the playback subsystem into the main window: creates its objects
// (QObject children of the window) and connects the controls it serves.
#include "app/Form1.h"
#include "playback/Playback.h"
#include "playback/PlaybackWiring.h"

namespace lentaro {

void Form1::wirePlayback() {
  playback::PlaybackWidgets widgets;
  widgets.PushButton1 = PushButton1;
  widgets.PushButton7 = PushButton7;
  widgets.Frame1 = Frame1;
  widgets.Frame3 = Frame3;
  widgets.sldTempo[0] = sldTempo[0];
  widgets.sldTempo[1] = sldTempo[1];
  widgets.sldVolume = sldVolume;
  widgets.Slider1 = Slider1;
  widgets.Label2 = Label2;
  widgets.Label3 = Label3;
  widgets.Timer2 = Timer2;
  widgets.ListView1 = ListView1;
  playback_ = new playback::Playback(ui(), widgets, this);
  playback::connectPlayback(*playback_);
  setPlayRestart = [p = playback_] { p->state().PlayRestart = true; };
}

}  // namespace lentaro
