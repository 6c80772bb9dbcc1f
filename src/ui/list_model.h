// The list view's model: it holds no text, only the view and its row count,
// and asks the shell's row-text routines for each cell the view paints, so
// a million track points cost no memory here and scroll as fast as a few.
#pragma once

#include <QAbstractTableModel>

#include "shell/interface/view_mode.h"

namespace skylode {

class AppState;

class ListModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit ListModel(const AppState& app, QObject* parent = nullptr);

  // Another list, or the other column set.
  void Show(ViewMode view, bool utm, int rowCount);
  // The same list with new contents; the selection survives where the rows do.
  void Refresh(int rowCount);

  ViewMode view() const { return view_; }
  bool utm() const { return utm_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  const AppState& app_;
  ViewMode view_ = ViewMode::kTrackLog;
  bool utm_ = false;
  int rows_ = 0;
};

}  // namespace skylode
