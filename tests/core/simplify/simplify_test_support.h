#ifndef VELMAR_TESTS_CORE_SIMPLIFY_SIMPLIFY_TEST_SUPPORT_H_
#define VELMAR_TESTS_CORE_SIMPLIFY_SIMPLIFY_TEST_SUPPORT_H_

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/data/error_terms.h"
#include "core/engine/neural_net.h"
#include "core/engine/propagation.h"
#include "tests/support/memory_table.h"
#include "tests/support/net_builders.h"

namespace velmar::testing_support {

// Every third record of examples/iris.csv whose class is told apart by the
// petal length alone, so that a small net solves them all: four continuous
// inputs x1..x4 and the class, 1..3, as y1.
struct IrisSubset {
  std::vector<std::vector<std::optional<double>>> rows;
  NetShape shape;
};

inline IrisSubset LoadIrisSubset(const std::string& csv_path) {
  IrisSubset subset;
  std::ifstream in(csv_path);
  std::string line;
  std::getline(in, line);
  int index = 0;
  while (std::getline(in, line)) {
    std::stringstream cells(line);
    std::vector<double> v;
    std::string cell;
    while (std::getline(cells, cell, ',')) v.push_back(std::stod(cell));
    if (v.size() != 5 || index++ % 3 != 0) continue;
    const int cls = static_cast<int>(v[4]);
    if ((cls == 1 && v[2] > 4.7) || (cls == 2 && v[2] < 5.1)) continue;
    subset.rows.push_back({v[0], v[1], v[2], v[3], double(cls + 1)});
  }
  for (int c = 0; c < 4; ++c) {
    FieldSpec field_spec;
    field_spec.min_value = 1e30f;
    field_spec.max_value = -1e30f;
    for (const auto& row : subset.rows) {
      field_spec.min_value = std::min(field_spec.min_value, float(*row[c]));
      field_spec.max_value = std::max(field_spec.max_value, float(*row[c]));
    }
    subset.shape.inputs.push_back(field_spec);
  }
  FieldSpec cls;
  cls.states = 3;
  cls.gap = 0.1f;
  subset.shape.outputs.push_back(cls);
  subset.shape.hidden = {4};
  return subset;
}

// Examples of the net's taskbook that its acceptance chain does not pass,
// computed without touching the net's training state.
inline int UnsolvedExamples(NeuralNet& net) {
  int unsolved = 0;
  for (uint32_t r = 0; r < net.Book->Count(); ++r) {
    net.CurInputs = net.Book->RowInputs(r);
    net.CurTargets = net.Book->RowTargets(r);
    net.CurWeights = net.Book->RowWeights(r);
    Forward(net);
    if (EvaluateErrorList(net.AcceptanceList, net.Outputs.data(), net.CurTargets, net.CurWeights,
                          nullptr) != 0) {
      ++unsolved;
    }
  }
  return unsolved;
}

inline int CountFlags(const NeuralNet& net, std::initializer_list<int32_t> words) {
  return static_cast<int>(std::count_if(
      net.ParamFlags.begin(), net.ParamFlags.end(),
      [&](int32_t f) { return std::find(words.begin(), words.end(), f) != words.end(); }));
}

}  // namespace velmar::testing_support

#endif  // VELMAR_TESTS_CORE_SIMPLIFY_SIMPLIFY_TEST_SUPPORT_H_
