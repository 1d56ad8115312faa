#ifndef VELMAR_GUI_TABLES_TABLE_MODEL_H_
#define VELMAR_GUI_TABLES_TABLE_MODEL_H_

#include <QAbstractTableModel>
#include <functional>

#include "core/base/status.h"
#include "core/tables/table.h"

namespace velmar::gui {

// The editor's grid model over a core Table: cells are read by row when the
// view asks for them, so large tables cost nothing up front, and painting
// never moves the table's cursor while a worker reads the table. An
// edit sets the value and posts the record at once; the core's refusal goes
// to `on_refused` and the cell keeps its value.
class TableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TableModel(QObject* parent = nullptr);

  // The table shown (may be null); the model does not own it.
  void SetTable(Table* table);
  Table* GetTable() const { return table_; }
  void SetDecimalSeparator(char separator) { separator_ = separator; }
  // Told of every refused edit, with the message to show.
  std::function<void(const Status&)> on_refused;
  // Told after a record was posted, with its row.
  std::function<void(int row)> on_posted;

  // Adds a blank record before `row` (at the end when row == rowCount()).
  Status InsertRecord(int row);
  Status AppendRecord();
  Status DeleteRecord(int row);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  Value Cell(int row, int column) const;
  void Inserted(int row);

  Table* table_ = nullptr;
  int rows_ = 0;
  int shift_from_ = 0;
  int shift_ = 0;
  char separator_ = '.';
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_TABLES_TABLE_MODEL_H_
