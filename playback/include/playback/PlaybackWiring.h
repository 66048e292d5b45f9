// Connects the main window's controls to a Playback object: the Play
// button, the list's double-click, the three sliders' scroll events, the
// position slider's mouse button and the position timer.
//
// Thread: user-interface thread only.
#pragma once

namespace lentaro::playback {

class Playback;

// Call once, after the widgets exist. The sliders' scroll handlers run only
// on the user's changes, never on the program's own setValue.
void connectPlayback(Playback& playback);

}  // namespace lentaro::playback
