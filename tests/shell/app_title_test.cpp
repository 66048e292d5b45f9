#include <gtest/gtest.h>

#include "shell/AppTitle.h"

namespace lentaro {
namespace {

TEST(AppTitle, CutsAtTheLastSpaceAtLeastOnceThenWhileTooLong) {
  // Five words, 39 characters: the last word goes although it would fit.
  const QString fiveWords = QStringLiteral("Lentaro Tempo Pitch Player Professional");
  ASSERT_EQ(fiveWords.size(), 39);
  EXPECT_EQ(appTitleFor(fiveWords), QStringLiteral("Lentaro Tempo Pitch Player"));

  // One word: nothing to cut.
  EXPECT_EQ(appTitleFor(QStringLiteral("Lentaro")), QStringLiteral("Lentaro"));

  // 50 characters: words go from the end until 40 or fewer are left.
  const QString fifty = QStringLiteral("Orvessa Lentaro Tempo And Pitch Player Deluxe 2017");
  ASSERT_EQ(fifty.size(), 50);
  const QString cut = appTitleFor(fifty);
  EXPECT_EQ(cut, QStringLiteral("Orvessa Lentaro Tempo And Pitch Player"));
  EXPECT_LE(cut.size(), 40);

  // A 45-character run without a space cannot be cut; it is kept whole.
  const QString longWord(45, QLatin1Char('x'));
  EXPECT_EQ(appTitleFor(QStringLiteral("A ") + longWord), QStringLiteral("A"));
  EXPECT_EQ(appTitleFor(longWord + QStringLiteral(" B")), longWord);

  EXPECT_EQ(appTitleFor(QString()), QString());
}

TEST(AppTitle, SetAppTitleSetsWhatMessageBoxesUse) {
  SetAppTitle(QStringLiteral("Some Other Product"));
  EXPECT_EQ(AppTitle(), QStringLiteral("Some Other"));
  SetAppTitle();
  EXPECT_EQ(AppTitle(), QStringLiteral("Lentaro"));
}

}  // namespace
}  // namespace lentaro
