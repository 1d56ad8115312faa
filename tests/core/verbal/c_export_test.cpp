// The exported C replays the engine: compiled with the system's C compiler, it
// must give every record of real tables the engine's output signals, classes,
// confidences and values bit for bit, also after pruning and binarization.
#include "core/verbal/c_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/host.h"
#include "core/base/random.h"
#include "core/data/data_description.h"
#include "core/engine/neural_net.h"
#include "core/engine/propagation.h"
#include "core/engine/test_network.h"
#include "core/tables/table_factory.h"
#include "tests/support/c_compiler.h"
#include "tests/support/table_csv.h"
#include "tests/support/temp_dir.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;
using testing_support::CompileC;
using testing_support::RunProgram;

// One way of laying a net over a table: field usages and types, layers.
struct NetCase {
  const char* table;  // under examples/ or the shared datasets
  bool shared;
  std::vector<std::pair<const char*, char>> fields;  // name, 'c'/'d'/'o' (ordered) + usage below
  std::vector<const char*> outputs;
  std::vector<const char*> retired;  // inputs removed by contrasting
  std::vector<int> layers;
};

std::string Hex(float x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%a", static_cast<double>(x));
  return buf;
}

std::string HexDouble(double x) {
  if (std::isnan(x)) return "nan";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%a", x);
  return buf;
}

// A record's value as the caller of the exported function has it.
double FieldValue(const Table& table, int column) {
  if (table.IsNull(column)) return NAN;
  const Value v = table.GetValue(column);
  if (const double* d = std::get_if<double>(&v)) return *d;
  if (const int64_t* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
  if (const bool* b = std::get_if<bool>(&v)) return *b ? 1.0 : 0.0;
  return table.AsFloat(column);
}

constexpr const char* kHarness = R"C(
#include <stdio.h>
int main(void) {
  double f[T_NUM_FIELDS];
  t_result r;
  int i;
  for (;;) {
    for (i = 0; i < T_NUM_FIELDS; ++i) {
      if (scanf("%lf", &f[i]) != 1) return 0;
    }
    if (!t(f, &r)) {
      printf("-\n");
      continue;
    }
    for (i = 0; i < T_NUM_OUTPUTS; ++i) printf("%a ", r.outputs[i]);
    for (i = 0; i < T_NUM_OUT_FIELDS; ++i) printf("%d %a %a ", r.klass[i], r.confidence[i], r.value[i]);
    printf("\n");
  }
}
)C";

void PrintTo(const NetCase& c, std::ostream* os) {
  *os << c.table << " with " << c.layers.size() << " layers";
}

class CExportTest : public testing::TestWithParam<NetCase> {};

// Builds the case's net with large random weights, then prunes and binarizes
// part of it the way the simplification leaves a net: removed synapses 0 with
// flag 8, binarized ones at a level with flag 5, a hidden neuron cut off.
std::unique_ptr<NeuralNet> BuildNet(const NetCase& c, Table& table) {
  const FieldTemplate field_template = BuildFieldTemplate(table);
  DataDescription desc = NewDescription(field_template, 0);
  // No field list: every numeric field is a continuous input.
  for (FieldDescription& f : desc.Fields) {
    if (f.Usage == FieldUsage::NotNumeric) continue;
    bool listed = c.fields.empty();
    for (const auto& [name, kind] : c.fields) listed = listed || f.Name == name;
    f.Usage = listed ? FieldUsage::Input : FieldUsage::NotNumeric;
    for (const char* out : c.outputs) {
      if (f.Name == out) f.Usage = FieldUsage::Output;
    }
  }
  RecountDescription(desc, false);
  for (const auto& [name, kind] : c.fields) {
    for (size_t i = 0; i < desc.Fields.size(); ++i) {
      if (desc.Fields[i].Name != name || kind == 'c') continue;
      SetFieldType(desc, static_cast<int>(i), true);
      desc.Fields[i].Predecessor = kind == 'o' ? 1 : 0;
    }
  }
  // Compact to the used fields, as the network dialog does.
  std::vector<FieldDescription> kept;
  for (FieldDescription& f : desc.Fields) {
    if (f.Usage != FieldUsage::NotNumeric) kept.push_back(f);
  }
  desc.Fields = kept;
  desc.NumOfFields = static_cast<int32_t>(kept.size());
  desc.NumOfLayers = static_cast<int32_t>(c.layers.size());
  for (size_t l = 0; l < c.layers.size(); ++l) desc.NumOfNeurons[l] = c.layers[l];

  auto net = std::make_unique<NeuralNet>();
  FixedClock clock(7);
  const Clock* previous = &CurrentClock();
  SetCurrentClock(&clock);
  CreateNet(*net, desc);
  SetCurrentClock(previous);

  std::mt19937 random(11);
  std::uniform_real_distribution<float> weight(-1.5f, 1.5f);
  std::uniform_int_distribution<int> pick(0, 9);
  const float levels[] = {-1, -0.5f, -0.1f, 0.1f, 0.3f, 0.75f, 1};
  for (int i = 0; i < net->NumOfParameters; ++i) {
    if ((net->ParamFlags[i] & pfTrainable) == 0) continue;
    net->Parameters[i] = weight(random);
    const int p = pick(random);
    if (p == 0) {
      net->Parameters[i] = 0;
      net->ParamFlags[i] = pfRemoved | (net->ParamFlags[i] & pfBias);
    } else if (p == 1) {
      net->Parameters[i] = levels[pick(random) % 7];
      net->ParamFlags[i] = pfFixed | pfAdjustable | (net->ParamFlags[i] & pfBias);
    }
  }
  // Cut the last neuron of the last hidden layer off from the outputs.
  const int last = net->NumOfLayers() - 1;
  for (int j = 0; j < net->LayerSize(net->NumOfLayers()); ++j) {
    const int k = net->FanIn(net->NumOfLayers());
    net->Parameters[net->WeightStart(net->NumOfLayers()) + j * k + net->LayerSize(last) - 1] = 0;
  }
  // Retire inputs: usage NotUsed and their synapses removed.
  int signal = 0;
  for (FieldDescription& f : net->Desc.Fields) {
    if (f.Usage == FieldUsage::Output) continue;
    const int width = FieldWidth(f);
    for (const char* name : c.retired) {
      if (f.Name != name) continue;
      f.Usage = FieldUsage::NotUsed;
      for (int j = 0; j < net->LayerSize(0); ++j) {
        for (int s = signal; s < signal + width; ++s) {
          net->Parameters[net->WeightStart(0) + j * net->FanIn(0) + s] = 0;
          net->ParamFlags[net->WeightStart(0) + j * net->FanIn(0) + s] = pfRemoved;
        }
      }
    }
    signal += width;
  }
  return net;
}

TEST_P(CExportTest, CompiledCodeReplaysTheEngineBitForBit) {
  const NetCase& c = GetParam();
  const fs::path path = c.shared ? fs::path(VELMAR_SHARED_FIXTURES) / "datasets" / c.table
                                 : fs::path(VELMAR_EXAMPLES) / c.table;
  if (!fs::exists(path)) GTEST_SKIP() << "table not found: " << path;
  if (!testing_support::HaveCCompiler()) GTEST_SKIP() << "no C compiler (cc) on this machine";
  std::unique_ptr<Table> table;
  ASSERT_TRUE(OpenTable(path, table).ok());
  std::unique_ptr<NeuralNet> net = BuildNet(c, *table);
  SilentHost host;
  ASSERT_TRUE(CheckDataFile(*table, net->Desc, host));

  CExportOptions options;
  options.ident = "t";
  std::string source;
  ASSERT_TRUE(ExportNetworkAsC(*net, options, source).ok());
  const fs::path dir = testing_support::FreshTempDir("c_export_" + std::string(c.table) +
                                                     std::to_string(c.layers.size()));
  {
    std::ofstream(dir / "net.c") << source;
    std::ofstream(dir / "harness.c") << "#include \"net.c\"\n" << kHarness;
  }
  std::string log;
  ASSERT_TRUE(CompileC(dir / "harness.c", dir / "harness", log)) << log << "\n" << source;

  // What the engine says for every record, in the harness's words.
  std::vector<int> columns;
  for (size_t f = 0; f < net->Desc.Fields.size(); ++f) {
    if (net->Desc.Fields[f].Usage == FieldUsage::Input) columns.push_back(net->Desc.FieldColumn[f]);
  }
  std::vector<float> inputs(static_cast<size_t>(net->Desc.NumOfInputs));
  std::vector<float> targets(static_cast<size_t>(net->Desc.NumOfOutputs));
  std::string input, expected;
  int coded = 0;
  for (table->First(); !table->Eof(); table->Next()) {
    for (int column : columns) input += HexDouble(FieldValue(*table, column)) + " ";
    input += "\n";
    bool inputs_ok = false, targets_ok = false;
    // The function sees only live inputs, so a retired field never drops a record.
    CodeRecord(*table, net->Desc, true, inputs, targets, inputs_ok, targets_ok);
    if (!inputs_ok) {
      expected += "-\n";
      continue;
    }
    ++coded;
    net->CurInputs = inputs.data();
    Forward(*net);
    for (float y : net->Outputs) expected += Hex(y) + " ";
    int offset = 0;
    for (const FieldDescription& f : net->Desc.Fields) {
      if (f.Usage != FieldUsage::Output) continue;
      const int width = FieldWidth(f);
      const DecodedOutput d = DecodeOutputs(
          f, std::span<const float>(net->Outputs.data() + offset, static_cast<size_t>(width)), {},
          '.');
      if (f.IsDiscrete) {
        expected +=
            std::to_string(d.class_index + 1) + " " + Hex(d.confidence) + " " + Hex(0) + " ";
      } else {
        expected += "0 " + Hex(0) + " " + Hex(d.value) + " ";
      }
      offset += width;
    }
    expected += "\n";
  }
  EXPECT_GT(coded, 100);
  const std::string actual = RunProgram(dir / "harness", input);
  // Line by line, so that a failure names the record.
  std::istringstream want(expected), got(actual);
  std::string a, b;
  for (int record = 1; std::getline(want, a); ++record) {
    ASSERT_TRUE(std::getline(got, b)) << "no line for record " << record << "\n" << actual;
    ASSERT_EQ(b, a) << "record " << record;
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, CExportTest,
                         testing::Values(
                             // Continuous inputs, a one-hot class: the plain case.
                             NetCase{"iris.dbf",
                                     false,
                                     {{"SEPAL_LEN", 'c'},
                                      {"SEPAL_WID", 'c'},
                                      {"PETAL_LEN", 'c'},
                                      {"PETAL_WID", 'c'},
                                      {"CLASS", 'd'}},
                                     {"CLASS"},
                                     {},
                                     {3}},
                             // An ordered discrete input, two continuous outputs, a fan-in of 9
                             // (interleaved partial sums) in the second layer.
                             NetCase{"iris.dbf",
                                     false,
                                     {{"SEPAL_LEN", 'c'},
                                      {"SEPAL_WID", 'c'},
                                      {"PETAL_LEN", 'o'},
                                      {"CLASS", 'o'},
                                      {"PETAL_WID", 'c'}},
                                     {"SEPAL_LEN", "PETAL_WID"},
                                     {},
                                     {9, 2}},
                             // Nulls in an input; a retired input; an ordered output.
                             NetCase{"iris_nulls.db",
                                     true,
                                     {{"SEPAL_LEN", 'c'},
                                      {"SEPAL_WID", 'c'},
                                      {"PETAL_LEN", 'c'},
                                      {"PETAL_WID", 'c'},
                                      {"CLASS", 'o'}},
                                     {"CLASS"},
                                     {"PETAL_LEN"},
                                     {4, 3, 2}},
                             // A one-hot input (two halves of the range).
                             NetCase{"iris_species_vfp.dbf",
                                     true,
                                     {{"SEPAL_LEN", 'd'}, {"PETAL_WID", 'c'}, {"CLASS", 'd'}},
                                     {"CLASS"},
                                     {},
                                     {2}},
                             // 30 inputs: three full blocks of partial sums and a tail.
                             NetCase{"breast_cancer.db", true, {}, {"CLASS"}, {}, {12, 5}},
                             // Decimal text read from dBase N fields, and FoxPro's.
                             NetCase{"breast_cancer_db3.dbf", true, {}, {"CLASS"}, {}, {3}},
                             NetCase{"breast_cancer_vfp.dbf", true, {}, {"M_AREA"}, {}, {2}}));

}  // namespace
}  // namespace velmar

namespace velmar {
namespace {

// The program made with main() prints the test grid's forecast column, also
// where records are dropped: a null input, and, with the extend option off,
// a null in an input retired by contrasting.
TEST(CExportMainTest, ProgramLinesEqualTheTestGridForecasts) {
  const fs::path path = fs::path(VELMAR_SHARED_FIXTURES) / "datasets" / "iris_nulls_vfp.dbf";
  if (!fs::exists(path)) GTEST_SKIP() << "table not found: " << path;
  if (!testing_support::HaveCCompiler()) GTEST_SKIP() << "no C compiler (cc) on this machine";
  std::unique_ptr<Table> table;
  ASSERT_TRUE(OpenTable(path, table).ok());
  const NetCase c{"iris_nulls_vfp.dbf",
                  true,
                  {{"SEPAL_LEN", 'c'},
                   {"SEPAL_WID", 'c'},
                   {"PETAL_LEN", 'c'},
                   {"PETAL_WID", 'c'},
                   {"CLASS", 'd'}},
                  {"PETAL_WID", "CLASS"},
                  {"SEPAL_WID"},
                  {3}};
  std::unique_ptr<NeuralNet> net = BuildNet(c, *table);
  const fs::path dir = testing_support::FreshTempDir("c_export_main");

  for (int extend = 0; extend <= 1; ++extend) {
    CExportOptions options;
    options.with_main = true;
    options.options.ExtendTaskbook = extend;
    std::string source;
    ASSERT_TRUE(ExportNetworkAsC(*net, options, source).ok());
    std::ofstream(dir / "net.c") << source;
    std::string log;
    ASSERT_TRUE(CompileC(dir / "net.c", dir / "net", log)) << log;

    SilentHost host;
    NullTrainingView view;
    EngineContext context{options.options, table.get(), host, view};
    TestGrid grid;
    ASSERT_TRUE(TestNetwork(*net, context, grid));
    std::string expected;
    for (int r = 1; r <= grid.Records; ++r) {
      expected += grid.Cell(2, r) + "\t" + grid.Cell(6, r) + "\n";
    }
    const std::string actual = RunProgram(dir / "net", testing_support::TableAsCsv(*table));
    EXPECT_EQ(actual, expected) << "extend " << extend;
    // The nulls drop records: 5 without the option; only the other input's
    // nulls would with it, and SEPAL_WID holds them all.
    const auto empty = [](const std::string& text) {
      size_t n = 0;
      for (size_t i = text.find("\t\n"); i != std::string::npos; i = text.find("\t\n", i + 1)) ++n;
      return n;
    };
    EXPECT_EQ(empty(actual), extend ? 0u : 5u);
  }
}

}  // namespace
}  // namespace velmar
