#ifndef VELMAR_CORE_TABLES_TABLE_H_
#define VELMAR_CORE_TABLES_TABLE_H_

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/base/status.h"

namespace velmar {

// What a column holds, independent of the file format.
enum class FieldKind {
  kText,
  kSmallInt,
  kInteger,
  kWord,  // unsigned 16-bit
  kBoolean,
  kFloat,
  kCurrency,
  kDate,
  kTime,
  kTimestamp,
  kAutoIncrement,
  kBcd,
  kMemo,  // text memo
  kFormattedMemo,
  kBinary,  // binary blob or binary memo
  kOle,
  kGraphic,
  kBytes,      // fixed-length raw bytes
  kNullFlags,  // Visual FoxPro's hidden _NullFlags column
  kOther,
};

// The numeric categories the networks can use; every other kind is not numeric.
enum class NumericCategory { kNone, kSmallInt, kInteger, kWord, kBoolean, kFloat, kCurrency };

NumericCategory CategoryOf(FieldKind kind);
inline bool IsNumeric(FieldKind kind) { return CategoryOf(kind) != NumericCategory::kNone; }
// "numeric-float", "text", ... as the fixture dumps name categories and kinds.
const char* CategoryName(NumericCategory category);
const char* KindName(FieldKind kind);

struct ColumnDef {
  std::string name;  // UTF-8
  FieldKind kind = FieldKind::kText;
  char native_type = 'C';  // the format's own type letter
  int length = 0;          // bytes in the record (text: characters)
  int decimals = 0;
  uint8_t flags = 0;  // Visual FoxPro field flags (0x02 nullable, ...)
};

struct Date {
  int32_t year = 0, month = 0, day = 0;
  friend bool operator==(const Date&, const Date&) = default;
};
struct TimeOfDay {
  int32_t milliseconds = 0;  // since midnight
  friend bool operator==(const TimeOfDay&, const TimeOfDay&) = default;
};
struct Timestamp {
  Date date;
  int32_t milliseconds = 0;
  friend bool operator==(const Timestamp&, const Timestamp&) = default;
};
using Bytes = std::vector<uint8_t>;

// One cell, format-neutral. Integers, booleans and autoincrements are int64 or
// bool; floats, currency and BCD are double; text and text memos are UTF-8
// strings; binary blobs and raw bytes are Bytes.
using Value = std::variant<std::monostate, bool, int64_t, double, std::string, Date, TimeOfDay,
                           Timestamp, Bytes>;

inline bool IsNullValue(const Value& v) { return std::holds_alternative<std::monostate>(v); }

enum class TableFamily { kParadox, kDbase, kFoxPro };

// A file format the editor can write: Paradox at levels 3, 4, 5 and 7, dBase
// (level 0) and FoxPro (level 25).
struct TableFormat {
  TableFamily family = TableFamily::kDbase;
  int level = 0;
  friend bool operator==(const TableFormat&, const TableFormat&) = default;
};

// The six formats by their 1-based filter index: Paradox 3.5, 4, 5, for
// Win32, dBase, FoxPro. Out-of-range indexes give nullopt-like false.
bool FormatFromIndex(int index, TableFormat& format);

// An open table: its columns, its records held in memory and a cursor over
// them. Edits change only the memory; the file on disk changes on Save.
class Table {
 public:
  virtual ~Table() = default;

  // --- Columns ---
  virtual int ColumnCount() const = 0;
  virtual const ColumnDef& Column(int index) const = 0;

  // --- Records and the cursor ---
  virtual int RecordCount() const = 0;
  void First() { position_ = 0; }
  void Next() {
    if (position_ < RecordCount()) ++position_;
  }
  bool Eof() const { return position_ >= RecordCount(); }
  // The number the user sees for the current record: its 1-based position.
  // Formats that skip deleted records report the position in the file.
  int RecordNumber() const { return RecordNumberAt(position_); }
  int Position() const { return position_; }
  // Moves to a 0-based position, clamped to [0, RecordCount()].
  void MoveTo(int position);

  using Mark = int;
  Mark MarkPosition() const { return position_; }
  void ReturnToMark(Mark mark) { MoveTo(mark); }

  // Views that show the table (the editor's grid) stop following the cursor
  // between Suspend and Resume; calls nest.
  void SuspendViews();
  void ResumeViews();
  bool ViewsSuspended() const { return suspend_depth_ > 0; }
  void SetViewListener(std::function<void(bool suspended)> listener) {
    view_listener_ = std::move(listener);
  }

  // --- Values by row ---
  // Rows are 0-based positions, read without moving the cursor; a row or
  // column out of range reads as null (0 for AsFloatAt).
  virtual bool IsNullAt(int row, int column) const = 0;
  // The engine's numeric conversion: integers exactly, booleans as 0 and 1,
  // currency and floats rounded to float32, null and non-numeric as 0.
  virtual float AsFloatAt(int row, int column) const = 0;
  virtual Value ValueAt(int row, int column) const = 0;
  // The number the user sees for a record, as RecordNumber().
  virtual int RecordNumberAt(int row) const { return row + 1; }
  // Sets a column of a record; the value is converted to the column's type,
  // and refused when the type cannot hold it.
  virtual Status SetValueAt(int row, int column, const Value& value);

  // --- Values of the current record ---
  bool IsNull(int column) const { return IsNullAt(position_, column); }
  float AsFloat(int column) const { return AsFloatAt(position_, column); }
  Value GetValue(int column) const { return ValueAt(position_, column); }

  // --- Editing (in memory) ---
  // Sets a column of the current record, as SetValueAt.
  Status SetValue(int column, const Value& value) { return SetValueAt(position_, column, value); }
  // Adds a blank record at the end and makes it current.
  Status Append();
  // Adds a blank record before the current one and makes it current; the
  // records from there on move down one row.
  Status Insert();
  // Removes the current record; the next one becomes current, or the new
  // last one when the last was removed.
  Status Delete();
  // Ends the edit of the current record.
  Status Post() { return PostAt(position_); }
  // Ends the edit of the record at `row` (a grid edits any row).
  Status PostAt(int row);

  // Told the row of a record after it is posted, appended or inserted (a new
  // record is blank until posted again), so that what is derived from the
  // records can follow them.
  void SetPostHook(std::function<void(int row)> hook) { post_hook_ = std::move(hook); }
  // Told the row a record had after it is deleted; the rows after it have
  // moved up one.
  void SetDeleteHook(std::function<void(int row)> hook) { delete_hook_ = std::move(hook); }

  // --- Files ---
  virtual TableFormat Format() const = 0;
  virtual int CodePage() const = 0;
  const std::filesystem::path& Path() const { return path_; }
  // Writes the whole table to Path() in its own format, atomically with its
  // companion files.
  virtual Status Save();
  // Writes the table to `path` in `format` (converting when it differs) and
  // makes `path` the table's file. Only within one family (Paradox, or
  // dBase and FoxPro): for the other family a converted copy is written and
  // this table stays bound to its own file; SaveTableAs (table_convert.h)
  // continues with the copy.
  virtual Status SaveAs(const std::filesystem::path& path, const TableFormat& format);
  bool Modified() const { return modified_; }

  // --- Dumps ---
  // Format-specific header facts for `velmar-cli table dump --json`: pairs of
  // key and ready-made JSON text, in the order they are to be written.
  virtual std::vector<std::pair<std::string, std::string>> DumpFacts() const { return {}; }
  // Extra per-column pairs (key, JSON text) written after the common ones.
  virtual std::vector<std::pair<std::string, std::string>> ColumnDumpFacts(int) const { return {}; }
  // The dump's "kind" of a non-numeric column.
  virtual std::string DumpKind(int column) const { return KindName(Column(column).kind); }
  // The JSON text of a value when the format writes it its own way (stored
  // digits, blob lengths); empty for the generic form.
  virtual std::string ValueJsonAt(int /*row*/, int /*column*/) const { return {}; }
  std::string ValueJson(int column) const { return ValueJsonAt(position_, column); }

 protected:
  void SetPath(std::filesystem::path path) { path_ = std::move(path); }
  void SetModified(bool modified) { modified_ = modified; }
  // What Append, Insert and Delete do to the records and the cursor; the
  // hooks are told afterwards.
  virtual Status AppendRecord();
  virtual Status InsertRecord();
  virtual Status DeleteRecord();

 private:
  int position_ = 0;
  int suspend_depth_ = 0;
  bool modified_ = false;
  std::filesystem::path path_;
  std::function<void(bool)> view_listener_;
  std::function<void(int)> post_hook_;
  std::function<void(int)> delete_hook_;
};

}  // namespace velmar

#endif  // VELMAR_CORE_TABLES_TABLE_H_
