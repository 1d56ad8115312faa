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

// The acceptance and training chains of a description's output fields.
void MakeErrorLists(const DataDescription& desc, ErrorTermList& acceptance,
                    ErrorTermList& training);

// The one-node least-squares chain used while significance is computed.
ErrorTermList LeastSquaresList(int32_t num_outputs);

}  // namespace velmar

#endif  // VELMAR_CORE_DATA_ERROR_TERMS_H_
