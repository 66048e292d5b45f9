// The text a slider shows beside its thumb while the thumb is dragged.
//
// The handlers set the text; the tip appears when the thumb is pressed,
// follows it as it moves and disappears on release. An empty text shows
// nothing. The tip is a child of its slider and lives as long as it.
// Thread: user-interface thread only.
#pragma once

#include <QObject>
#include <QRect>
#include <QString>

class QSlider;

namespace lentaro::playback {

class ThumbTip : public QObject {
  Q_OBJECT

 public:
  explicit ThumbTip(QSlider* slider);

  void setText(const QString& text);
  const QString& text() const { return text_; }

  // The tip attached to a slider, or null.
  static ThumbTip* of(const QSlider* slider);
  // Its text, or an empty text when the slider has none.
  static QString textOf(const QSlider* slider);

  // The slider's handle, in the slider's coordinates.
  static QRect handleRect(const QSlider* slider);

 private:
  void show();
  void hide();

  QSlider* slider_;
  QString text_;
};

}  // namespace lentaro::playback
