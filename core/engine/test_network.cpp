#include "core/engine/test_network.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>
#include <string_view>
#include <variant>

#include "core/base/file_util.h"
#include "core/base/format_real.h"
#include "core/base/number_text.h"
#include "core/data/data_description.h"
#include "core/engine/propagation.h"

namespace velmar {
namespace {

// Shown as the mean error of a field none of whose records had a value to
// compare with, instead of dividing zero by zero.
constexpr const char* kNoComparedRecords = "нет данных";

// One output field of the description and where its pieces live.
struct OutputField {
  int field = 0;   // index into Desc.Fields
  int column = 0;  // table column
  int offset = 0;  // first network output
  int width = 1;   // network outputs
  int stats = 0;   // first entry of its statistics block
  bool discrete = false;
};

std::vector<OutputField> OutputFields(const DataDescription& desc) {
  std::vector<OutputField> fields;
  int offset = 0;
  for (int i = 0; i < static_cast<int>(desc.Fields.size()); ++i) {
    const FieldDescription& f = desc.Fields[i];
    if (f.Usage != FieldUsage::Output) continue;
    OutputField out;
    out.field = i;
    out.column = i < static_cast<int>(desc.FieldColumn.size()) ? desc.FieldColumn[i] : -1;
    out.offset = offset;
    out.width = FieldWidth(f);
    out.stats = 4 * offset;
    out.discrete = f.IsDiscrete != 0;
    offset += out.width;
    fields.push_back(out);
  }
  return fields;
}

// The value of a numeric column as a real number, without the float32
// rounding of AsFloat where the column holds more.
double ReadReal(const Table& table, int row, int column) {
  const Value value = table.ValueAt(row, column);
  if (const double* d = std::get_if<double>(&value)) return *d;
  if (const int64_t* i = std::get_if<int64_t>(&value)) return static_cast<double>(*i);
  if (const bool* b = std::get_if<bool>(&value)) return *b ? 1.0 : 0.0;
  return table.AsFloatAt(row, column);
}

// Moves a fresh string in; assigning literals in place trips a false
// -Wrestrict warning of GCC 12.
void Put(std::vector<std::string>& row, size_t column, std::string text) {
  row[column] = std::move(text);
}

std::string CountText(double n, double total, char separator) {
  const double base = total == 0 ? 1 : total;
  return std::to_string(static_cast<long long>(n)) + " (" +
         FormatReal(100.0 * n / base, separator) + "%)";
}

class GridBuilder {
 public:
  GridBuilder(NeuralNet& net, EngineContext& context, TestGrid& grid)
      : net_(net),
        desc_(net.Desc),
        separator_(context.host.DecimalSeparator()),
        grid_(grid),
        fields_(OutputFields(net.Desc)),
        stats_(static_cast<size_t>(4 * net.Desc.NumOfOutputs), 0.0f),
        error_sum_(fields_.size(), 0.0),
        error_max_(fields_.size(), 0.0) {}

  void Run(Table& table, bool extend_taskbook) {
    grid_ = TestGrid{};
    grid_.Caption = "Тестирование " + desc_.Name;
    grid_.ColumnCount = 4 * static_cast<int>(fields_.size()) + 1;
    WriteHeader();

    const float* saved_inputs = net_.CurInputs;
    std::vector<float> inputs(static_cast<size_t>(desc_.NumOfInputs));
    std::vector<float> targets(static_cast<size_t>(desc_.NumOfOutputs));
    for (int record = 0; record < table.RecordCount(); ++record) {
      std::vector<std::string> row = EmptyRow();
      row[0] = std::to_string(grid_.Rows.size());
      FillActual(table, record, row);
      bool inputs_ok = false;
      bool targets_ok = false;
      CodeRecord(table, record, desc_, extend_taskbook, inputs, targets, inputs_ok, targets_ok);
      if (inputs_ok) {
        net_.CurInputs = inputs.data();
        Forward(net_);
        DecodeRow(row, targets_ok ? std::span<const float>(targets) : std::span<const float>());
      }
      grid_.Rows.push_back(std::move(row));
      ++grid_.Records;
    }
    net_.CurInputs = saved_inputs;

    Summary();
    if (desc_.NumOfOutFields != desc_.NumOfOutputs) ClassSummary();
    grid_.FixedRows = 1;
  }

 private:
  std::vector<std::string> EmptyRow() const {
    return std::vector<std::string>(static_cast<size_t>(grid_.ColumnCount));
  }

  void WriteHeader() {
    std::vector<std::string> row = EmptyRow();
    Put(row, 0, "№");
    for (size_t a = 0; a < fields_.size(); ++a) {
      const FieldDescription& f = desc_.Fields[fields_[a].field];
      row[4 * a + 1] = f.Name;
      Put(row, 4 * a + 2, "Прогноз сети");
      row[4 * a + 3] = fields_[a].discrete ? "Уверенность" : "Ошибка";
    }
    grid_.Rows.push_back(std::move(row));
  }

  void FillActual(const Table& table, int record, std::vector<std::string>& row) const {
    for (size_t a = 0; a < fields_.size(); ++a) {
      const OutputField& out = fields_[a];
      if (out.column < 0 || table.IsNullAt(record, out.column)) continue;
      const FieldDescription& f = desc_.Fields[out.field];
      if (!out.discrete) {
        row[4 * a + 1] = FormatReal(ReadReal(table, record, out.column), separator_);
        continue;
      }
      // States are matched on the float32 value, as the coding does.
      const float x = table.AsFloatAt(record, out.column);
      int state = -1;
      const int states = std::min<int>(f.NumOfDiscreteStates, static_cast<int>(f.States.size()));
      for (int s = 0; s < states; ++s) {
        if (f.States[s].From <= x && x <= f.States[s].To) state = s;
      }
      if (state >= 0) row[4 * a + 1] = "Класс " + std::to_string(state + 1);
    }
  }

  void DecodeRow(std::vector<std::string>& row, std::span<const float> targets) {
    for (size_t a = 0; a < fields_.size(); ++a) {
      const OutputField& out = fields_[a];
      const FieldDescription& f = desc_.Fields[out.field];
      std::string& c1 = row[4 * a + 2];
      std::string& c2 = row[4 * a + 3];
      std::string& c3 = row[4 * a + 4];
      const std::span<const float> outputs(net_.Outputs.data() + out.offset,
                                           static_cast<size_t>(out.width));
      const std::span<const float> field_targets =
          targets.empty()
              ? targets
              : targets.subspan(static_cast<size_t>(out.offset), static_cast<size_t>(out.width));
      const DecodedOutput decoded = DecodeOutputs(f, outputs, field_targets, separator_);
      c1 = decoded.text;
      float* stats = stats_.data() + out.stats;
      if (out.discrete) {
        const int k = out.width;
        c2 = decoded.confidence_text;
        const int actual = decoded.true_class;
        if (actual < 0 || actual >= k) {
          c3.assign(1, '3');
          continue;
        }
        if (decoded.class_index != actual) {
          c3.assign(1, '2');
          stats[2 * k + actual] += 1;
        } else if (decoded.confidence < 1) {
          c3.assign(1, '1');
          stats[3 * k + actual] += 1;
        } else {
          stats[k + actual] += 1;
        }
        stats[actual] += 1;
        continue;
      }
      // The error is measured against the actual value as shown.
      const std::optional<double> shown =
          row[4 * a + 1].empty() ? std::nullopt
                                 : ParseRealText(row[4 * a + 1], kShownNumberSyntax, separator_);
      if (!shown) {
        c3.assign(1, '3');
        continue;
      }
      // Taken in double: the shown text is decimal, and its float32 rounding
      // would show as noise ("0.4000001") and could push it past the Gap.
      const double d = *shown - static_cast<double>(decoded.value);
      const double magnitude = std::fabs(d);
      c2 = FormatReal(d, separator_);
      // Written so that a NaN forecast counts as wrong.
      if (!(magnitude <= f.Gap)) {
        c3.assign(1, '2');
      } else {
        c3.assign(1, '0');
        stats[1] += 1;
      }
      // The sum and maximum are kept wide: near the float32 limit a float sum
      // would overflow to infinity; a NaN stays NaN, so no mean hides it.
      error_sum_[a] += magnitude;
      if (!(magnitude <= error_max_[a])) error_max_[a] = magnitude;
      stats[0] += 1;
    }
  }

  struct Counts {
    double correct = 0, uncertain = 0, wrong = 0;
    double total() const { return correct + uncertain + wrong; }
  };

  Counts FieldCounts(const OutputField& out) const {
    const float* stats = stats_.data() + out.stats;
    Counts counts;
    if (!out.discrete) {
      counts.correct = stats[1];
      counts.wrong = stats[0] - stats[1];
      return counts;
    }
    const int k = out.width;
    for (int s = 0; s < k; ++s) {
      counts.correct += stats[k + s];
      counts.wrong += stats[2 * k + s];
      counts.uncertain += stats[3 * k + s];
    }
    return counts;
  }

  void Summary() {
    bool any_discrete = false;
    bool any_continuous = false;
    std::vector<Counts> counts;
    for (const OutputField& out : fields_) {
      (out.discrete ? any_discrete : any_continuous) = true;
      counts.push_back(FieldCounts(out));
    }
    for (size_t a = 0; a < fields_.size(); ++a) {
      const float* stats = stats_.data() + fields_[a].stats;
      TestFieldSummary summary;
      summary.Name = desc_.Fields[fields_[a].field].Name;
      summary.Discrete = fields_[a].discrete;
      summary.Correct = static_cast<long long>(counts[a].correct);
      summary.Uncertain = static_cast<long long>(counts[a].uncertain);
      summary.Wrong = static_cast<long long>(counts[a].wrong);
      summary.Total = static_cast<long long>(counts[a].total());
      if (!summary.Discrete) {
        summary.Compared = static_cast<long long>(stats[0]);
        if (stats[0] > 0) summary.MeanError = error_sum_[a] / stats[0];
        summary.MaxError = error_max_[a];
      }
      grid_.Summary.push_back(std::move(summary));
    }
    grid_.Rows.push_back(EmptyRow());

    auto add_row = [&](auto fill) {
      std::vector<std::string> row = EmptyRow();
      for (size_t a = 0; a < fields_.size(); ++a) fill(a, row);
      grid_.Rows.push_back(std::move(row));
    };
    add_row([&](size_t a, std::vector<std::string>& row) {
      Put(row, 4 * a + 2, "Правильно:");
      row[4 * a + 3] = CountText(counts[a].correct, counts[a].total(), separator_);
    });
    if (any_discrete) {
      add_row([&](size_t a, std::vector<std::string>& row) {
        if (!fields_[a].discrete) return;
        Put(row, 4 * a + 2, "Неуверенно:");
        row[4 * a + 3] = CountText(counts[a].uncertain, counts[a].total(), separator_);
        Put(row, 4 * a + 4, "1");
      });
    }
    add_row([&](size_t a, std::vector<std::string>& row) {
      Put(row, 4 * a + 2, "Неправильно:");
      row[4 * a + 3] = CountText(counts[a].wrong, counts[a].total(), separator_);
      Put(row, 4 * a + 4, "2");
    });
    add_row([&](size_t a, std::vector<std::string>& row) {
      Put(row, 4 * a + 2, "Всего:");
      row[4 * a + 3] = std::to_string(static_cast<long long>(counts[a].total()));
    });
    if (!any_continuous) return;
    add_row([&](size_t a, std::vector<std::string>& row) {
      if (fields_[a].discrete) return;
      const float* stats = stats_.data() + fields_[a].stats;
      Put(row, 4 * a + 2, "Ср.ошибка:");
      row[4 * a + 3] = stats[0] == 0 ? std::string(kNoComparedRecords)
                                     : FormatReal(error_sum_[a] / stats[0], separator_);
    });
    add_row([&](size_t a, std::vector<std::string>& row) {
      if (fields_[a].discrete) return;
      const float* stats = stats_.data() + fields_[a].stats;
      Put(row, 4 * a + 2, "Макс.ошибка:");
      row[4 * a + 3] =
          stats[0] == 0 ? std::string(kNoComparedRecords) : FormatReal(error_max_[a], separator_);
    });
  }

  void ClassSummary() {
    // Over every output field: a continuous one still holds its count of
    // distinct values, and the blocks past the discrete fields' states stay empty.
    int max_states = 0;
    for (const OutputField& out : fields_) {
      const int states = out.discrete ? out.width : desc_.Fields[out.field].NumOfDiscreteStates;
      max_states = std::max(max_states, std::clamp(states, 0, kMaxStates));
    }
    for (int s = 0; s < max_states; ++s) {
      std::vector<std::string> rows[4] = {EmptyRow(), EmptyRow(), EmptyRow(), EmptyRow()};
      for (size_t a = 0; a < fields_.size(); ++a) {
        const OutputField& out = fields_[a];
        const int k = out.width;
        if (!out.discrete || s >= k) continue;
        const float* stats = stats_.data() + out.stats;
        const double records = stats[s];
        rows[0][4 * a + 1] = "Класс" + std::to_string(s + 1) + ":";
        Put(rows[0], 4 * a + 2, "Правильно:");
        rows[0][4 * a + 3] = CountText(stats[k + s], records, separator_);
        Put(rows[1], 4 * a + 2, "Неуверенно:");
        rows[1][4 * a + 3] = CountText(stats[3 * k + s], records, separator_);
        Put(rows[1], 4 * a + 4, "1");
        Put(rows[2], 4 * a + 2, "Неправильно:");
        rows[2][4 * a + 3] = CountText(stats[2 * k + s], records, separator_);
        Put(rows[2], 4 * a + 4, "2");
        Put(rows[3], 4 * a + 2, "Всего:");
        rows[3][4 * a + 3] = std::to_string(static_cast<long long>(records));
      }
      for (auto& row : rows) grid_.Rows.push_back(std::move(row));
    }
  }

  NeuralNet& net_;
  DataDescription& desc_;
  const char separator_;
  TestGrid& grid_;
  const std::vector<OutputField> fields_;
  std::vector<float> stats_;
  std::vector<double> error_sum_;  // continuous fields: sum of |error|
  std::vector<double> error_max_;  // continuous fields: largest |error|
};

int FloorMod4(int value) { return ((value % 4) + 4) % 4; }

}  // namespace

bool IsVerdictColumn(int column) { return column > 0 && FloorMod4(column - 1) == 3; }

bool IsWidenedColumn(int column) { return FloorMod4(column - 1) != 3; }

CellColour TestCellColour(const TestGrid& grid, int column, int row) {
  if (column <= 0 || row < 0 || row >= static_cast<int>(grid.Rows.size())) {
    return CellColour::kBlack;
  }
  const int place = FloorMod4(column - 1);
  if (place != 1 && place != 2) return CellColour::kBlack;
  const int code_column = 4 * ((column - 1) / 4) + 4;
  if (code_column >= static_cast<int>(grid.Rows[row].size())) return CellColour::kBlack;
  const std::string& code = grid.Rows[row][code_column];
  if (code == "1") return CellColour::kBlue;
  if (code == "2") return CellColour::kRed;
  if (code == "3") return CellColour::kGreen;
  return CellColour::kBlack;
}

bool TestNetwork(NeuralNet& net, EngineContext& context, TestGrid& grid) {
  grid = TestGrid{};
  if (context.table == nullptr) return false;
  if (!CheckDataFile(*context.table, net.Desc, context.host)) return false;
  // A network that was never built, or whose counts disagree with its
  // fields, has nothing to run.
  int64_t output_width = 0;
  for (const FieldDescription& f : net.Desc.Fields) {
    if (f.Usage == FieldUsage::Output) output_width += FieldWidth(f);
  }
  if (output_width != net.Desc.NumOfOutputs || net.Parameters.empty() ||
      net.Outputs.size() < static_cast<size_t>(output_width)) {
    return false;
  }
  const bool extend = context.options.ExtendTaskbook != 0;
  BusyCursor busy(context.host);
  GridBuilder(net, context, grid).Run(*context.table, extend);
  return true;
}

std::string TestGridText(const TestGrid& grid) {
  std::string text;
  for (const std::vector<std::string>& row : grid.Rows) {
    for (int i = 0; i <= grid.ColumnCount - 2; ++i) {
      if (i % 4 == 0) continue;
      if (i < static_cast<int>(row.size())) text += row[i];
      text += '\t';
    }
    text += '\n';
  }
  return text;
}

Status SaveTestText(const TestGrid& grid, const std::filesystem::path& path) {
  return WriteFileAtomically(path, TestGridText(grid));
}

}  // namespace velmar
