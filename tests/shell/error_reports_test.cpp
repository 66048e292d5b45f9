#include <gtest/gtest.h>

#include <stdexcept>

#include "ScriptedUiHost.h"
#include "shell/AudioError.h"
#include "shell/ErrorTrap.h"
#include "shell/QtUiHost.h"

namespace lentaro {
namespace {

using testing::ScriptedUiHost;

const QString kSupportLine = QStringLiteral("Please email screenshot of this message to ") +
                             QString::fromLatin1(kSupportEmail);

TEST(ApplicationErrorReport, TextTitleIconAndButtonsAreExact) {
  ScriptedUiHost ui;
  ErrorTrap t(ui, QStringLiteral("Form1.PushButton7_Click"));
  t.run(112, [] { throw Failure("Permission denied"); });

  ASSERT_EQ(ui.messages.size(), 1u);
  const auto& shown = ui.messages[0];
  EXPECT_EQ(shown.text, QStringLiteral("Permission denied\r\n"
                                       "in Lentaro2017/04/05.Form1.PushButton7_Click at line 112"
                                       "\r\r") +
                            kSupportLine);
  EXPECT_EQ(shown.title, QStringLiteral("Application Error"));
  EXPECT_EQ(shown.icon, MsgIcon::Exclamation);
  EXPECT_EQ(shown.buttons, MsgButtons::Ok);
  EXPECT_TRUE(kSupportLine.contains(QLatin1Char('@')));
}

TEST(ApplicationErrorReport, ResumesAfterEachFailureAndReportsEveryOne) {
  ScriptedUiHost ui;
  ErrorTrap t(ui, QStringLiteral("Form1.PushButton9_Click"));
  std::vector<int> ran;
  EXPECT_FALSE(t.run(100, [] { throw std::runtime_error("first"); }));
  EXPECT_TRUE(t.run(102, [&] { ran.push_back(102); }));
  EXPECT_FALSE(t.run(104, [&] {
    ran.push_back(104);
    throw std::runtime_error("second");
    // Not reached: a failed statement is left at once.
  }));
  t.run(106, [&] { ran.push_back(106); });

  EXPECT_EQ(ran, (std::vector<int>{102, 104, 106}));
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_TRUE(ui.messages[0].text.startsWith(QStringLiteral("first\r\n")));
  EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral(" at line 100\r\r")));
  EXPECT_TRUE(ui.messages[1].text.startsWith(QStringLiteral("second\r\n")));
  EXPECT_TRUE(ui.messages[1].text.contains(QStringLiteral(" at line 104\r\r")));
}

TEST(ApplicationErrorReport, FailingTestRunsTheGuardedStatements) {
  ScriptedUiHost ui;
  ErrorTrap t(ui, QStringLiteral("Form1.PushButton1_Click"));
  bool thenBranch = false;
  bool elseBranch = false;
  if (t.test(100, []() -> bool { throw std::runtime_error("Object required"); }))
    t.run(102, [&] { thenBranch = true; });
  else
    t.run(104, [&] { elseBranch = true; });
  EXPECT_TRUE(thenBranch);
  EXPECT_FALSE(elseBranch);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("PushButton1_Click at line 100\r\r")));

  // A test that merely comes out false reports nothing.
  EXPECT_FALSE(t.test(106, [] { return false; }));
  EXPECT_EQ(ui.messages.size(), 1u);
}

// A failure deep inside an operation counts as a failure of the handler's
// statement that called it.
void writeRecordingFile() {
  throw Failure("Disk full");
}

TEST(ApplicationErrorReport, NestedHandlerHasItsOwnTrapAndOuterGoesOn) {
  ScriptedUiHost ui;
  ErrorTrap outer(ui, QStringLiteral("Form1.PushButton7_Click"));
  bool outerContinued = false;
  outer.run(120, [&] {
    // A handler run from the outer one's wait loop.
    ErrorTrap inner(ui, QStringLiteral("Form1.PushButton1_Click"));
    inner.run(104, [] { throw Failure("inner failure"); });
    inner.run(106, [] {});
  });
  outer.run(112, [] { writeRecordingFile(); });
  outer.run(122, [&] { outerContinued = true; });

  EXPECT_TRUE(outerContinued);
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_TRUE(ui.messages[0].text.contains(
      QStringLiteral("in Lentaro2017/04/05.Form1.PushButton1_Click at line 104\r\r")));
  EXPECT_TRUE(ui.messages[1].text.startsWith(QStringLiteral("Disk full\r\n")));
  EXPECT_TRUE(ui.messages[1].text.contains(
      QStringLiteral("in Lentaro2017/04/05.Form1.PushButton7_Click at line 112\r\r")));
  EXPECT_EQ(outer.line(), 122);
}

TEST(ApplicationErrorReport, DescribesForeignFailures) {
  EXPECT_EQ(describeFailure(std::make_exception_ptr(std::bad_alloc())),
            QStringLiteral("Out of memory"));
  EXPECT_EQ(describeFailure(std::make_exception_ptr(42)), QStringLiteral("Unknown error"));
  EXPECT_EQ(describeFailure(std::make_exception_ptr(Failure("Pfad ungültig"))),
            QStringLiteral("Pfad ungültig"));
}

int gCodeReads = 0;
int negativeCode() {
  ++gCodeReads;
  return -1;
}

TEST(AudioErrorReport, ShowsTheCodeReadBeforeTheBoxWithItsSign) {
  ScriptedUiHost ui;
  gCodeReads = 0;
  int readsWhenShown = -100;
  ui.onMessage = [&](const testing::ShownMessage&) { readsWhenShown = gCodeReads; };
  Error_(ui, QStringLiteral("Selected file couldn't be loaded!"), &negativeCode);

  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(readsWhenShown, 1);
  EXPECT_EQ(ui.messages[0].text,
            QStringLiteral("Selected file couldn't be loaded!\r\n\r\n(error code: -1)"));
  EXPECT_EQ(ui.messages[0].title, QStringLiteral("Error"));
  EXPECT_EQ(ui.messages[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(ui.messages[0].buttons, MsgButtons::Ok);
}

TEST(AudioErrorReport, DefaultsToTheEnginesCodeAndKeepsMultiLineTexts) {
  ScriptedUiHost ui;
  // The engine is not initialised here: any call leaves a code of its own,
  // which the report shows unchanged.
  Error_(ui, QStringLiteral("Can't initialize device"));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].text.startsWith(
      QStringLiteral("Can't initialize device\r\n\r\n(error code: ")));

  const QString encoder = QStringLiteral(
      "Couldn't start encoding...\r\nMake sure LAME.EXE is in the same\r\ndirecory as this "
      "software.");
  EXPECT_EQ(audioErrorText(encoder, 33), encoder + QStringLiteral("\r\n\r\n(error code: 33)"));
}

TEST(QtUiHostDisplay, EveryBreakBecomesANewline) {
  EXPECT_EQ(QtUiHost::displayText(QStringLiteral("a\r\nb at line 100\r\rPlease")),
            QStringLiteral("a\nb at line 100\n\nPlease"));
}

}  // namespace
}  // namespace lentaro
