// The main window's pointer setting. One number decides the pointer over the
// window and over every control that shows no pointer of its own:
//   0   the ordinary pointer
//   1   the standard arrow
//   11  the wait pointer; while the setting is 11 the whole window is busy
//       (a folder scan runs) and the hover rules leave it alone
//   99  the custom picture (the hand), or the ordinary pointer without one
//
// Thread: user-interface thread only.
#pragma once

#include <QCursor>
#include <QPointer>
#include <QWidget>
#include <optional>

namespace lentaro {

class MainPointer {
 public:
  static constexpr int kDefault = 0;
  static constexpr int kArrow = 1;
  static constexpr int kWait = 11;
  static constexpr int kCustom = 99;

  // The pointer shows on `window` (and its children without a pointer of
  // their own). The window may be set later; the setting is kept meanwhile.
  explicit MainPointer(QWidget* window = nullptr);

  void setWindow(QWidget* window);

  int MousePointer() const { return value_; }
  // Any of the four values; another value counts as 0.
  void setMousePointer(int value);

  // The busy state that the playlist's moves and removals read.
  bool busy() const { return value_ == kWait; }

  // The hover rule of every handled control: nothing changes while busy,
  // otherwise the setting becomes `value`.
  void hover(int value);

  void setCustomCursor(const QCursor& cursor);
  bool hasCustomCursor() const { return custom_.has_value(); }

  // The Qt cursor that the current setting shows.
  QCursor shape() const;

 private:
  void apply();

  QPointer<QWidget> window_;
  int value_ = kDefault;
  std::optional<QCursor> custom_;
};

}  // namespace lentaro
