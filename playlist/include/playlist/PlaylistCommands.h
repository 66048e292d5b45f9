// The commands that fill, reorder and empty the playlist: the four adding
// buttons, the drop of files and folders, Move Up / Move Down / Clear List,
// the Delete key and the exchange drag of rows with the mouse.
//
// The button commands run their numbered statements under the error trap;
// the list's key, mouse and drop handlers have no report of their own. The
// folder scans process window events while they work, so any of these
// handlers may run nested inside a scan: the view is held weakly and every
// scan stops adding once the list is gone.
//
// Thread: user-interface thread only.
#pragma once

#include <QCursor>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "playlist/PlaylistView.h"

class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QWidget;

namespace lentaro {
class ErrorTrap;
class UiHost;
}  // namespace lentaro

namespace lentaro::playlist {

class BusyState;

struct PlaylistServices {
  UiHost* ui = nullptr;
  BusyState* busy = nullptr;
  QWidget* owner = nullptr;  // owner of the dialogs: the main window
  // The folder the program runs from (samples, drag pointer).
  QString appDir;
  // The title of plain message boxes.
  std::function<QString()> appTitle;
  // The pointer's position on the screen, in screen pixels.
  std::function<QPoint()> screenPos;
  // Reads a pointer file; none when it is missing or unreadable.
  std::function<std::optional<QCursor>(const QString& path)> loadCursor;
  // Longest stretch of a scan's file listing without processing window
  // events (0: before every folder).
  int listingEventsEveryMs = 15;
};

class PlaylistCommands : public QObject {
  Q_OBJECT

 public:
  // Screen rows between which exchanges never scroll the list.
  static constexpr int kScrollUpBelowY = 305;
  static constexpr int kScrollDownAboveY = 364;

  PlaylistCommands(PlaylistView* list, PlaylistServices services, QObject* parent = nullptr);

  // Connects the list's own signals to the handlers below.
  void connectList();

  // Local paths of a drag's data in the source's order; none when it holds
  // no local file (text, web links).
  static QStringList localPaths(const QMimeData* data);

  // Drag state of the mouse exchange.
  bool Dragging = false;
  ItemRef DragItem;
  ItemRef HoverItem;

 public Q_SLOTS:
  void PushButton8_Click();   // Add MP3 File(s)
  void PushButton4_Click();   // Add All MP3 File(s) In Folder
  void PushButton10_Click();  // Load Sample/Example Files
  void PushButton5_Click();   // Move Up
  void PushButton6_Click();   // Move Down
  void PushButton9_Click();   // Clear List

  void ListView1_KeyDown(int key, Qt::KeyboardModifiers modifiers);
  void ListView1_MouseDown(Qt::MouseButton button, QPoint point);
  void ListView1_ItemClick(int position);
  void ListView1_MouseMove(Qt::MouseButtons buttons, QPoint point);
  void ListView1_MouseUp(Qt::MouseButton button, QPoint point);
  void ListView1_OLEDragOver(QDragMoveEvent* event);
  void ListView1_OLEDragDrop(QDropEvent* event);

  // What a drop of these paths adds: files as they are, folders walked
  // with every file type. The drop handler defers to this so that the drag
  // source is released before a long walk starts.
  void AddDroppedPaths(const QStringList& paths);

 Q_SIGNALS:
  // A dropped batch has been added completely.
  void dropAdded();

 private:
  // Appends the files of every listed folder that match `pattern`, skipping
  // "~" names, missing files and plain hidden files (attributes 34). The
  // statement numbers are those of the folder command, also for the drop.
  void appendFolderFiles(ErrorTrap& trap, const QStringList& folders, const QString& pattern);
  bool isBusy() const;
  void moveSelected(ErrorTrap& trap, int direction);

  QPointer<PlaylistView> list_;
  PlaylistServices s_;
};

}  // namespace lentaro::playlist
