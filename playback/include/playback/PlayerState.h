// The main window's playback state: the one channel and the flag that
// decides whether the next "Play" opens the selected file afresh.
//
// Owned by the main window through its Playback object; the Play button,
// the double-click and Play and Record read and write it.
// Thread: user-interface thread only.
#pragma once

#include <lentaro/bass.h>

namespace lentaro::playback {

struct PlayerState {
  // The looping tempo channel, or 0 when there is none. Stopping keeps it;
  // only the next opening (or the engine's shutdown) frees it.
  HSTREAM CurrentChannel = 0;
  // True: the next "Play" opens the selected file; false: it continues
  // CurrentChannel where it stands.
  bool PlayRestart = true;
};

}  // namespace lentaro::playback
