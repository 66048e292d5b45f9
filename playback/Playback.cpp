#include "playback/Playback.h"

#include <cmath>

namespace lentaro::playback {

QString FormatMinSec(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const int minutes = static_cast<int>((seconds / 60) % 60);
  const int secs = static_cast<int>(seconds % 60);
  return QStringLiteral("%1:%2")
      .arg(minutes, 2, 10, QLatin1Char('0'))
      .arg(secs, 2, 10, QLatin1Char('0'));
}

std::int64_t WholeSeconds(double seconds) {
  if (!(seconds > 0)) return 0;
  return static_cast<std::int64_t>(std::nearbyint(seconds));
}

Playback::Playback(UiHost& ui, const PlaybackWidgets& widgets, QObject* parent)
    : QObject(parent), ui_(ui), w_(widgets) {}

Playback::~Playback() = default;

void Playback::PushButton1_Click() {}
void Playback::ListView1_DblClick() {}
bool Playback::OpenSelectedFile(ErrorTrap&, int) {
  return false;
}
void Playback::sldTempo_Scroll(int) {}
void Playback::sldVolume_Scroll() {}
void Playback::Timer2_Timer() {}
void Playback::Slider1_MouseDown() {}
void Playback::Slider1_MouseUp() {}

}  // namespace lentaro::playback
