#include "playlist/PlaylistCommands.h"

#include <QCoreApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QPixmap>
#include <QUrl>
#include <utility>

#include "playlist/AddFolder.h"
#include "playlist/BusyState.h"
#include "shell/ErrorTrap.h"
#include "shell/UiHost.h"
#include "util/sMain.h"

namespace lentaro::playlist {

namespace {

const QString kDialogTitle =
    QStringLiteral("Add File(s) - Hold Ctrl or Shift to select multiple files");
const QString kDialogFilter = QStringLiteral("MP3 Files (*.mp3)");
const QString kFolderTitle = QStringLiteral("Please select folder:");
const QString kSamplesQuestion = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?");
constexpr int kPlainHiddenFile = kAttrHidden | kAttrArchive;  // 34

std::optional<QCursor> pixmapCursor(const QString& path) {
  QPixmap picture(path);
  if (picture.isNull()) return std::nullopt;
  return QCursor(picture);
}

}  // namespace

PlaylistCommands::PlaylistCommands(PlaylistView* list, PlaylistServices services, QObject* parent)
    : QObject(parent), list_(list), s_(std::move(services)) {
  if (!s_.appTitle) s_.appTitle = [] { return QCoreApplication::applicationName(); };
  if (!s_.screenPos) s_.screenPos = [] { return QCursor::pos(); };
  if (!s_.loadCursor) s_.loadCursor = pixmapCursor;
  if (s_.appDir.isEmpty()) s_.appDir = QCoreApplication::applicationDirPath();
}

void PlaylistCommands::connectList() {
  PlaylistView* v = list_;
  connect(v, &PlaylistView::KeyDown, this, &PlaylistCommands::ListView1_KeyDown);
  connect(v, &PlaylistView::MouseDown, this, &PlaylistCommands::ListView1_MouseDown);
  connect(v, &PlaylistView::ItemClick, this, &PlaylistCommands::ListView1_ItemClick);
  connect(v, &PlaylistView::MouseMove, this, &PlaylistCommands::ListView1_MouseMove);
  connect(v, &PlaylistView::MouseUp, this, &PlaylistCommands::ListView1_MouseUp);
  // The event must be accepted before the view returns to the drag manager.
  connect(v, &PlaylistView::OLEDragOver, this, &PlaylistCommands::ListView1_OLEDragOver,
          Qt::DirectConnection);
  connect(v, &PlaylistView::OLEDragDrop, this, &PlaylistCommands::ListView1_OLEDragDrop,
          Qt::DirectConnection);
}

bool PlaylistCommands::isBusy() const {
  return s_.busy && s_.busy->busy();
}

// ---- adding

void PlaylistCommands::PushButton8_Click() {
  ErrorTrap t(*s_.ui, QStringLiteral("Form1.PushButton8_Click"));
  OpenFilesRequest request;
  t.run(104, [&] { request = OpenFilesRequest{}; });
  t.run(106, [&] { request.multiSelect = true; });
  t.run(108, [&] { request.title = kDialogTitle; });
  t.run(110, [&] { request.filter = kDialogFilter; });
  QStringList picked;
  t.run(112, [&] { picked = s_.ui->getOpenFileNames(s_.owner, request); });
  if (t.test(114, [&] { return picked.isEmpty(); })) return;
  // The dialog gives full paths, so no folder has to be joined to a name.
  if (t.test(118, [&] { return picked.size() == 1; })) {
    QString path;
    t.run(120, [&] { path = picked.front(); });
    t.run(122, [&] {
      if (list_) list_->Add(path);
    });
    return;
  }
  for (const QString& path : std::as_const(picked)) {
    t.run(136, [] { QCoreApplication::processEvents(); });
    if (!list_) return;
    t.run(142, [&] { list_->Add(path); });
  }
}

void PlaylistCommands::appendFolderFiles(ErrorTrap& t, const QStringList& folders,
                                         const QString& pattern) {
  // The walk processes events only while it gathers folders; the listing
  // does too, so that a tree of tens of thousands of files never freezes the
  // window. Not at every folder: each pass lays out every row of the list
  // again, which would make a long listing quadratic.
  //
  // The rows found between two passes go into the list as one block, just
  // before the next pass (or the report of a failure, whose message box
  // runs events too). No events run in between, so the list shows the same
  // rows at every pass as when they were added one by one, while the model
  // announces (and the view and any screen reader handle) one insertion per
  // block instead of one per row.
  QStringList found;
  const auto addFound = [&] {
    if (list_ && !found.isEmpty()) list_->AddRows(found);
    found.clear();
  };
  QElapsedTimer sinceEvents;
  sinceEvents.start();
  for (const QString& folder : folders) {
    if (sinceEvents.elapsed() >= s_.listingEventsEveryMs) {
      addFound();
      QCoreApplication::processEvents();
      sinceEvents.restart();
    }
    if (!list_) return;
    QString dir;
    if (!t.run(116, [&] { dir = AddFolder::WithoutTrailingSlash(folder); })) continue;
    FileNameArray names;
    if (!t.run(118, [&] { names = AddFolder::ListFiles(dir, pattern); })) continue;
    for (int i = 1; i <= names.UBound(); ++i) {
      if (t.test(122, [&] { return names[i].startsWith(QLatin1Char('~')); })) continue;
      QString path;
      if (!t.run(124, [&] { path = dir + QLatin1Char('/') + names[i]; })) continue;
      t.run(128, [&] {
        // ListFiles has just found `path` an existing file, by the same test.
        // Only a name starting with "." can be a plain hidden file (34), so
        // only those are examined again.
        if (names[i].startsWith(QLatin1Char('.'))) {
          if (!AddFolder::IsExistingFile(path)) return;
          int attributes = 0;
          try {
            attributes = AddFolder::FileAttributes(path);
          } catch (...) {
            addFound();
            throw;
          }
          if (attributes == kPlainHiddenFile) return;
        }
        found.push_back(path);
      });
    }
  }
  addFound();
}

void PlaylistCommands::PushButton4_Click() {
  ErrorTrap t(*s_.ui, QStringLiteral("Form1.PushButton4_Click"));
  QString folder;
  t.run(100, [&] { folder = AddFolder::BrowseForFolder(*s_.ui, s_.owner, kFolderTitle); });
  if (t.test(102, [&] { return folder.isEmpty(); })) return;
  t.run(108, [&] {
    if (s_.busy) s_.busy->setMousePointer(BusyState::kWait);
  });
  QStringList folders;
  t.run(110, [&] { folders = QStringList{AddFolder::WithTrailingSlash(folder)}; });
  t.run(112, [&] { AddFolder::CollectSubFolders(folders); });
  t.run(114, [&] { appendFolderFiles(t, folders, QStringLiteral("*.mp3")); });
  t.run(132, [&] {
    if (s_.busy) s_.busy->setMousePointer(BusyState::kDefault);
  });
}

void PlaylistCommands::PushButton10_Click() {
  ErrorTrap t(*s_.ui, QStringLiteral("Form1.PushButton10_Click"));
  const QString samples = s_.appDir + QStringLiteral("/Samples");
  FileNameArray names;
  t.run(100, [&] { names = AddFolder::ListFiles(samples, QStringLiteral("*.*")); });
  for (int i = 1; i <= names.UBound(); ++i) {
    t.run(104, [&] {
      if (list_) list_->Add(samples + QLatin1Char('/') + names[i]);
    });
  }
  if (t.test(106, [&] {
        return s_.ui->messageBox(s_.owner, kSamplesQuestion, s_.appTitle(), MsgButtons::YesNo,
                                 MsgIcon::None) == MsgAnswer::No;
      }))
    return;
  t.run(108, [&] { (void)s_.ui->openFolder(samples + QLatin1Char('/')); });
}

// ---- drop

QStringList PlaylistCommands::localPaths(const QMimeData* data) {
  QStringList paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile() && !url.toLocalFile().isEmpty()) paths.push_back(url.toLocalFile());
  }
  return paths;
}

void PlaylistCommands::ListView1_OLEDragOver(QDragMoveEvent* event) {
  if (localPaths(event->mimeData()).isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void PlaylistCommands::ListView1_OLEDragDrop(QDropEvent* event) {
  const QStringList paths = localPaths(event->mimeData());
  if (paths.isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  QMetaObject::invokeMethod(
      this, [this, paths] { AddDroppedPaths(paths); }, Qt::QueuedConnection);
}

void PlaylistCommands::AddDroppedPaths(const QStringList& paths) {
  ErrorTrap t(*s_.ui, QStringLiteral("Form1.ListView1_OLEDragDrop"));
  for (const QString& p : paths) {
    if (!list_) return;
    // A path that cannot be examined is no folder, and is taken as a file.
    bool isFolder = false;
    t.run(100, [&] { isFolder = sMain::IsDirectory(p); });
    if (isFolder) {
      QStringList folders;
      t.run(102, [&] { folders = QStringList{AddFolder::WithTrailingSlash(p)}; });
      t.run(104, [&] { AddFolder::CollectSubFolders(folders); });
      t.run(106, [&] { appendFolderFiles(t, folders, QStringLiteral("*.*")); });
    } else {
      t.run(108, [&] {
        if (list_) list_->Add(p);
      });
    }
  }
  Q_EMIT dropAdded();
}

// ---- reordering and removing

void PlaylistCommands::moveSelected(ErrorTrap& t, int direction) {
  if (t.test(100, [&] { return isBusy(); })) return;
  if (!list_) return;
  if (t.test(102, [&] { return list_->Count() == 0; })) return;
  std::optional<ListItem> selected;
  t.run(104, [&] { selected = list_->SelectedItem(); });
  if (!selected) return;  // nothing selected: the list stays as it is
  const int i = selected->Index;
  const bool atEnd = direction < 0 ? i < 2 : i >= list_->Count();
  if (t.test(106, [&] { return atEnd; })) {
    t.run(118, [&] { list_->setFocus(); });
    return;
  }
  const int target = i + direction;
  // The moved row is re-created from its text beside the old one, and the
  // old one removed.
  t.run(108, [&] { list_->Add(direction < 0 ? i - 1 : i + 2, selected->Text); });
  t.run(110, [&] { list_->Remove(direction < 0 ? i + 1 : i); });
  t.run(112, [&] { list_->Select(target); });
  t.run(114, [&] { list_->EnsureVisible(target); });
  t.run(116, [&] { list_->setFocus(); });
}

void PlaylistCommands::PushButton5_Click() {
  ErrorTrap t(*s_.ui, QStringLiteral("Form1.PushButton5_Click"));
  moveSelected(t, -1);
}

void PlaylistCommands::PushButton6_Click() {
  ErrorTrap t(*s_.ui, QStringLiteral("Form1.PushButton6_Click"));
  moveSelected(t, +1);
}

void PlaylistCommands::PushButton9_Click() {
  ErrorTrap t(*s_.ui, QStringLiteral("Form1.PushButton9_Click"));
  t.run(100, [&] {
    if (list_) list_->Clear();
  });
}

void PlaylistCommands::ListView1_KeyDown(int key, Qt::KeyboardModifiers) {
  if (key != Qt::Key_Delete || !list_) return;
  if (isBusy()) return;
  if (list_->Count() == 0) return;
  const std::optional<ListItem> selected = list_->SelectedItem();
  if (!selected) return;
  list_->Remove(selected->Index);
}

// ---- exchange drag

void PlaylistCommands::ListView1_MouseDown(Qt::MouseButton, QPoint) {
  Dragging = true;
}

void PlaylistCommands::ListView1_ItemClick(int position) {
  if (!list_) return;
  // Read afresh at every click, so a replaced picture shows at once.
  if (const std::optional<QCursor> c = s_.loadCursor(s_.appDir + QStringLiteral("/drag.ico")))
    list_->SetListCursor(*c);
  const std::optional<ListItem> selected = list_->SelectedItem();
  DragItem = list_->Item(selected ? selected->Index : position);
}

void PlaylistCommands::ListView1_MouseMove(Qt::MouseButtons, QPoint point) {
  if (s_.busy && !isBusy()) s_.busy->setMousePointer(BusyState::kDefault);
  if (!Dragging || !list_) return;
  HoverItem = list_->Item(list_->HitTest(point));
  const int drag = list_->PositionOf(DragItem);
  const int hover = list_->PositionOf(HoverItem);
  if (drag > 0 && hover > 0 && list_->Text(drag) != list_->Text(hover)) {
    const QString kept = list_->Text(drag);
    list_->SetText(drag, list_->Text(hover));
    list_->SetText(hover, kept);
    list_->Select(hover);
    DragItem = HoverItem;
    const int y = s_.screenPos().y();
    if (y < kScrollUpBelowY && hover > 1)
      list_->EnsureVisible(hover - 1);
    else if (y > kScrollDownAboveY && hover + 1 <= list_->Count())
      list_->EnsureVisible(hover + 1);
  }
  HoverItem = ItemRef();
}

void PlaylistCommands::ListView1_MouseUp(Qt::MouseButton, QPoint) {
  Dragging = false;
  if (list_) list_->ResetListCursor();
}

}  // namespace lentaro::playlist
