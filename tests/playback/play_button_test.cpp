// The Play button's states, the double-click, and what a failed opening
// leaves behind.
#include <QTest>

#include "PlaybackFixture.h"
#include "shell/AppTitle.h"
#include "shell/AudioError.h"

namespace lentaro::playback::testing {
namespace {

using ::lentaro::MsgButtons;
using ::lentaro::MsgIcon;

bool alive(DWORD handle) {
  return BASS_ChannelGetLength(handle, BASS_POS_BYTE) != QWORD(-1);
}

TEST_F(PlaybackTest, EmptyListGivesTheMessageWhateverTheCaption) {
  for (const char* c : {"Play", "Pause", "Stop"}) {
    w.PushButton1->setText(QString::fromLatin1(c));
    const bool restart = st().PlayRestart;
    pb->PushButton1_Click();
    ASSERT_FALSE(shown().empty());
    EXPECT_EQ(shown().back().text, "Add song first.");
    EXPECT_EQ(shown().back().title, AppTitle());
    EXPECT_EQ(shown().back().buttons, MsgButtons::Ok);
    EXPECT_EQ(shown().back().icon, MsgIcon::None);
    EXPECT_EQ(caption(), c);
    EXPECT_EQ(st().PlayRestart, restart);
  }
  EXPECT_EQ(shown().size(), 3u);
  EXPECT_EQ(channel(), 0u);
  // A double-click on the empty list does nothing at all.
  pb->ListView1_DblClick();
  EXPECT_EQ(shown().size(), 3u);
  EXPECT_EQ(caption(), "Stop");
}

TEST_F(PlaybackTest, ButtonRowsPlayStopPlayAgainFromTheStart) {
  REQUIRE_ENGINE();
  add("tone440.mp3");
  // "Play", flag True: open and play.
  pb->PushButton1_Click();
  EXPECT_EQ(caption(), "Stop");
  EXPECT_FALSE(st().PlayRestart);
  const DWORD first = channel();
  ASSERT_NE(first, 0u);
  EXPECT_EQ(BASS_ChannelIsActive(first), DWORD(BASS_ACTIVE_PLAYING));
  render(1.0);
  pb->Timer2_Timer();
  EXPECT_EQ(w.Label3->text(), "Time: 00:01");

  // "Stop": stopped, kept, display reset.
  w.PushButton7->setText(QStringLiteral("Stop"));
  pb->PushButton1_Click();
  EXPECT_EQ(caption(), "Play");
  EXPECT_EQ(w.PushButton7->text(), "Play and Record");
  EXPECT_EQ(w.Label3->text(), "Time: ");
  EXPECT_EQ(w.Label2->text(), "Total Time: ");
  EXPECT_EQ(w.Slider1->value(), 0);
  EXPECT_TRUE(st().PlayRestart);
  EXPECT_EQ(channel(), first);
  EXPECT_EQ(BASS_ChannelIsActive(first), DWORD(BASS_ACTIVE_STOPPED));
  EXPECT_TRUE(alive(first));
  // Ticks while stopped change nothing.
  pb->Timer2_Timer();
  EXPECT_EQ(w.Label3->text(), "Time: ");

  // "Play" again: the old channel is freed, the file starts over.
  pb->PushButton1_Click();
  EXPECT_EQ(caption(), "Stop");
  EXPECT_NE(channel(), first);
  EXPECT_FALSE(alive(first));
  EXPECT_LT(position(), 0.05);
  EXPECT_TRUE(shown().empty());
}

TEST_F(PlaybackTest, PauseThenPlayContinuesAtTheSamePlace) {
  REQUIRE_ENGINE();
  add("tone440.mp3");
  pb->ListView1_DblClick();
  EXPECT_EQ(caption(), "Pause");
  EXPECT_TRUE(st().PlayRestart);  // the double-click leaves it
  render(1.2);

  pb->PushButton1_Click();  // "Pause"
  EXPECT_EQ(caption(), "Play");
  EXPECT_FALSE(st().PlayRestart);
  EXPECT_EQ(BASS_ChannelIsActive(channel()), DWORD(BASS_ACTIVE_PAUSED));
  const double at = position();
  EXPECT_NEAR(at, 1.2, 0.1);
  render(1.0);
  EXPECT_DOUBLE_EQ(position(), at);
  pb->Timer2_Timer();  // paused counts as active: rewritten, unchanged
  EXPECT_EQ(w.Label3->text(), "Time: 00:01");
  const DWORD ch = channel();

  pb->PushButton1_Click();  // "Play", flag False: continue
  EXPECT_EQ(caption(), "Stop");
  EXPECT_FALSE(st().PlayRestart);
  EXPECT_EQ(channel(), ch);
  EXPECT_NEAR(position(), at, 0.02);
  render(0.5);
  EXPECT_NEAR(position(), at + 0.5, 0.05);
}

TEST_F(PlaybackTest, DoubleClickFromEveryStatePlaysTheSelectedRow) {
  REQUIRE_ENGINE();
  add("tone440.mp3");
  add("tone660.mp3");

  // From "Play" with the flag True.
  pb->ListView1_DblClick();
  EXPECT_EQ(caption(), "Pause");
  EXPECT_TRUE(st().PlayRestart);
  DWORD previous = channel();

  // From "Pause" (a double-click start), another row: the first is freed.
  select(2);
  pb->ListView1_DblClick();
  EXPECT_EQ(caption(), "Pause");
  EXPECT_FALSE(alive(previous));
  EXPECT_EQ(BASS_ChannelIsActive(channel()), DWORD(BASS_ACTIVE_PLAYING));
  render(0.5);
  EXPECT_NEAR(frequency(render(0.5)), 660, 5);

  // From "Play" with the flag False (paused).
  pb->PushButton1_Click();
  ASSERT_EQ(caption(), "Play");
  ASSERT_FALSE(st().PlayRestart);
  previous = channel();
  select(1);
  pb->ListView1_DblClick();
  EXPECT_EQ(caption(), "Pause");
  EXPECT_FALSE(st().PlayRestart);
  EXPECT_FALSE(alive(previous));
  EXPECT_NEAR(position(), 0.0, 0.05);

  // From "Stop" (a start by the button, flag False).
  pb->PushButton1_Click();  // pause
  pb->PushButton1_Click();  // continue: "Stop"
  ASSERT_EQ(caption(), "Stop");
  pb->ListView1_DblClick();
  EXPECT_EQ(caption(), "Pause");
  EXPECT_FALSE(st().PlayRestart);

  // From "Play" after a stop (flag True): the flag stays True.
  pb->PushButton1_Click();  // pause: flag False
  pb->PushButton1_Click();  // continue: "Stop"
  pb->PushButton1_Click();  // stop: "Play", flag True
  ASSERT_TRUE(st().PlayRestart);
  pb->ListView1_DblClick();
  EXPECT_EQ(caption(), "Pause");
  EXPECT_TRUE(st().PlayRestart);
  EXPECT_TRUE(shown().empty());
}

TEST_F(PlaybackTest, TextFileNamedMp3IsRefusedWithTheEngineCode) {
  REQUIRE_ENGINE();
  add("notes.mp3");
  pb->PushButton1_Click();
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].text,
            audioErrorText(QStringLiteral("Selected file couldn't be loaded!"), BASS_ERROR_FORMAT));
  EXPECT_EQ(shown()[0].title, "Error");
  EXPECT_EQ(shown()[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(caption(), "Play");
  EXPECT_EQ(channel(), 0u);

  // A file that went missing after it was added: the "file open" code.
  pb->ListView1_DblClick();
  list->Add(data("gone.mp3"));
  select(2);
  pb->ListView1_DblClick();
  ASSERT_EQ(shown().size(), 3u);
  EXPECT_EQ(shown()[2].text, audioErrorText(QStringLiteral("Selected file couldn't be loaded!"),
                                            BASS_ERROR_FILEOPEN));
  EXPECT_EQ(caption(), "Play");  // a failed double-click leaves the caption
}

TEST_F(PlaybackTest, FailedOpeningByTheButtonContinuesAnEmptyChannelThenRecovers) {
  REQUIRE_ENGINE();
  add("notes.mp3");
  add("tone440.mp3");
  // A good file plays first, so the failed opening must free it.
  select(2);
  pb->PushButton1_Click();
  pb->PushButton1_Click();  // stop
  const DWORD good = channel();
  select(1);
  pb->PushButton1_Click();  // fails
  EXPECT_EQ(shown().size(), 1u);
  EXPECT_EQ(caption(), "Play");
  EXPECT_FALSE(st().PlayRestart);
  EXPECT_EQ(channel(), 0u);
  EXPECT_FALSE(alive(good));

  pb->PushButton1_Click();  // continues channel 0: silence, "Stop"
  EXPECT_EQ(shown().size(), 1u);
  EXPECT_EQ(caption(), "Stop");
  EXPECT_EQ(peak(render(0.2)), 0);

  pb->PushButton1_Click();  // stop: the flag is set again
  EXPECT_EQ(caption(), "Play");
  EXPECT_TRUE(st().PlayRestart);

  select(2);
  pb->PushButton1_Click();  // opens anew
  EXPECT_EQ(shown().size(), 1u);
  EXPECT_EQ(caption(), "Stop");
  EXPECT_NE(channel(), 0u);
}

TEST_F(PlaybackTest, ClearingTheListLeavesTheSoundPlaying) {
  REQUIRE_ENGINE();
  add("tone440.mp3");
  pb->PushButton1_Click();
  render(0.5);
  list->Clear();
  EXPECT_EQ(BASS_ChannelIsActive(channel()), DWORD(BASS_ACTIVE_PLAYING));
  EXPECT_GT(peak(render(0.5)), 1000);
  pb->PushButton1_Click();
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].text, "Add song first.");
  EXPECT_EQ(caption(), "Stop");
  EXPECT_EQ(BASS_ChannelIsActive(channel()), DWORD(BASS_ACTIVE_PLAYING));
  EXPECT_NEAR(position(), 1.0, 0.1);
}

TEST_F(PlaybackTest, PlayingPastTheEndComesRoundToTheStart) {
  REQUIRE_ENGINE();
  add("tone660.mp3");  // 4 s
  pb->PushButton1_Click();
  render(4.3);
  pb->Timer2_Timer();
  EXPECT_EQ(w.Label3->text(), "Time: 00:00");
  EXPECT_EQ(w.Label2->text(), "Total Time: 00:04");
  EXPECT_NEAR(position(), 0.3, 0.1);
  EXPECT_EQ(caption(), "Stop");
  ASSERT_TRUE(list->SelectedItem().has_value());
  EXPECT_EQ(list->SelectedItem()->Index, 1);
  EXPECT_GT(peak(render(0.2)), 1000);
}

}  // namespace
}  // namespace lentaro::playback::testing
