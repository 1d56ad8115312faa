#ifndef VELMAR_CORE_DATA_DATA_DESCRIPTION_H_
#define VELMAR_CORE_DATA_DATA_DESCRIPTION_H_

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/base/host.h"
#include "core/tables/table.h"

namespace velmar {

// The largest float32: marks an unset state range and an unset minimum.
constexpr float kUnsetValue = 3.4028235e38f;
constexpr int kMaxStates = 20;
constexpr int kMaxLayers = 10;
constexpr int kMaxNeuronsPerLayer = 100;
constexpr uint32_t kAllStatesMask = 0xffff;

enum class FieldUsage : int32_t { NotNumeric = 0, NotUsed = 1, Input = 2, Output = 3 };
enum class FieldType : uint8_t { Continuous = 0, Discrete = 1 };

struct StateRange {
  float From = kUnsetValue;
  float To = kUnsetValue;
  friend bool operator==(const StateRange&, const StateRange&) = default;
};

// How one table field is used by a network and coded into its signals.
struct FieldDescription {
  std::string Name;  // UTF-8; matched exactly against the table's column names
  FieldUsage Usage = FieldUsage::Input;
  float Gap = 0;
  float MinValue = kUnsetValue;
  float MaxValue = -kUnsetValue;
  uint8_t IsDiscrete = 0;   // FieldType
  uint8_t Predecessor = 0;  // 1: ordered states, thermometer coding
  int32_t NumOfDiscreteStates = 0;
  uint32_t StateMask = kAllStatesMask;
  std::vector<StateRange> States;    // empty when absent, else kMaxStates pairs
  std::vector<int32_t> ClassCounts;  // transient, filled while a taskbook is built

  friend bool operator==(const FieldDescription& a, const FieldDescription& b) {
    return a.Name == b.Name && a.Usage == b.Usage && a.Gap == b.Gap && a.MinValue == b.MinValue &&
           a.MaxValue == b.MaxValue && a.IsDiscrete == b.IsDiscrete &&
           a.Predecessor == b.Predecessor && a.NumOfDiscreteStates == b.NumOfDiscreteStates &&
           a.StateMask == b.StateMask && a.States == b.States;
  }
};

// The architecture of one network and the coding of its fields.
struct DataDescription {
  std::string Name;
  uint8_t IsMonotonical = 0;
  int32_t NumOfLayers = 3;
  int32_t NumOfInpFields = 0;
  int32_t NumOfOutFields = 0;
  int32_t NumOfInputs = 0;
  int32_t NumOfOutputs = 0;
  std::array<int32_t, kMaxLayers> NumOfNeurons{};
  std::array<int32_t, kMaxLayers> NeuronType{};
  std::array<float, kMaxLayers> Characteristic{};
  int32_t NumOfFields = 0;
  std::vector<FieldDescription> Fields;
  std::vector<int32_t> FieldColumn;  // rebuilt by CheckDataFile; not stored

  friend bool operator==(const DataDescription& a, const DataDescription& b) {
    return a.Name == b.Name && a.IsMonotonical == b.IsMonotonical &&
           a.NumOfLayers == b.NumOfLayers && a.NumOfInpFields == b.NumOfInpFields &&
           a.NumOfOutFields == b.NumOfOutFields && a.NumOfInputs == b.NumOfInputs &&
           a.NumOfOutputs == b.NumOfOutputs && a.NumOfNeurons == b.NumOfNeurons &&
           a.NeuronType == b.NeuronType && a.Characteristic == b.Characteristic &&
           a.NumOfFields == b.NumOfFields && a.Fields == b.Fields;
  }
};

// Per-column statistics of the open table that seed new descriptions.
using FieldTemplate = std::vector<FieldDescription>;

// One entry per column with the initial statistics (no records counted yet).
FieldTemplate InitFieldTemplate(const Table& table);
// Adds the record at `row` of `table` to the statistics.
void AddRecordToFieldTemplate(FieldTemplate& field_template, const Table& table, int row);
// Adds the current record of `table` to the statistics.
inline void AddRecordToFieldTemplate(FieldTemplate& field_template, const Table& table) {
  AddRecordToFieldTemplate(field_template, table, table.Position());
}
// Counts every record and puts the cursor on the first.
FieldTemplate BuildFieldTemplate(Table& table);

// The default description of a new network named "Network" + (counter + 1).
DataDescription NewDescription(const FieldTemplate& field_template, int32_t net_name_counter);
// The description of a copy of `source` (only its inputs and outputs).
DataDescription CloneDescription(const DataDescription& source, int32_t net_name_counter);
// Recounts NumOfInpFields/NumOfOutFields/NumOfInputs/NumOfOutputs from the fields
// (NotUsed fields count as inputs when `not_used_as_inputs`).
void RecountDescription(DataDescription& desc, bool not_used_as_inputs);

// Switches a field of usage Input or Output between continuous and discrete.
void SetFieldType(DataDescription& desc, int field, bool to_discrete);
int FieldWidth(const FieldDescription& field);

// Matches the fields against the table's columns and fills FieldColumn; on a
// missing field shows "В файле данных нет поля <name>" / "Несовместимый файл
// данных" through `host` and returns false.
bool CheckDataFile(const Table& table, DataDescription& desc, Host& host);
// Refuses a table two of whose columns share a name: a network finds its
// fields by name, so both would read the first column. The message names it.
Status CheckDistinctColumnNames(const Table& table);

// Codes the record at `row` of `table` into `inputs` (NumOfInputs) and
// `targets` (NumOfOutputs). `inputs_ok` / `targets_ok` are false when that
// vector does not exist for this record. CheckDataFile must have succeeded.
void CodeRecord(const Table& table, int row, const DataDescription& desc, bool extend_taskbook,
                std::span<float> inputs, std::span<float> targets, bool& inputs_ok,
                bool& targets_ok);
// The same for the current record.
inline void CodeRecord(const Table& table, const DataDescription& desc, bool extend_taskbook,
                       std::span<float> inputs, std::span<float> targets, bool& inputs_ok,
                       bool& targets_ok) {
  CodeRecord(table, table.Position(), desc, extend_taskbook, inputs, targets, inputs_ok,
             targets_ok);
}

// The answer for one output field, decoded from its slice of network outputs.
struct DecodedOutput {
  std::string text;  // the value (FormatReal) or "Класс k" / "Класс неизвестен"
  float value = 0;   // continuous fields: the decoded value
  int class_index = -1;            // discrete fields: 0-based class, -1 unknown
  int true_class = -1;             // discrete fields with targets: 0-based true class, -1 none
  float confidence = kUnsetValue;  // discrete fields
  std::string confidence_text;     // "100%", "50%", ...
};
DecodedOutput DecodeOutputs(const FieldDescription& field, std::span<const float> outputs,
                            std::span<const float> targets, char decimal_separator);

// One name per input signal, for every field that is not an output.
std::vector<std::string> InputSignalNames(const DataDescription& desc);

}  // namespace velmar

#endif  // VELMAR_CORE_DATA_DATA_DESCRIPTION_H_
