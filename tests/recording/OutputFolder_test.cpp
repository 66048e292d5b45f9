#include "recording/OutputFolder.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QWidget>

#include "ScriptedUiHost.h"

using namespace lentaro;
using namespace lentaro::recording;

namespace {

// Text1 with a change log standing in for the window's Text1_Change,
// which stores every change under "Path".
struct BrowseFixture : ::testing::Test {
  QWidget window;
  QLineEdit* Text1 = new QLineEdit(&window);
  lentaro::testing::ScriptedUiHost ui;
  OutputFolder folder{ui, &window, Text1, &window};
  QStringList stored;

  void SetUp() override {
    Text1->setText("/home/user/Desktop/");
    QObject::connect(Text1, &QLineEdit::textChanged, [this](const QString& t) { stored << t; });
  }
};

}  // namespace

TEST_F(BrowseFixture, ChosenFolderGetsTheSeparatorAndIsStoredTwice) {
  ui.folderResults.push_back("/media/D/Music");
  folder.PushButton3_Click();
  EXPECT_EQ(Text1->text(), "/media/D/Music/");
  EXPECT_EQ(stored, (QStringList{"/media/D/Music", "/media/D/Music/"}));
  EXPECT_EQ(ui.folderTitles, QStringList{"Please select folder:"});
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(BrowseFixture, RootStaysAsItIs) {
  ui.folderResults.push_back("/");
  folder.PushButton3_Click();
  EXPECT_EQ(Text1->text(), "/");
  EXPECT_EQ(stored, QStringList{"/"});
}

TEST_F(BrowseFixture, CancelChangesNothing) {
  folder.PushButton3_Click();  // the scripted dialog cancels
  EXPECT_EQ(Text1->text(), "/home/user/Desktop/");
  EXPECT_TRUE(stored.isEmpty());
  EXPECT_EQ(ui.folderTitles.size(), 1);
}
