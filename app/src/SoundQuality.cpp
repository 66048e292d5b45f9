#include "SoundQuality.h"

#include <QAction>
#include <QActionGroup>

#include "UserSettings.h"
#include "app/ActionTable.h"
#include "lentaro/bass.h"

namespace lentaro {

namespace {
const QString kHigh = QStringLiteral("High");
const QString kFast = QStringLiteral("Fast");

void apply(SoundQuality quality) {
  BASS_Lentaro_SetDefaultStretcher(quality == SoundQuality::Fast ? BASS_LENTARO_STRETCHER_FAST
                                                                 : BASS_LENTARO_STRETCHER_HIGH);
}
}  // namespace

SoundQuality SoundQualitySetting::stored() {
  const QString v = lentaroSettings().value(QLatin1String(kSettingsKey)).toString();
  return v == kFast ? SoundQuality::Fast : SoundQuality::High;
}

void SoundQualitySetting::choose(SoundQuality quality) {
  lentaroSettings().setValue(QLatin1String(kSettingsKey), name(quality));
  apply(quality);
}

void SoundQualitySetting::applyStored() {
  apply(stored());
}

QString SoundQualitySetting::name(SoundQuality quality) {
  return quality == SoundQuality::Fast ? kFast : kHigh;
}

void SoundQualitySetting::addCommands(ActionTable& table, const QString& menu,
                                      const std::function<void(const QString&)>& told) {
  auto* group = new QActionGroup(&table);
  group->setExclusive(true);
  const SoundQuality current = stored();
  bool first = true;
  for (const SoundQuality q : {SoundQuality::High, SoundQuality::Fast}) {
    // Triggered (a click, a key), the entry is checked before it runs.
    QAction* a = table.add({QStringLiteral("soundQuality") + name(q),
                            menu,
                            name(q),
                            {},
                            first,
                            false,
                            [q, told] {
                              choose(q);
                              told(QStringLiteral("Sound quality: ") + name(q));
                            },
                            QStringLiteral("Sound quality")});
    a->setCheckable(true);
    a->setChecked(q == current);
    group->addAction(a);
    first = false;
  }
}

}  // namespace lentaro
