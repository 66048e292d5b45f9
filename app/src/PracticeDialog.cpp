#include "PracticeDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QSpinBox>
#include <QVBoxLayout>

namespace lentaro {

namespace {
QSpinBox* spin(int min, int max, const QString& suffix = {}) {
  auto* s = new QSpinBox;
  s->setRange(min, max);
  s->setSuffix(suffix);
  return s;
}
}  // namespace

PracticeDialog::PracticeDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("practiceDialog"));
  setWindowTitle(QStringLiteral("Practice"));
  setModal(false);

  trainerBox_ = new QGroupBox(QStringLiteral("Speed trainer"));
  trainerBox_->setCheckable(true);
  // The tempo slider's range.
  start_ = spin(-200, 200, QStringLiteral(" %"));
  step_ = spin(1, 50, QStringLiteral(" %"));
  passes_ = spin(1, 99);
  target_ = spin(-200, 200, QStringLiteral(" %"));
  auto* tf = new QFormLayout(trainerBox_);
  tf->addRow(QStringLiteral("Start tempo:"), start_);
  tf->addRow(QStringLiteral("Step:"), step_);
  tf->addRow(QStringLiteral("Passes per step:"), passes_);
  tf->addRow(QStringLiteral("Target tempo:"), target_);

  countInBox_ = new QGroupBox(QStringLiteral("Count-in"));
  countInBox_->setCheckable(true);
  clicks_ = spin(1, 16);
  beats_ = spin(1, 64);
  bpm_ = new QDoubleSpinBox;
  bpm_->setRange(0, 400);
  bpm_->setDecimals(1);
  bpm_->setSpecialValueText(QStringLiteral("from the loop"));
  record_ = new QCheckBox(QStringLiteral("Include in recording"));
  auto* cf = new QFormLayout(countInBox_);
  cf->addRow(QStringLiteral("Clicks:"), clicks_);
  cf->addRow(QStringLiteral("Beats per loop:"), beats_);
  cf->addRow(QStringLiteral("BPM:"), bpm_);
  cf->addRow(record_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(trainerBox_);
  layout->addWidget(countInBox_);
  layout->addWidget(buttons);

  // The target never lies below the start: the engine refuses that.
  connect(start_, &QSpinBox::valueChanged, this, [this](int v) {
    if (target_->value() < v) target_->setValue(v);
  });
  connect(target_, &QSpinBox::valueChanged, this, [this](int v) {
    if (start_->value() > v) start_->setValue(v);
  });
  for (QSpinBox* s : {start_, step_, passes_, target_, clicks_, beats_})
    connect(s, &QSpinBox::valueChanged, this, &PracticeDialog::report);
  connect(bpm_, &QDoubleSpinBox::valueChanged, this, &PracticeDialog::report);
  connect(record_, &QCheckBox::toggled, this, &PracticeDialog::report);
  connect(trainerBox_, &QGroupBox::toggled, this, &PracticeDialog::report);
  connect(countInBox_, &QGroupBox::toggled, this, &PracticeDialog::report);
}

void PracticeDialog::setValues(const playback::TrainerSettings& trainer,
                               const playback::CountInSettings& countIn) {
  quiet_ = true;
  trainerBox_->setChecked(trainer.enabled);
  start_->setValue(trainer.startTempo);
  target_->setValue(trainer.targetTempo);
  start_->setValue(trainer.startTempo);
  step_->setValue(trainer.step);
  passes_->setValue(trainer.passesPerStep);
  countInBox_->setChecked(countIn.enabled);
  clicks_->setValue(countIn.clicks);
  beats_->setValue(countIn.beatsPerLoop);
  bpm_->setValue(countIn.bpm);
  record_->setChecked(countIn.intoRecording);
  quiet_ = false;
}

playback::TrainerSettings PracticeDialog::trainer() const {
  return {trainerBox_->isChecked(), start_->value(), step_->value(), passes_->value(),
          target_->value()};
}

playback::CountInSettings PracticeDialog::countIn() const {
  return {countInBox_->isChecked(), clicks_->value(), beats_->value(), bpm_->value(),
          record_->isChecked()};
}

void PracticeDialog::report() {
  if (!quiet_) Q_EMIT changed();
}

}  // namespace lentaro
