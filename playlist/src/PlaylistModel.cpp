#include "playlist/PlaylistModel.h"

namespace lentaro::playlist {

int PlaylistModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant PlaylistModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_.size()) return {};
  if (role == Qt::DisplayRole) return rows_.at(index.row());
  return {};
}

QVariant PlaylistModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole) return header_;
  return {};
}

Qt::ItemFlags PlaylistModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void PlaylistModel::insertText(int row, const QString& text) {
  beginInsertRows({}, row, row);
  rows_.insert(row, text);
  endInsertRows();
}

void PlaylistModel::appendTexts(const QStringList& texts) {
  if (texts.isEmpty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(texts.size()) - 1);
  rows_.append(texts);
  endInsertRows();
}

void PlaylistModel::removeRowAt(int row) {
  beginRemoveRows({}, row, row);
  rows_.removeAt(row);
  endRemoveRows();
}

void PlaylistModel::clearRows() {
  if (rows_.isEmpty()) return;
  beginResetModel();
  rows_.clear();
  endResetModel();
}

void PlaylistModel::setTextAt(int row, const QString& text) {
  rows_[row] = text;
  const QModelIndex i = index(row, 0);
  Q_EMIT dataChanged(i, i, {Qt::DisplayRole});
}

void PlaylistModel::setHeaderText(const QString& text) {
  header_ = text;
  Q_EMIT headerDataChanged(Qt::Horizontal, 0, 0);
}

}  // namespace lentaro::playlist
