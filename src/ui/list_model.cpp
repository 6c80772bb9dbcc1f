#include "ui/list_model.h"

#include "shell/app_state.h"
#include "shell/interface/row_text.h"

namespace skylode {

ListModel::ListModel(const AppState& app, QObject* parent) : QAbstractTableModel(parent), app_(app) {}

void ListModel::Show(ViewMode view, bool utm, int rowCount) {
  beginResetModel();
  view_ = view;
  utm_ = utm;
  rows_ = std::max(rowCount, 0);
  endResetModel();
}

void ListModel::Refresh(int rowCount) {
  rowCount = std::max(rowCount, 0);
  if (rowCount > rows_) {
    beginInsertRows({}, rows_, rowCount - 1);
    rows_ = rowCount;
    endInsertRows();
  } else if (rowCount < rows_) {
    beginRemoveRows({}, rowCount, rows_ - 1);
    rows_ = rowCount;
    endRemoveRows();
  }
  if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1), {Qt::DisplayRole});
}

int ListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int ListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(ColumnsOf(view_, utm_).size());
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole) {
    // A row the shell no longer has reads as empty: the view may ask before
    // it has heard of a shorter list.
    const std::string text = app_.CellText(view_, index.row(), index.column());
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  }
  if (role == Qt::TextAlignmentRole) {
    // Numbers line up on the right; names and the START mark read from the left.
    const auto cols = ColumnsOf(view_, utm_);
    if (index.column() >= static_cast<int>(cols.size())) return {};
    const std::string_view title = cols[static_cast<size_t>(index.column())].title;
    const bool text = title == "ID" || title == "Name" || title == "Latitude" || title == "Longitude" ||
                      title == "Device" || title == "Floor (Remark)" || title == "Ceiling" || title == "Zone" ||
                      title == "UTC date" || title == "UTC time" || title == "Time";
    return QVariant::fromValue(Qt::AlignVCenter | (text ? Qt::AlignLeft : Qt::AlignRight));
  }
  return {};
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  const auto cols = ColumnsOf(view_, utm_);
  if (section < 0 || section >= static_cast<int>(cols.size())) return {};
  const std::string_view title = cols[static_cast<size_t>(section)].title;
  return QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
}

}  // namespace skylode
