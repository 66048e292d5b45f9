// The loop range and the markers drawn over the position slider: a
// translucent band between the loop's ends (or a line at a loop start still
// waiting for its end) and a thin tick at each marker.
//
// A sibling laid exactly over Slider1 in the "Position" frame, transparent
// to the mouse, so the slider keeps its geometry, its look underneath and
// every behaviour; only the drawing is added. Places are in seconds of the
// file on the slider's own scale (whole seconds up to its maximum), mapped
// the way the style places the thumb's centre.
//
// Owned by its parent (the frame). Thread: user-interface thread only.
#pragma once

#include <QVector>
#include <QWidget>
#include <optional>
#include <utility>

class QSlider;

namespace lentaro {

class LoopBand : public QWidget {
  Q_OBJECT

 public:
  LoopBand(QSlider* slider, QWidget* parent);

  void setRange(std::optional<std::pair<double, double>> seconds,
                std::optional<double> pendingStart);
  void setMarkers(QVector<double> seconds);

  // The x (in the slider's and this widget's coordinates) where the
  // thumb's centre stands for `seconds`, and back.
  double xOf(double seconds) const;
  double secondsAt(double x) const;

  // The band's fill, for whoever checks what was drawn.
  static QColor bandColour();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::pair<double, double> span() const;  // x of 0 and of the maximum

  QSlider* slider_;
  std::optional<std::pair<double, double>> range_;
  std::optional<double> pending_;
  QVector<double> markers_;
};

}  // namespace lentaro
