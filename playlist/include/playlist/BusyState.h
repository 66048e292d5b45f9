// The main window's pointer setting as the playlist commands see it: they
// raise the wait pointer for a folder scan and refuse moves and removals
// while it shows. The window adapts its own pointer to this.
//
// Thread: user-interface thread only.
#pragma once

namespace lentaro::playlist {

class BusyState {
 public:
  static constexpr int kDefault = 0;
  static constexpr int kWait = 11;

  virtual ~BusyState() = default;
  virtual int MousePointer() const = 0;
  virtual void setMousePointer(int value) = 0;

  bool busy() const { return MousePointer() == kWait; }
};

}  // namespace lentaro::playlist
