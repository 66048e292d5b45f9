// Playback > Sound quality: the stretcher the user chose is stored, is the
// one a playing channel switches to at once (it keeps playing from where
// it was), and is the one the next start begins with.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>

#include "DesktopFixture.h"

namespace lentaro::testing {
namespace {

QMenu* soundQualityMenu(QMainWindow* w) {
  return w->findChild<QMenu*>("soundqualityMenu");
}

DWORD engineDefault() {
  return BASS_Lentaro_GetDefaultStretcher();
}

TEST_F(DesktopTest, SoundQualityIsHighUntilChosenAndAChoiceAppliesAtOnceAndIsStored) {
  QMenu* menu = soundQualityMenu(frame());
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->title(), QStringLiteral("Sound quality"));
  const QList<QAction*> entries = menu->actions();
  ASSERT_EQ(entries.size(), 2);
  EXPECT_EQ(entries[0]->text(), QStringLiteral("High"));
  EXPECT_EQ(entries[1]->text(), QStringLiteral("Fast"));
  EXPECT_TRUE(entries[0]->isChecked());
  EXPECT_FALSE(entries[1]->isChecked());
  EXPECT_EQ(engineDefault(), DWORD{BASS_LENTARO_STRETCHER_HIGH});
  // The shortcuts dialog names the entries with their submenu.
  EXPECT_EQ(table().plainText("soundQualityFast"), QStringLiteral("Sound quality: Fast"));

  // Chosen while a stretched file plays: the channel takes it at once and
  // goes on from where it was.
  add("first.mp3");
  f().PushButton1->click();
  for (int i = 0; i < 4; ++i) table().trigger("tempoSlower5");
  ASSERT_FLOAT_EQ(attribute(BASS_ATTRIB_TEMPO), -20.0f);
  render(1.0);
  const double before = position();
  entries[1]->trigger();
  EXPECT_TRUE(entries[1]->isChecked());
  EXPECT_FALSE(entries[0]->isChecked());
  EXPECT_EQ(attribute(BASS_ATTRIB_LENTARO_STRETCHER), float{BASS_LENTARO_STRETCHER_FAST});
  EXPECT_EQ(engineDefault(), DWORD{BASS_LENTARO_STRETCHER_FAST});
  EXPECT_EQ(frame()->statusBar()->currentMessage(), QStringLiteral("Sound quality: Fast"));
  render(1.0);
  EXPECT_NEAR(position() - before, 0.8, 0.05) << "one second at tempo -20";
  EXPECT_EQ(BASS_ChannelIsActive(channel()), DWORD(BASS_ACTIVE_PLAYING));
  EXPECT_EQ(lentaroTestSettings().value("Playback/soundQuality").toString(),
            QStringLiteral("Fast"));

  entries[0]->trigger();
  EXPECT_EQ(attribute(BASS_ATTRIB_LENTARO_STRETCHER), float{BASS_LENTARO_STRETCHER_HIGH});
  EXPECT_EQ(lentaroTestSettings().value("Playback/soundQuality").toString(),
            QStringLiteral("High"));
}

class StoredFast : public DesktopTest {
  void prepareSettings() override {
    lentaroTestSettings().setValue("Playback/soundQuality", "Fast");
  }
};

TEST_F(StoredFast, TheStoredChoiceIsTheOneTheWindowStartsWith) {
  QMenu* menu = soundQualityMenu(frame());
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->actions().value(1)->isChecked());
  EXPECT_EQ(engineDefault(), DWORD{BASS_LENTARO_STRETCHER_FAST});
  add("first.mp3");
  f().PushButton1->click();
  EXPECT_EQ(attribute(BASS_ATTRIB_LENTARO_STRETCHER), float{BASS_LENTARO_STRETCHER_FAST});
}

class StoredNonsense : public DesktopTest {
  void prepareSettings() override {
    lentaroTestSettings().setValue("Playback/soundQuality", "Ultra");
  }
};

TEST_F(StoredNonsense, AnUnknownStoredValueReadsAsHigh) {
  EXPECT_TRUE(soundQualityMenu(frame())->actions().value(0)->isChecked());
  EXPECT_EQ(engineDefault(), DWORD{BASS_LENTARO_STRETCHER_HIGH});
}

}  // namespace
}  // namespace lentaro::testing
