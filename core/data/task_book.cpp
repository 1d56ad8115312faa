#include "core/data/task_book.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace velmar {

TaskBook::TaskBook(int32_t num_inputs, int32_t num_outputs, int32_t num_out_fields)
    : num_out_fields_(std::max(num_out_fields, 0)),
      num_inputs_(std::max(num_inputs, 0)),
      num_outputs_(std::max(num_outputs, 0)) {
  row_width_ = num_inputs_ + num_outputs_ + num_out_fields_ + 1;
}

bool TaskBook::Next() {
  if (static_cast<uint32_t>(current_) + 1 >= count_) return false;
  ++current_;
  return true;
}

bool TaskBook::GoTo(int64_t n) {
  if (n < 1 || n > static_cast<int64_t>(count_)) return false;
  current_ = static_cast<int32_t>(n - 1);
  return true;
}

std::span<const float> TaskBook::Inputs() const {
  if (static_cast<uint32_t>(current_) >= count_) return {};
  return {RowInputs(current_), static_cast<size_t>(num_inputs_)};
}

std::span<const float> TaskBook::Targets() const {
  if (static_cast<uint32_t>(current_) >= count_) return {};
  return {RowTargets(current_), static_cast<size_t>(num_outputs_)};
}

std::span<const float> TaskBook::Weights() const {
  if (static_cast<uint32_t>(current_) >= count_) return {};
  return {RowWeights(current_), static_cast<size_t>(num_out_fields_)};
}

int32_t TaskBook::RecordNumber() const {
  if (static_cast<uint32_t>(current_) >= count_) return 0;
  return RowRecordNumber(current_);
}

// The record number lives in the last cell of the row as the bits of an int32.
int32_t TaskBook::RowRecordNumber(uint32_t row) const {
  if (row >= count_) return 0;
  const float cell = rows_[size_t{row} * row_width_ + row_width_ - 1];
  return std::bit_cast<int32_t>(cell);
}

void TaskBook::SetRecordNumber(uint32_t row, int32_t record_number) {
  if (row >= count_) return;
  rows_[size_t{row} * row_width_ + row_width_ - 1] = std::bit_cast<float>(record_number);
}

void TaskBook::SetWeight(uint32_t row, int32_t out_field, float weight) {
  if (row >= count_ || out_field < 0 || out_field >= num_out_fields_) return;
  rows_[size_t{row} * row_width_ + num_inputs_ + num_outputs_ + out_field] = weight;
}

void TaskBook::Append(std::span<const float> inputs, std::span<const float> targets) {
  if (count_ == 0) {
    rows_.assign(size_t{kGrowBy} * row_width_, 0.0f);
    free_rows_ = kGrowBy;
  } else if (free_rows_ == 0) {
    rows_.resize((size_t{count_} + kGrowBy) * row_width_, 0.0f);
    free_rows_ = kGrowBy;
  }
  float* row = rows_.data() + size_t{count_} * row_width_;
  // Short vectors leave the rest of their cells at zero.
  std::copy_n(inputs.begin(), std::min<size_t>(inputs.size(), num_inputs_), row);
  std::copy_n(targets.begin(), std::min<size_t>(targets.size(), num_outputs_), row + num_inputs_);
  ++count_;
  --free_rows_;
}

namespace {

// The class of a row for one discrete output: the last state whose target
// code is +1, the first state when none is.
int ClassOf(const float* codes, int states) {
  int found = 0;
  for (int k = 0; k < states; ++k) {
    if (codes[k] == 1.0f) found = k;
  }
  return found;
}

// Offset of each output field's codes within the targets, in field order.
std::vector<int> OutputOffsets(const DataDescription& desc) {
  std::vector<int> offsets;
  int at = 0;
  for (const FieldDescription& f : desc.Fields) {
    if (f.Usage != FieldUsage::Output) continue;
    offsets.push_back(at);
    at += FieldWidth(f);
  }
  return offsets;
}

void ComputeExampleWeights(TaskBook& book, const DataDescription& desc) {
  const std::vector<int> offsets = OutputOffsets(desc);
  std::vector<const FieldDescription*> outputs;
  for (const FieldDescription& f : desc.Fields) {
    if (f.Usage == FieldUsage::Output) outputs.push_back(&f);
  }
  const int fields = std::min<int>(static_cast<int>(outputs.size()), book.NumOfOutFields());
  std::vector<int32_t> largest(fields, 0);
  for (int f = 0; f < fields; ++f) {
    for (int32_t c : outputs[f]->ClassCounts) largest[f] = std::max(largest[f], c);
  }
  for (uint32_t row = 0; row < book.Count(); ++row) {
    const float* targets = book.RowTargets(row);
    for (int f = 0; f < fields; ++f) {
      const FieldDescription& field = *outputs[f];
      float weight = 1.0f;
      const int states = FieldWidth(field);
      if (field.IsDiscrete != 0 && offsets[f] + states <= book.NumOfOutputs()) {
        const int k = ClassOf(targets + offsets[f], states);
        if (k < static_cast<int>(field.ClassCounts.size()) && field.ClassCounts[k] > 0) {
          const double ratio =
              static_cast<double>(largest[f]) / static_cast<double>(field.ClassCounts[k]);
          weight = static_cast<float>(std::log(ratio) + 1.0);
        }
      }
      book.SetWeight(row, f, weight);
    }
  }
}

}  // namespace

void BuildTaskBook(TaskBook& book, const Table& table, DataDescription& desc, bool extend_taskbook,
                   Host& host) {
  BusyCursor busy(host);
  book = TaskBook(desc.NumOfInputs, desc.NumOfOutputs, desc.NumOfOutFields);
  if (!CheckDataFile(table, desc, host)) return;

  const bool count_classes = desc.NumOfOutFields < desc.NumOfOutputs;
  if (count_classes) {
    for (FieldDescription& f : desc.Fields) {
      if (f.Usage == FieldUsage::Output && f.IsDiscrete != 0) {
        f.ClassCounts.assign(std::max(f.NumOfDiscreteStates, 0), 0);
      }
    }
  }
  const std::vector<int> offsets = OutputOffsets(desc);

  std::vector<float> inputs(book.NumOfInputs());
  std::vector<float> targets(book.NumOfOutputs());
  for (int row = 0; row < table.RecordCount(); ++row) {
    bool inputs_ok = false;
    bool targets_ok = false;
    std::fill(inputs.begin(), inputs.end(), 0.0f);
    std::fill(targets.begin(), targets.end(), 0.0f);
    CodeRecord(table, row, desc, extend_taskbook, inputs, targets, inputs_ok, targets_ok);
    if (inputs_ok && targets_ok) {
      book.Append(inputs, targets);
      book.SetRecordNumber(book.Count() - 1, table.RecordNumberAt(row));
      if (count_classes) {
        int f = 0;
        for (FieldDescription& field : desc.Fields) {
          if (field.Usage != FieldUsage::Output) continue;
          const int states = FieldWidth(field);
          if (field.IsDiscrete != 0 && offsets[f] + states <= book.NumOfOutputs()) {
            const int k = ClassOf(targets.data() + offsets[f], states);
            if (k < static_cast<int>(field.ClassCounts.size())) ++field.ClassCounts[k];
          }
          ++f;
        }
      }
    }
  }

  if (book.Count() > 0) ComputeExampleWeights(book, desc);
}

}  // namespace velmar
