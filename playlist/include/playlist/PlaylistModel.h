// The rows of the playlist: one text per row and nothing else. The list
// widget over it is the whole playlist; there is no other collection.
//
// Thread: user-interface thread only.
#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <QStringList>

namespace lentaro::playlist {

class PlaylistModel : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Rows are 0-based here; the view translates the list's 1-based positions.
  void insertText(int row, const QString& text);
  // Appends the texts as rows in one insertion (one pair of row signals for
  // the whole block, however long).
  void appendTexts(const QStringList& texts);
  void removeRowAt(int row);
  void clearRows();
  const QString& textAt(int row) const { return rows_.at(row); }
  void setTextAt(int row, const QString& text);

  void setHeaderText(const QString& text);

 private:
  QList<QString> rows_;
  QString header_;
};

}  // namespace lentaro::playlist
