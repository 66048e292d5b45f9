// "Practice...": the speed trainer and the count-in of the current file,
// non-modal. Every change is reported at once (changed()), so the channel
// follows while the dialog stays open.
//
// Owned by its parent window. Thread: user-interface thread only.
#pragma once

#include <QDialog>

#include "playback/PracticeMemory.h"

class QCheckBox;
class QDoubleSpinBox;
class QGroupBox;
class QSpinBox;

namespace lentaro {

class PracticeDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PracticeDialog(QWidget* parent);

  // Shows these values without reporting a change.
  void setValues(const playback::TrainerSettings& trainer,
                 const playback::CountInSettings& countIn);
  playback::TrainerSettings trainer() const;
  playback::CountInSettings countIn() const;

  QGroupBox* trainerBox() const { return trainerBox_; }
  QGroupBox* countInBox() const { return countInBox_; }

 Q_SIGNALS:
  void changed();

 private:
  void report();

  QGroupBox* trainerBox_ = nullptr;
  QSpinBox* start_ = nullptr;
  QSpinBox* step_ = nullptr;
  QSpinBox* passes_ = nullptr;
  QSpinBox* target_ = nullptr;
  QGroupBox* countInBox_ = nullptr;
  QSpinBox* clicks_ = nullptr;
  QSpinBox* beats_ = nullptr;
  QDoubleSpinBox* bpm_ = nullptr;
  QCheckBox* record_ = nullptr;
  bool quiet_ = false;
};

}  // namespace lentaro
