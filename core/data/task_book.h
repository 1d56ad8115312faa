#ifndef VELMAR_CORE_DATA_TASK_BOOK_H_
#define VELMAR_CORE_DATA_TASK_BOOK_H_

#include <cstdint>
#include <span>
#include <vector>

#include "core/base/host.h"
#include "core/data/data_description.h"
#include "core/tables/table.h"

namespace velmar {

// The coded training set of one network: one row per usable record, each row
// holding the input signals, the target codes, one example weight per output
// field and the record number, in one contiguous block of 4-byte cells.
class TaskBook {
 public:
  static constexpr int32_t kGrowBy = 100;

  TaskBook() = default;
  TaskBook(int32_t num_inputs, int32_t num_outputs, int32_t num_out_fields);

  uint32_t Count() const { return count_; }
  void First() { current_ = 0; }
  // False on the last row (the cursor stays there).
  bool Next();
  int32_t Position() const { return current_ + 1; }
  // For 1 <= n <= Count: moves there and returns true; otherwise false.
  bool GoTo(int64_t n);

  // Views of the current row; empty when there are no rows.
  std::span<const float> Inputs() const;
  std::span<const float> Targets() const;
  std::span<const float> Weights() const;
  int32_t RecordNumber() const;

  // Views of any row (0-based), for passes that do not move the cursor.
  const float* RowInputs(uint32_t row) const { return rows_.data() + size_t{row} * row_width_; }
  const float* RowTargets(uint32_t row) const { return RowInputs(row) + num_inputs_; }
  const float* RowWeights(uint32_t row) const { return RowTargets(row) + num_outputs_; }
  int32_t RowRecordNumber(uint32_t row) const;

  // Adds a row (weights 0, record number 0); the cursor does not move.
  void Append(std::span<const float> inputs, std::span<const float> targets);
  void SetRecordNumber(uint32_t row, int32_t record_number);
  void SetWeight(uint32_t row, int32_t out_field, float weight);

  int32_t NumOfInputs() const { return num_inputs_; }
  int32_t NumOfOutputs() const { return num_outputs_; }
  int32_t NumOfOutFields() const { return num_out_fields_; }
  int32_t RowWidth() const { return row_width_; }
  int32_t FreeRows() const { return free_rows_; }
  // Rows the block has room for.
  uint32_t Capacity() const { return count_ + static_cast<uint32_t>(free_rows_); }

 private:
  int32_t num_out_fields_ = 0;
  uint32_t count_ = 0;
  int32_t current_ = 0;
  int32_t num_inputs_ = 0;
  int32_t num_outputs_ = 0;
  int32_t row_width_ = 1;
  std::vector<float> rows_;
  int32_t free_rows_ = 0;
};

// Fills `book` from every usable record of `table` (see CodeRecord), with the
// class counts of discrete outputs and the example weights. Leaves `book`
// empty (and the message shown) when CheckDataFile fails.
void BuildTaskBook(TaskBook& book, const Table& table, DataDescription& desc, bool extend_taskbook,
                   Host& host);

}  // namespace velmar

#endif  // VELMAR_CORE_DATA_TASK_BOOK_H_
