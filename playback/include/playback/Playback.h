// Play, Pause and Stop, the double-click on the playlist, tempo, pitch and
// volume, and the position display of the main window.
//
// The state of the Play button is its caption ("Play", "Pause", "Stop");
// the channel and the restart flag live in PlayerState. Play and Record
// shares the opening of the selected file and the volume handler.
//
// The widgets belong to the main window; this object only drives them and
// must not outlive them (make it a child of the window).
// Thread: user-interface thread only. The engine plays on its own threads
// and shares nothing with this object beyond the channel handle.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

#include "playback/PlayerState.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class QTimer;

namespace lentaro {
class ErrorTrap;
class UiHost;
namespace playlist {
class PlaylistView;
}
}  // namespace lentaro

namespace lentaro::playback {

// The controls of the main window that playback reads and writes.
struct PlaybackWidgets {
  QPushButton* PushButton1 = nullptr;         // Play / Pause / Stop
  QPushButton* PushButton7 = nullptr;         // Play and Record (caption reset by Stop)
  QGroupBox* Frame1 = nullptr;                // pitch frame
  QGroupBox* Frame3 = nullptr;                // tempo frame
  QSlider* sldTempo[2] = {nullptr, nullptr};  // 0 tempo, 1 pitch
  QSlider* sldVolume = nullptr;
  QSlider* Slider1 = nullptr;  // position in whole seconds
  QLabel* Label2 = nullptr;    // total time
  QLabel* Label3 = nullptr;    // elapsed time
  QTimer* Timer2 = nullptr;    // 100 ms position refresh
  playlist::PlaylistView* ListView1 = nullptr;
};

// "nn:ss": minutes within the hour and seconds, two digits each.
// Negative input counts as 0.
QString FormatMinSec(std::int64_t seconds);

// Whole seconds of an engine time, the nearest whole number with a half
// going to the even neighbour. NaN and negative times give 0.
std::int64_t WholeSeconds(double seconds);

class Playback : public QObject {
  Q_OBJECT

 public:
  Playback(UiHost& ui, const PlaybackWidgets& widgets, QObject* parent = nullptr);
  ~Playback() override;

  PlayerState& state() { return state_; }
  const PlayerState& state() const { return state_; }
  const PlaybackWidgets& widgets() const { return w_; }

  // Click of PushButton1, under its own error trap ("Form1.PushButton1_Click").
  void PushButton1_Click();
  // Double-click on the playlist: opens and plays the selected row; the
  // caption becomes "Pause", PlayRestart is left as it is.
  void ListView1_DblClick();

  // Frees CurrentChannel and opens the selected row as a looping tempo
  // channel. Its statements run under `trap`, numbered 136..158 plus
  // lineOffset (Play and Record passes 8). On failure the audio error
  // report has been shown, CurrentChannel is 0 and the result is false.
  bool OpenSelectedFile(ErrorTrap& trap, int lineOffset);

  // Scroll of sldTempo[index]: 0 tempo, 1 pitch, anything else is ignored.
  // Applied only while CurrentChannel is active (playing, stalled, paused).
  void sldTempo_Scroll(int index);
  // Scroll of sldVolume; also run right after a new channel is made.
  void sldVolume_Scroll();

  // Tick of Timer2: the position display while a channel is active.
  void Timer2_Timer();
  // Any mouse button pressed on Slider1: the refresh stops while it is held.
  void Slider1_MouseDown();
  // Released: seek to the second the slider shows, then refresh again.
  void Slider1_MouseUp();

  // Refresh interval of Timer2.
  static constexpr int kRefreshMs = 100;

 private:
  UiHost& ui_;
  PlaybackWidgets w_;
  PlayerState state_;
};

}  // namespace lentaro::playback
