#include "playlist/PlaylistView.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <stdexcept>

#include "playlist/PlaylistModel.h"

namespace lentaro::playlist {

PlaylistView::PlaylistView(QWidget* parent) : QTreeView(parent), model_(new PlaylistModel(this)) {
  setObjectName(QStringLiteral("ListView1"));
  setModel(model_);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);  // keeps 100,000 rows cheap to lay out
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTextElideMode(Qt::ElideNone);  // long paths are cut at the column edge
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setDragEnabled(false);
  setAutoScroll(false);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setMouseTracking(true);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(QHeaderView::Interactive);
  header()->setSectionsMovable(false);
  QFont f(QStringLiteral("Arial"), 9);
  f.setBold(true);
  setFont(f);
  setToolTip(QStringLiteral(
      "Drag and drop files here. Double-click a file to play it. Move bar to right and out of "
      "window to reveal full names."));
}

PlaylistView::~PlaylistView() = default;

void PlaylistView::AddColumnHeader(const QString& text) {
  model_->setHeaderText(text);
}

void PlaylistView::SetColumnWidth(int twips) {
  header()->resizeSection(0, twips / kTwipsPerPixel);
}

void PlaylistView::selectFirstOfEmpty(bool wasEmpty) {
  if (wasEmpty && Count() > 0) Select(1);
}

void PlaylistView::Add(const QString& text) {
  const bool wasEmpty = Count() == 0;
  model_->insertText(Count(), text);
  selectFirstOfEmpty(wasEmpty);
}

void PlaylistView::AddRows(const QStringList& texts) {
  const bool wasEmpty = Count() == 0;
  model_->appendTexts(texts);
  selectFirstOfEmpty(wasEmpty);
}

void PlaylistView::Add(int position, const QString& text) {
  if (position < 1 || position > Count() + 1) throw std::out_of_range("Invalid list position");
  const bool wasEmpty = Count() == 0;
  model_->insertText(position - 1, text);
  selectFirstOfEmpty(wasEmpty);
}

void PlaylistView::Remove(int position) {
  if (position < 1 || position > Count()) throw std::out_of_range("Invalid list position");
  model_->removeRowAt(position - 1);
}

void PlaylistView::Clear() {
  model_->clearRows();
}

int PlaylistView::Count() const {
  return model_->rowCount();
}

std::optional<ListItem> PlaylistView::SelectedItem() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  if (rows.isEmpty()) return std::nullopt;
  const int row = rows.first().row();
  return ListItem{row + 1, model_->textAt(row)};
}

void PlaylistView::Select(int position) {
  if (position < 1 || position > Count()) throw std::out_of_range("Invalid list position");
  selectionModel()->setCurrentIndex(
      model_->index(position - 1, 0),
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void PlaylistView::EnsureVisible(int position) {
  if (position < 1 || position > Count()) throw std::out_of_range("Invalid list position");
  // Only the rows scroll: a column wider than the list must not jump sideways.
  const int x = horizontalScrollBar()->value();
  scrollTo(model_->index(position - 1, 0), QAbstractItemView::EnsureVisible);
  horizontalScrollBar()->setValue(x);
}

int PlaylistView::HitTest(QPoint viewportPoint) const {
  const QModelIndex i = indexAt(viewportPoint);
  return i.isValid() ? i.row() + 1 : 0;
}

QString PlaylistView::Text(int position) const {
  if (position < 1 || position > Count()) throw std::out_of_range("Invalid list position");
  return model_->textAt(position - 1);
}

void PlaylistView::SetText(int position, const QString& text) {
  if (position < 1 || position > Count()) throw std::out_of_range("Invalid list position");
  model_->setTextAt(position - 1, text);
}

ItemRef PlaylistView::Item(int position) const {
  if (position < 1 || position > Count()) return {};
  return ItemRef(model_->index(position - 1, 0));
}

int PlaylistView::PositionOf(const ItemRef& item) const {
  if (!item.isValid() || item.model() != model_) return 0;
  return item.row() + 1;
}

void PlaylistView::SetListCursor(const QCursor& cursor) {
  viewport()->setCursor(cursor);
}

void PlaylistView::ResetListCursor() {
  viewport()->setCursor(Qt::ArrowCursor);
}

void PlaylistView::keyPressEvent(QKeyEvent* event) {
  Q_EMIT KeyDown(event->key(), event->modifiers());
  // Delete belongs to the commands; every other key keeps the list's own
  // handling (arrows move the selection).
  if (event->key() == Qt::Key_Delete) {
    event->accept();
    return;
  }
  QTreeView::keyPressEvent(event);
}

void PlaylistView::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  Q_EMIT MouseDown(event->button(), p);
  QTreeView::mousePressEvent(event);
  const int row = HitTest(p);
  if (row > 0) Q_EMIT ItemClick(row);
}

void PlaylistView::mouseMoveEvent(QMouseEvent* event) {
  Q_EMIT MouseMove(event->buttons(), event->position().toPoint());
  // With a button held the commands move rows themselves; the view's own
  // press-and-drag selection would fight them.
  if (event->buttons() == Qt::NoButton) QTreeView::mouseMoveEvent(event);
}

void PlaylistView::mouseReleaseEvent(QMouseEvent* event) {
  QTreeView::mouseReleaseEvent(event);
  Q_EMIT MouseUp(event->button(), event->position().toPoint());
}

void PlaylistView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeView::mouseDoubleClickEvent(event);
  if (event->button() != Qt::LeftButton) return;
  const int row = HitTest(event->position().toPoint());
  if (row > 0) Q_EMIT DblClick(row);
}

void PlaylistView::dragEnterEvent(QDragEnterEvent* event) {
  event->ignore();
  Q_EMIT OLEDragOver(event);
}

void PlaylistView::dragMoveEvent(QDragMoveEvent* event) {
  event->ignore();
  Q_EMIT OLEDragOver(event);
}

void PlaylistView::dragLeaveEvent(QDragLeaveEvent* event) {
  event->accept();
}

void PlaylistView::dropEvent(QDropEvent* event) {
  event->ignore();
  Q_EMIT OLEDragDrop(event);
}

}  // namespace lentaro::playlist
