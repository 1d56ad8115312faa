#include "gui/tables/table_model.h"

#include "core/tables/table_convert.h"
#include "gui/base/text.h"
#include "gui/tables/cell_text.h"

namespace velmar::gui {

TableModel::TableModel(QObject* parent) : QAbstractTableModel(parent) {}

void TableModel::SetTable(Table* table) {
  beginResetModel();
  table_ = table;
  rows_ = table != nullptr ? table->RecordCount() : 0;
  endResetModel();
}

int TableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || table_ == nullptr ? 0 : table_->ColumnCount();
}

Value TableModel::Cell(int row, int column) const {
  // While a change of the table is announced, rows read as they were before it.
  if (shift_ != 0 && row >= shift_from_) row += shift_;
  if (row < 0 || row >= table_->RecordCount()) return {};
  return table_->ValueAt(row, column);
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid) || table_ == nullptr) return {};
  if (role == Qt::TextAlignmentRole) {
    // Numbers line up on the right, as in any table of figures.
    const bool numeric = IsNumeric(table_->Column(index.column()).kind);
    return QVariant::fromValue(
        Qt::Alignment((numeric ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
  }
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  return ToQString(ValueText(Cell(index.row(), index.column()), separator_));
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || table_ == nullptr) return {};
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= table_->ColumnCount()) return {};
    return ToQString(table_->Column(section).name);
  }
  if (section < 0 || section >= rows_) return {};
  return table_->RecordNumberAt(section);
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid) || table_ == nullptr) return {};
  Qt::ItemFlags result = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
  if (IsEditableKind(table_->Column(index.column()).kind)) result |= Qt::ItemIsEditable;
  return result;
}

bool TableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || table_ == nullptr ||
      !checkIndex(index, CheckIndexOption::IndexIsValid)) {
    return false;
  }
  const int row = index.row();
  const ColumnDef& column = table_->Column(index.column());
  // An unchanged text is no edit: nothing is posted.
  if (value.toString() == data(index, Qt::EditRole).toString()) return false;
  Value parsed;
  Status status = ParseCellText(column, value.toString(), separator_, parsed);
  if (status.ok()) status = table_->SetValueAt(row, index.column(), parsed);
  if (status.ok()) status = table_->PostAt(row);
  if (!status.ok()) {
    if (on_refused) on_refused(status);
    return false;
  }
  emit dataChanged(this->index(row, 0), this->index(row, columnCount() - 1));
  if (on_posted) on_posted(row);
  return true;
}

// The table changes first; the rows are announced only when it succeeded,
// and the model's count follows between the announcements.
void TableModel::Inserted(int row) {
  shift_from_ = row;
  shift_ = 1;
  beginInsertRows(QModelIndex(), row, row);
  shift_ = 0;
  rows_ = table_->RecordCount();
  endInsertRows();
}

Status TableModel::InsertRecord(int row) {
  if (table_ == nullptr) return Status::Invalid("нет таблицы");
  if (row >= rows_) return AppendRecord();
  row = std::max(row, 0);
  table_->MoveTo(row);
  VELMAR_RETURN_IF_ERROR(table_->Insert());
  Inserted(row);
  return Status::Ok();
}

Status TableModel::AppendRecord() {
  if (table_ == nullptr) return Status::Invalid("нет таблицы");
  VELMAR_RETURN_IF_ERROR(table_->Append());
  Inserted(rows_);
  return Status::Ok();
}

Status TableModel::DeleteRecord(int row) {
  if (table_ == nullptr || row < 0 || row >= rows_) return Status::Invalid("нет такой записи");
  table_->MoveTo(row);
  VELMAR_RETURN_IF_ERROR(table_->Delete());
  shift_from_ = row + 1;
  shift_ = -1;
  beginRemoveRows(QModelIndex(), row, row);
  shift_ = 0;
  rows_ = table_->RecordCount();
  endRemoveRows();
  return Status::Ok();
}

}  // namespace velmar::gui
