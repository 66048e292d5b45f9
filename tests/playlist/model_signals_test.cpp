// The playlist's rows as a Qt item model, driven by the playlist's own
// commands: Qt's model tester checks every change against what the model
// announced, and a copy of the rows kept only from the model's signals (as
// a view keeps its own) must match the list after each command.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>

#include "PlaylistTestSupport.h"
#include "playlist/PlaylistModel.h"

using namespace lentaro::playlist;
using namespace lentaro::playlist::testing;

namespace {

// Turns the model tester's complaints (category "qt.modeltest") into test
// failures; other messages go on to the handler that was there before.
class ModelTesterComplaints {
 public:
  ModelTesterComplaints() {
    current() = this;
    previous_ = qInstallMessageHandler(&handle);
  }
  ~ModelTesterComplaints() {
    qInstallMessageHandler(previous_);
    current() = nullptr;
  }
  ModelTesterComplaints(const ModelTesterComplaints&) = delete;
  ModelTesterComplaints& operator=(const ModelTesterComplaints&) = delete;

 private:
  static ModelTesterComplaints*& current() {
    static ModelTesterComplaints* instance = nullptr;
    return instance;
  }
  static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg && context.category != nullptr &&
        qstrcmp(context.category, "qt.modeltest") == 0) {
      ADD_FAILURE() << text.toStdString();
      return;
    }
    current()->previous_(type, context, text);
  }

  QtMessageHandler previous_ = nullptr;
};

// The rows as the model's signals describe them: rows read when announced
// as inserted or changed, dropped when announced as removed, all read again
// on a reset. A change the model makes without announcing it, or announces
// at other rows, leaves this copy different from the list.
class SignalCopy {
 public:
  explicit SignalCopy(const QAbstractItemModel& model) : model_(model) {
    readAll();
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &context_,
                     [this](const QModelIndex& parent, int first, int last) {
                       if (parent.isValid()) return;
                       for (int r = first; r <= last; ++r) rows_.insert(r, text(r));
                     });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, &context_,
                     [this](const QModelIndex& parent, int first, int last) {
                       if (!parent.isValid()) rows_.remove(first, last - first + 1);
                     });
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &context_,
                     [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                       for (int r = topLeft.row(); r <= bottomRight.row(); ++r) rows_[r] = text(r);
                     });
    QObject::connect(&model, &QAbstractItemModel::modelReset, &context_, [this] { readAll(); });
    QObject::connect(&model, &QAbstractItemModel::layoutChanged, &context_, [this] { readAll(); });
  }

  const QStringList& rows() const { return rows_; }

 private:
  QString text(int row) const { return model_.index(row, 0).data().toString(); }
  void readAll() {
    rows_.clear();
    for (int r = 0; r < model_.rowCount(); ++r) rows_ << text(r);
  }

  const QAbstractItemModel& model_;
  QObject context_;
  QStringList rows_;
};

// A shown list with its commands, its model under both checks from the
// start.
struct Checked : Rig {
  Checked() {
    view->resize(300, 200);
    view->show();
    QCoreApplication::processEvents();
  }

  QPoint centre(int position) const {
    return view->visualRect(view->model()->index(position - 1, 0)).center();
  }
  // A press on a row as the list reports it, then the mouse over another.
  void exchangeDrag(int from, int over) {
    commands->ListView1_MouseDown(Qt::LeftButton, centre(from));
    view->Select(from);
    commands->ListView1_ItemClick(from);
    commands->ListView1_MouseMove(Qt::LeftButton, centre(over));
    commands->ListView1_MouseUp(Qt::LeftButton, centre(over));
  }

  ModelTesterComplaints complaints;
  QAbstractItemModelTester tester{&view->listModel(),
                                  QAbstractItemModelTester::FailureReportingMode::Warning};
  SignalCopy copy{view->listModel()};
};

#define EXPECT_ANNOUNCED(rig, expected)              \
  do {                                               \
    EXPECT_EQ(rows(*(rig).view), (expected));        \
    EXPECT_EQ((rig).copy.rows(), rows(*(rig).view)); \
  } while (0)

}  // namespace

TEST(PlaylistModelSignals, AddingCommandsAnnounceEveryRowWhereItLands) {
  Tree t;
  t.files({"f/one.mp3", "f/two.mp3", "f/sub/three.mp3", "drop/four.wav"});
  Checked c;
  c.view->AddColumnHeader("MP3 File(s)");
  EXPECT_EQ(c.view->listModel().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
            "MP3 File(s)");

  c.ui.fileResults.push_back({"/a.mp3", "/b.mp3"});
  c.commands->PushButton8_Click();  // into the empty list
  EXPECT_ANNOUNCED(c, QStringList({"/a.mp3", "/b.mp3"}));

  c.ui.folderResults.push_back(t.root());
  c.commands->PushButton4_Click();  // rows arrive folder by folder, events between
  EXPECT_EQ(c.view->Count(), 5);
  EXPECT_ANNOUNCED(c, rows(*c.view));

  c.commands->AddDroppedPaths({t.path("drop"), "/c.mp3"});
  EXPECT_EQ(c.view->Count(), 7);
  EXPECT_ANNOUNCED(c, rows(*c.view));

  c.view->Add(1, "/first.mp3");
  c.view->Add(4, "/middle.mp3");
  c.view->Add(c.view->Count() + 1, "/last.mp3");
  EXPECT_EQ(c.view->Text(1), "/first.mp3");
  EXPECT_EQ(c.view->Text(4), "/middle.mp3");
  EXPECT_ANNOUNCED(c, rows(*c.view));
  EXPECT_TRUE(c.ui.messages.empty());
}

TEST(PlaylistModelSignals, ReorderingRemovingAndClearingAnnounceTheRowsConcerned) {
  Checked c;
  c.add({"a", "b", "c", "d", "e"});

  // Moves at the top, in the middle and at the bottom, and refused at the
  // ends.
  c.view->Select(2);
  c.commands->PushButton5_Click();
  c.commands->PushButton5_Click();
  EXPECT_ANNOUNCED(c, QStringList({"b", "a", "c", "d", "e"}));
  c.view->Select(3);
  c.commands->PushButton6_Click();
  c.commands->PushButton6_Click();
  c.commands->PushButton6_Click();
  EXPECT_ANNOUNCED(c, QStringList({"b", "a", "d", "e", "c"}));
  c.view->Select(4);
  c.commands->PushButton5_Click();
  EXPECT_ANNOUNCED(c, QStringList({"b", "a", "e", "d", "c"}));

  // The exchange drag rewrites the two rows' texts in place.
  c.exchangeDrag(1, 2);
  EXPECT_ANNOUNCED(c, QStringList({"a", "b", "e", "d", "c"}));
  c.exchangeDrag(5, 3);
  EXPECT_ANNOUNCED(c, QStringList({"a", "b", "c", "d", "e"}));

  // Delete in the middle, at the end and at the top.
  for (int position : {3, 4, 1}) {
    c.view->Select(position);
    c.commands->ListView1_KeyDown(Qt::Key_Delete, {});
  }
  EXPECT_ANNOUNCED(c, QStringList({"b", "d"}));

  c.commands->PushButton9_Click();
  EXPECT_ANNOUNCED(c, QStringList());
  c.commands->PushButton9_Click();  // an empty list stays empty
  c.add({"x"});
  EXPECT_ANNOUNCED(c, QStringList({"x"}));
  EXPECT_TRUE(c.ui.messages.empty());
}
