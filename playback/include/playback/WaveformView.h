// The waveform overview of the "Position" frame: the whole current file's
// peak envelope, drawn behind the position slider (a sibling under it in
// the same frame; the slider and the time labels stay where they are), in
// the window's palette: what has played in the highlight colour, the rest
// paler, a line at the playing position. It has room for a loop range (a
// shaded band) and markers (thin lines), which the loop feature sets.
//
// The envelope's columns lie where the slider's thumb would stand for
// those places (on the slider's scale of whole seconds, once it has the
// file's length), so a peak sits under the thumb when it plays and a click
// reaches what lies under the pointer. It is drawn to the file's loudest
// peak, so that a quiet file still shows its shape around the groove.
//
// The mouse: every button press, move, release and double-click on the
// overview goes to the slider as if it had been made on the slider at the
// same horizontal place, so the slider's own handlers run: a click on the
// overview does what a click on the slider's track does, a drag from the
// thumb's place drags the thumb, and the seek happens at the release.
//
// Owned by its parent (the frame). Thread: user-interface thread only.
#pragma once

#include <QVector>
#include <QWidget>
#include <optional>
#include <utility>

#include "playback/WaveformPeaks.h"

class QSlider;

namespace lentaro::playback {

class WaveformView : public QWidget {
  Q_OBJECT

 public:
  // slider: the position slider, a child of `parent`.
  WaveformView(QSlider* slider, QWidget* parent);

  void setPeaks(const WaveformPeaks& peaks);
  // The playing place in seconds of the file; below 0: none.
  void setPosition(double seconds);
  // A loop range in seconds of the file (start < end), or none.
  void setLoopRange(std::optional<std::pair<double, double>> seconds);
  // Marker places in seconds of the file.
  void setMarkers(QVector<double> seconds);

  const WaveformPeaks& peaks() const { return peaks_; }
  double position() const { return position_; }
  const std::optional<std::pair<double, double>>& loopRange() const { return loop_; }
  const QVector<double>& markers() const { return markers_; }

  // Where `seconds` of the file is drawn (this widget's x), or where the
  // first and last columns are.
  double xOf(double seconds) const;
  // The horizontal extent of the envelope in this widget.
  std::pair<double, double> span() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void forward(QMouseEvent* event);
  // Seconds of the file that the envelope's width stands for.
  double timeScale() const;

  // Peaks below this are drawn at their size, louder files to full height.
  static constexpr double kQuietest = 0.05;

  QSlider* slider_;
  WaveformPeaks peaks_;
  double gain_ = 1;  // drawing scale of the peaks
  double position_ = -1;
  std::optional<std::pair<double, double>> loop_;
  QVector<double> markers_;
};

}  // namespace lentaro::playback
