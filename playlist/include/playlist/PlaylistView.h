// ListView1: the playlist as the main window shows it. A one-column report
// list whose rows hold only their text (a full file path); positions are
// 1-based. The column is narrower than the list, so the header divider
// widens it and the list then scrolls sideways.
//
// The view raises the list's events as signals and leaves every decision to
// the commands connected to them (PlaylistCommands); it never drags rows out
// of itself and never edits a row in place. Drag-over and drop signals carry
// the event: a handler connected directly accepts it, otherwise the drop is
// refused.
//
// Thread: user-interface thread only.
#pragma once

#include <QPersistentModelIndex>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTreeView>
#include <optional>

class QDragMoveEvent;
class QDropEvent;

namespace lentaro::playlist {

class PlaylistModel;

// What SelectedItem reports: the row's position and its text.
struct ListItem {
  int Index = 0;
  QString Text;
};

// A reference to one row that follows it while rows above it come and go,
// and becomes stale once that row itself is removed or the list cleared.
// A row re-created from its text (a move) is a different row.
using ItemRef = QPersistentModelIndex;

class PlaylistView : public QTreeView {
  Q_OBJECT

 public:
  // Layout measures of the main window's list, in pixels (15 twips each).
  static constexpr int kLeftPx = 8;
  static constexpr int kTopPx = 8;
  static constexpr int kWidthPx = 456;
  static constexpr int kHeightPx = 169;
  static constexpr int kTwipsPerPixel = 15;

  explicit PlaylistView(QWidget* parent = nullptr);
  ~PlaylistView() override;

  // Set-up step of the window's load: the one column's header and width.
  void AddColumnHeader(const QString& text);
  void SetColumnWidth(int twips);

  // Appends a row; into an empty list the new row becomes the selected one.
  void Add(const QString& text);
  // Appends the texts as rows in one step, as Add would one by one: into an
  // empty list the first new row becomes the selected one. The view lays
  // the block out once instead of once per row.
  void AddRows(const QStringList& texts);
  // Inserts at 1-based position (1..Count()+1); rows from there move down.
  void Add(int position, const QString& text);
  // Removes the row at 1-based position; rows below move up.
  void Remove(int position);
  void Clear();
  int Count() const;

  std::optional<ListItem> SelectedItem() const;
  // Makes the row at position the selected (and current) row.
  void Select(int position);
  // Scrolls vertically as little as needed to show the row.
  void EnsureVisible(int position);
  // The 1-based position of the row under a point of the list's viewport,
  // or 0 when there is none.
  int HitTest(QPoint viewportPoint) const;

  QString Text(int position) const;
  void SetText(int position, const QString& text);

  ItemRef Item(int position) const;
  // Position of a referenced row, or 0 when it is no longer in the list.
  int PositionOf(const ItemRef& item) const;

  // The pointer shown over the rows (the list's own pointer).
  void SetListCursor(const QCursor& cursor);
  void ResetListCursor();

  PlaylistModel& listModel() const { return *model_; }

 Q_SIGNALS:
  void DblClick(int position);
  void KeyDown(int key, Qt::KeyboardModifiers modifiers);
  void MouseDown(Qt::MouseButton button, QPoint viewportPoint);
  void ItemClick(int position);
  void MouseMove(Qt::MouseButtons buttons, QPoint viewportPoint);
  void MouseUp(Qt::MouseButton button, QPoint viewportPoint);
  // Enter and move of a drag; accept the event to take the drop.
  void OLEDragOver(QDragMoveEvent* event);
  void OLEDragDrop(QDropEvent* event);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void selectFirstOfEmpty(bool wasEmpty);

  PlaylistModel* model_;
};

}  // namespace lentaro::playlist
