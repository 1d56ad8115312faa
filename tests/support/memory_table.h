#ifndef VELMAR_TESTS_SUPPORT_MEMORY_TABLE_H_
#define VELMAR_TESTS_SUPPORT_MEMORY_TABLE_H_

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/tables/table.h"

namespace velmar::testing_support {

// A table held only in memory, for tests: columns with a FieldKind, rows of
// Values, the cursor and in-memory editing of the real tables. It reports
// itself as a dBase table in code page 1251 and cannot be saved.
class MemoryTable : public Table {
 public:
  struct ColumnSpec {
    std::string name;
    FieldKind kind = FieldKind::kFloat;
  };

  MemoryTable() = default;
  MemoryTable(const std::vector<ColumnSpec>& columns, std::vector<std::vector<Value>> rows) {
    for (const ColumnSpec& c : columns) AddColumn(c.name, c.kind);
    for (auto& row : rows) {
      row.resize(columns_.size());
      rows_.push_back(std::move(row));
    }
  }

  // A table of float columns named `names` from numeric rows; nullopt is a
  // null cell. Short rows are padded with nulls.
  static MemoryTable FromNumbers(const std::vector<std::string>& names,
                                 const std::vector<std::vector<std::optional<double>>>& rows) {
    std::vector<ColumnSpec> columns;
    for (const std::string& n : names) columns.push_back({n, FieldKind::kFloat});
    std::vector<std::vector<Value>> values;
    for (const auto& row : rows) {
      std::vector<Value> v(names.size());
      for (size_t i = 0; i < row.size() && i < names.size(); ++i) {
        if (row[i]) v[i] = *row[i];
      }
      values.push_back(std::move(v));
    }
    return MemoryTable(columns, std::move(values));
  }

  // Float columns "F1", "F2", ... as many as the widest row.
  static MemoryTable FromNumbers(const std::vector<std::vector<std::optional<double>>>& rows) {
    size_t width = 0;
    for (const auto& row : rows) width = std::max(width, row.size());
    std::vector<std::string> names;
    for (size_t i = 0; i < width; ++i) names.push_back("F" + std::to_string(i + 1));
    return FromNumbers(names, rows);
  }

  void AddColumn(const std::string& name, FieldKind kind, int length = 0, int decimals = 0) {
    ColumnDef def;
    def.name = name;
    def.kind = kind;
    def.native_type = NativeType(kind);
    def.length = length > 0 ? length : DefaultLength(kind);
    def.decimals = decimals;
    columns_.push_back(def);
    for (auto& row : rows_) row.emplace_back();
  }

  // Direct access for tests that set up or inspect cells without the cursor.
  const Value& Cell(int row, int column) const { return rows_[row][column]; }
  void SetCell(int row, int column, Value value) { rows_[row][column] = std::move(value); }

  void SetTablePath(std::filesystem::path path) { SetPath(std::move(path)); }
  void SetFormat(TableFormat format) { format_ = format; }
  void SetCodePage(int code_page) { code_page_ = code_page; }

  // --- Table ---
  int ColumnCount() const override { return static_cast<int>(columns_.size()); }
  const ColumnDef& Column(int index) const override { return columns_[index]; }
  int RecordCount() const override { return static_cast<int>(rows_.size()); }

  bool IsNullAt(int row, int column) const override {
    const Value* v = At(row, column);
    return v == nullptr || IsNullValue(*v);
  }

  float AsFloatAt(int row, int column) const override {
    const Value* v = At(row, column);
    if (v == nullptr || !IsNumeric(columns_[column].kind)) return 0.0f;
    if (const bool* b = std::get_if<bool>(v)) return *b ? 1.0f : 0.0f;
    if (const int64_t* i = std::get_if<int64_t>(v)) return static_cast<float>(*i);
    if (const double* d = std::get_if<double>(v)) return static_cast<float>(*d);
    return 0.0f;
  }

  Value ValueAt(int row, int column) const override {
    const Value* v = At(row, column);
    return v == nullptr ? Value{} : *v;
  }

  Status SetValueAt(int row, int column, const Value& value) override {
    if (row < 0 || row >= RecordCount()) return Status::Invalid("нет текущей записи");
    if (column < 0 || column >= ColumnCount()) return Status::Invalid("нет такого поля");
    Value converted;
    VELMAR_RETURN_IF_ERROR(Convert(columns_[column].kind, value, converted));
    rows_[row][column] = std::move(converted);
    SetModified(true);
    return Status::Ok();
  }

  TableFormat Format() const override { return format_; }
  int CodePage() const override { return code_page_; }

 protected:
  Status AppendRecord() override {
    rows_.emplace_back(columns_.size());
    MoveTo(RecordCount() - 1);
    SetModified(true);
    return Status::Ok();
  }

  Status InsertRecord() override {
    const int at = Position();
    rows_.insert(rows_.begin() + at, std::vector<Value>(columns_.size()));
    MoveTo(at);
    SetModified(true);
    return Status::Ok();
  }

  Status DeleteRecord() override {
    if (Eof()) return Status::Invalid("нет текущей записи");
    const int at = Position();
    rows_.erase(rows_.begin() + at);
    MoveTo(at);
    SetModified(true);
    return Status::Ok();
  }

 private:
  const Value* At(int row, int column) const {
    if (row < 0 || row >= RecordCount() || column < 0 || column >= ColumnCount()) return nullptr;
    return &rows_[row][column];
  }

  static char NativeType(FieldKind kind) {
    switch (kind) {
      case FieldKind::kText:
        return 'C';
      case FieldKind::kBoolean:
        return 'L';
      case FieldKind::kDate:
        return 'D';
      case FieldKind::kMemo:
        return 'M';
      case FieldKind::kFloat:
        return 'F';
      default:
        return 'N';
    }
  }
  static int DefaultLength(FieldKind kind) {
    switch (kind) {
      case FieldKind::kText:
        return 20;
      case FieldKind::kBoolean:
        return 1;
      case FieldKind::kDate:
        return 8;
      case FieldKind::kMemo:
        return 10;
      default:
        return 20;
    }
  }

  static Status Convert(FieldKind kind, const Value& in, Value& out) {
    if (IsNullValue(in)) {
      out = Value{};
      return Status::Ok();
    }
    const double* d = std::get_if<double>(&in);
    const int64_t* i = std::get_if<int64_t>(&in);
    const bool* b = std::get_if<bool>(&in);
    switch (CategoryOf(kind)) {
      case NumericCategory::kFloat:
      case NumericCategory::kCurrency:
        if (d)
          out = *d;
        else if (i)
          out = static_cast<double>(*i);
        else if (b)
          out = *b ? 1.0 : 0.0;
        else
          return Status::Invalid("значение не подходит к типу поля");
        return Status::Ok();
      case NumericCategory::kSmallInt:
      case NumericCategory::kInteger:
      case NumericCategory::kWord:
        if (i)
          out = *i;
        else if (d && std::isfinite(*d))
          out = static_cast<int64_t>(std::llround(*d));
        else if (b)
          out = static_cast<int64_t>(*b);
        else
          return Status::Invalid("значение не подходит к типу поля");
        return Status::Ok();
      case NumericCategory::kBoolean:
        if (b)
          out = *b;
        else if (i)
          out = *i != 0;
        else if (d)
          out = *d != 0.0;
        else
          return Status::Invalid("значение не подходит к типу поля");
        return Status::Ok();
      case NumericCategory::kNone:
        break;
    }
    out = in;
    return Status::Ok();
  }

  std::vector<ColumnDef> columns_;
  std::vector<std::vector<Value>> rows_;
  TableFormat format_{TableFamily::kDbase, 0};
  int code_page_ = 1251;
};

}  // namespace velmar::testing_support

#endif  // VELMAR_TESTS_SUPPORT_MEMORY_TABLE_H_
