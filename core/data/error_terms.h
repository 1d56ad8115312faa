#ifndef VELMAR_CORE_DATA_ERROR_TERMS_H_
#define VELMAR_CORE_DATA_ERROR_TERMS_H_

#include <cstdint>
#include <span>
#include <vector>

#include "core/data/data_description.h"

namespace velmar {

enum class EstimateKind {
  LeastSquaresEstimate,
  ToleranceEstimate,
  OrderedClassEstimate,
  WinnerClassEstimate,
};

// The error term of one output field.
struct OutputEstimate {
  int32_t Width = 1;
  float Parameter = 0;
  EstimateKind Kind = EstimateKind::LeastSquaresEstimate;
  friend bool operator==(const OutputEstimate&, const OutputEstimate&) = default;
};

// A chain of terms in the order of the output fields; node j covers the
// outputs that start where node j-1's end. Swapping chains is std::swap.
using ErrorTermList = std::vector<OutputEstimate>;

// One term: error of its field; writes g[0..Width) when `g` is not null.
float EvaluateTerm(const OutputEstimate& term, const float* y, const float* t, float* g, float w);

// A whole chain for one example: y and t hold all outputs, w one weight per
// node; g (all outputs) may be null.
float EvaluateErrorList(const ErrorTermList& list, const float* y, const float* t, const float* w,
                        float* g);

// Both chains of a network for one example, in one call: the acceptance
// error (no signals) and the training error, writing g when it is not null.
struct ExampleErrors {
  float acceptance;
  float training;
};
ExampleErrors EvaluateErrorLists(const ErrorTermList& acceptance, const ErrorTermList& training,
                                 const float* y, const float* t, const float* w, float* g);

// Whether both chains hold tolerance terms over the same outputs (continuous
// output fields only), so that ToleranceTwinLanes serves them.
bool ToleranceTwins(const ErrorTermList& acceptance, const ErrorTermList& training);

// EvaluateErrorLists of kErrorLanes examples at once, for chains that pass
// ToleranceTwins. Outputs are lane-major: y[kErrorLanes·i + e] is output i of
// example e, whose targets and weights t[e] and w[e] point at; g, laid out
// like y, may be null. Each lane gets the bits EvaluateErrorLists gives its
// example.
constexpr int kErrorLanes = 8;
void ToleranceTwinLanes(const ErrorTermList& acceptance, const ErrorTermList& training,
                        const float* y, const float* const* t, const float* const* w, float* g,
                        ExampleErrors* errors);

// The acceptance and training chains of a description's output fields.
void MakeErrorLists(const DataDescription& desc, ErrorTermList& acceptance,
                    ErrorTermList& training);

// The one-node least-squares chain used while significance is computed.
ErrorTermList LeastSquaresList(int32_t num_outputs);

}  // namespace velmar

#endif  // VELMAR_CORE_DATA_ERROR_TERMS_H_
