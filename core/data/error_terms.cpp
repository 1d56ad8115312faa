#include "core/data/error_terms.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmar {

namespace {

// All arithmetic below is float32 on purpose: the error decides whether an
// example counts as solved (exactly 0), so every difference is rounded to
// float32 before it is squared. Named float temporaries keep it that way.

float LeastSquares(const float* y, const float* t, float* g, int n, float w) {
  float error = 0;
  for (int i = 0; i < n; ++i) {
    const float d = t[i] - y[i];
    const float squared = d * d;
    error += w * squared;
    if (g) g[i] = w * d;
  }
  return error;
}

// One output of a tolerance term with difference d = t - y: adds its error
// to `error` and returns its descent signal. Selects rather than branches:
// inside or outside the tolerance is a coin toss while a net trains, and
// adding 0 inside leaves the sum as it is.
inline float ToleranceStep(float d, float p, float w, float& error) {
  const bool outside = std::fabs(d) > p;
  const float excess = outside ? std::fabs(d) - p : 0.0f;
  const float squared = excess * excess;
  error += outside ? w * squared : 0.0f;
  return outside ? (d >= 0 ? w * excess : -(w * excess)) : 0.0f;
}

float Tolerance(const float* y, const float* t, float* g, int n, float w, float p) {
  float error = 0;
  for (int i = 0; i < n; ++i) {
    const float signal = ToleranceStep(t[i] - y[i], p, w, error);
    if (g) g[i] = signal;
  }
  return error;
}

float OrderedClass(const float* y, const float* t, float* g, int n, float w, float p) {
  float error = 0;
  for (int i = 0; i < n; ++i) {
    const float e = t[i] == 1.0f ? y[i] - p : y[i] + p;
    if (e * t[i] >= 0) {
      if (g) g[i] = 0;
      continue;
    }
    const float squared = e * e;
    error += w * squared;
    if (g) g[i] = -(w * e);
  }
  return error;
}

float WinnerClass(const float* y, const float* t, float* g, int n, float w, float p) {
  // Discrete fields have at most 20 states, so the marks normally fit on the
  // stack; this runs once per example and pass.
  constexpr int kStackWidth = 32;
  bool stack_marks[kStackWidth] = {};
  std::unique_ptr<bool[]> heap_marks;
  bool* marked = stack_marks;
  if (n > kStackWidth) {
    heap_marks = std::make_unique<bool[]>(n);
    marked = heap_marks.get();
  }
  int target = -1;
  for (int i = 0; i < n; ++i) {
    if (t[i] == 1.0f) {
      marked[i] = true;
      target = i;
    }
  }
  if (target < 0) {
    // Targets without a winning state carry no information.
    if (g) {
      for (int i = 0; i < n; ++i) g[i] = 0;
    }
    return 0;
  }

  float sum = y[target] - p;
  int m = 0;
  for (int round = 0; round < n; ++round) {
    ++m;
    float largest = -kUnsetValue;
    int found = -1;
    for (int i = 0; i < n; ++i) {
      if (!marked[i] && y[i] > largest) {
        largest = y[i];
        found = i;
      }
    }
    const float mean = sum / static_cast<float>(m);
    if (found < 0 || mean >= largest) break;
    sum += largest;
    marked[found] = true;
  }

  float error = 0;
  const float mean = sum / static_cast<float>(m);
  for (int i = 0; i < n; ++i) {
    if (!marked[i]) {
      if (g) g[i] = 0;
      continue;
    }
    float v = 0;
    if (m != 1) {
      v = mean - y[i];
      if (i == target) v = v + p;
    }
    const float squared = v * v;
    error += w * squared;
    if (g) g[i] = w * v;
  }
  return error;
}

// One term, inlined into the chain walks below: a pass over the taskbook
// walks two chains for every example.
__attribute__((always_inline)) inline float TermError(const OutputEstimate& term, const float* y,
                                                      const float* t, float* g, float w) {
  const int n = term.Width;
  if (n <= 0) return 0;
  // An undefined output (the net overflowed) must never pass for a solved
  // example, which the comparisons below would let it do; it gives no
  // direction either.
  for (int i = 0; i < n; ++i) {
    if (!std::isnan(y[i])) continue;
    if (g) {
      for (int k = 0; k < n; ++k) g[k] = 0;
    }
    return std::numeric_limits<float>::quiet_NaN();
  }
  switch (term.Kind) {
    case EstimateKind::LeastSquaresEstimate:
      return LeastSquares(y, t, g, n, w);
    case EstimateKind::ToleranceEstimate:
      return Tolerance(y, t, g, n, w, term.Parameter);
    case EstimateKind::OrderedClassEstimate:
      return OrderedClass(y, t, g, n, w, term.Parameter);
    case EstimateKind::WinnerClassEstimate:
      return WinnerClass(y, t, g, n, w, term.Parameter);
  }
  return 0;
}

__attribute__((always_inline)) inline float ListError(const ErrorTermList& list, const float* y,
                                                      const float* t, const float* w, float* g) {
  float sum = 0;
  int offset = 0;
  for (size_t j = 0; j < list.size(); ++j) {
    const float error = TermError(list[j], y + offset, t + offset, g ? g + offset : nullptr, w[j]);
    sum += error;
    if (list[j].Width > 0) offset += list[j].Width;
  }
  return sum;
}

}  // namespace

float EvaluateTerm(const OutputEstimate& term, const float* y, const float* t, float* g, float w) {
  return TermError(term, y, t, g, w);
}

float EvaluateErrorList(const ErrorTermList& list, const float* y, const float* t, const float* w,
                        float* g) {
  return ListError(list, y, t, w, g);
}

bool ToleranceTwins(const ErrorTermList& acceptance, const ErrorTermList& training) {
  if (acceptance.size() != training.size()) return false;
  for (size_t j = 0; j < acceptance.size(); ++j) {
    if (acceptance[j].Kind != EstimateKind::ToleranceEstimate ||
        training[j].Kind != EstimateKind::ToleranceEstimate ||
        acceptance[j].Width != training[j].Width) {
      return false;
    }
  }
  return true;
}

namespace {

// Both chains of ToleranceTwins in one walk over the outputs, each
// difference taken once; the same operations in the same order as the
// chains one after the other.
ExampleErrors ToleranceTwinErrors(const ErrorTermList& acceptance, const ErrorTermList& training,
                                  const float* y, const float* t, const float* w, float* g) {
  ExampleErrors sum{0, 0};
  int offset = 0;
  for (size_t j = 0; j < acceptance.size(); ++j) {
    const int n = acceptance[j].Width;
    if (n <= 0) {
      sum.acceptance += 0.0f;
      sum.training += 0.0f;
      continue;
    }
    const float* yj = y + offset;
    const float* tj = t + offset;
    float* gj = g ? g + offset : nullptr;
    offset += n;
    bool undefined = false;
    for (int i = 0; i < n; ++i) undefined |= std::isnan(yj[i]);
    if (undefined) {  // as TermError: never solved, no direction
      if (gj) std::fill(gj, gj + n, 0.0f);
      sum.acceptance += std::numeric_limits<float>::quiet_NaN();
      sum.training += std::numeric_limits<float>::quiet_NaN();
      continue;
    }
    const float wj = w[j];
    const float pa = acceptance[j].Parameter;
    const float pt = training[j].Parameter;
    float ea = 0;
    float et = 0;
    for (int i = 0; i < n; ++i) {
      const float d = tj[i] - yj[i];
      ToleranceStep(d, pa, wj, ea);
      const float signal = ToleranceStep(d, pt, wj, et);
      if (gj) gj[i] = signal;
    }
    sum.acceptance += ea;
    sum.training += et;
  }
  return sum;
}

}  // namespace

ExampleErrors EvaluateErrorLists(const ErrorTermList& acceptance, const ErrorTermList& training,
                                 const float* y, const float* t, const float* w, float* g) {
  if (ToleranceTwins(acceptance, training)) {
    return ToleranceTwinErrors(acceptance, training, y, t, w, g);
  }
  return {ListError(acceptance, y, t, w, nullptr), ListError(training, y, t, w, g)};
}

#if defined(__SSE2__)

namespace {

// ToleranceStep on four lanes, with masks for its selects: the same float
// operations, so each lane gives the bits of the scalar step.
inline __m128 ToleranceStep4(__m128 d, __m128 p, __m128 w, __m128& error) {
  const __m128 sign = _mm_set1_ps(-0.0f);
  const __m128 magnitude = _mm_andnot_ps(sign, d);
  const __m128 outside = _mm_cmpgt_ps(magnitude, p);
  const __m128 excess = _mm_and_ps(outside, _mm_sub_ps(magnitude, p));
  const __m128 squared = _mm_mul_ps(excess, excess);
  error = _mm_add_ps(error, _mm_and_ps(outside, _mm_mul_ps(w, squared)));
  const __m128 negative = _mm_andnot_ps(_mm_cmpge_ps(d, _mm_setzero_ps()), sign);
  return _mm_and_ps(outside, _mm_xor_ps(_mm_mul_ps(w, excess), negative));
}

}  // namespace

void ToleranceTwinLanes(const ErrorTermList& acceptance, const ErrorTermList& training,
                        const float* y, const float* const* t, const float* const* w, float* g,
                        ExampleErrors* errors) {
  // ToleranceTwinErrors four examples at a time: the same operations in the
  // same order for each, and no branch on their values.
  constexpr int L = kErrorLanes;
  const __m128 undefined_value = _mm_set1_ps(std::numeric_limits<float>::quiet_NaN());
  for (int h = 0; h < L; h += 4) {
    __m128 sum_a = _mm_setzero_ps();
    __m128 sum_t = _mm_setzero_ps();
    int offset = 0;
    for (size_t j = 0; j < acceptance.size(); ++j) {
      const int n = acceptance[j].Width;
      if (n <= 0) {
        sum_a = _mm_add_ps(sum_a, _mm_setzero_ps());
        sum_t = _mm_add_ps(sum_t, _mm_setzero_ps());
        continue;
      }
      const __m128 pa = _mm_set1_ps(acceptance[j].Parameter);
      const __m128 pt = _mm_set1_ps(training[j].Parameter);
      const __m128 wj = _mm_setr_ps(w[h][j], w[h + 1][j], w[h + 2][j], w[h + 3][j]);
      __m128 undefined = _mm_setzero_ps();
      for (int i = offset; i < offset + n; ++i) {
        const __m128 yi = _mm_loadu_ps(y + L * i + h);
        undefined = _mm_or_ps(undefined, _mm_cmpunord_ps(yi, yi));
      }
      __m128 ea = _mm_setzero_ps();
      __m128 et = _mm_setzero_ps();
      for (int i = offset; i < offset + n; ++i) {
        const __m128 ti = _mm_setr_ps(t[h][i], t[h + 1][i], t[h + 2][i], t[h + 3][i]);
        const __m128 d = _mm_sub_ps(ti, _mm_loadu_ps(y + L * i + h));
        ToleranceStep4(d, pa, wj, ea);
        const __m128 signal = ToleranceStep4(d, pt, wj, et);
        if (g) _mm_storeu_ps(g + L * i + h, _mm_andnot_ps(undefined, signal));
      }
      // An undefined output: NaN errors, as TermError gives.
      ea = _mm_or_ps(_mm_and_ps(undefined, undefined_value), _mm_andnot_ps(undefined, ea));
      et = _mm_or_ps(_mm_and_ps(undefined, undefined_value), _mm_andnot_ps(undefined, et));
      sum_a = _mm_add_ps(sum_a, ea);
      sum_t = _mm_add_ps(sum_t, et);
      offset += n;
    }
    float a[4];
    float b[4];
    _mm_storeu_ps(a, sum_a);
    _mm_storeu_ps(b, sum_t);
    for (int e = 0; e < 4; ++e) errors[h + e] = {a[e], b[e]};
  }
}

#else

void ToleranceTwinLanes(const ErrorTermList& acceptance, const ErrorTermList& training,
                        const float* y, const float* const* t, const float* const* w, float* g,
                        ExampleErrors* errors) {
  // One example at a time through the scalar walk.
  thread_local std::vector<float> own_y, own_g;
  size_t outputs = 0;
  for (const OutputEstimate& term : acceptance)
    outputs += static_cast<size_t>(std::max(term.Width, 0));
  if (own_y.size() < outputs) {
    own_y.resize(outputs);
    own_g.resize(outputs);
  }
  for (int e = 0; e < kErrorLanes; ++e) {
    for (size_t i = 0; i < outputs; ++i) own_y[i] = y[kErrorLanes * i + e];
    errors[e] = ToleranceTwinErrors(acceptance, training, own_y.data(), t[e], w[e],
                                    g ? own_g.data() : nullptr);
    if (g == nullptr) continue;
    for (size_t i = 0; i < outputs; ++i) g[kErrorLanes * i + e] = own_g[i];
  }
}

#endif

void MakeErrorLists(const DataDescription& desc, ErrorTermList& acceptance,
                    ErrorTermList& training) {
  acceptance.clear();
  training.clear();
  for (const FieldDescription& field : desc.Fields) {
    if (field.Usage != FieldUsage::Output) continue;
    OutputEstimate accept;
    OutputEstimate train;
    accept.Width = train.Width = FieldWidth(field);
    if (!field.IsDiscrete) {
      accept.Kind = train.Kind = EstimateKind::ToleranceEstimate;
      const float range = field.MaxValue - field.MinValue;
      const float r = range > 0 ? range : 1.0f;
      const float twice_gap = 2.0f * field.Gap;
      // The accuracy in signal units: the coding maps the range onto two units.
      accept.Parameter = twice_gap / r;
      train.Parameter = accept.Parameter * 0.9090909090909091f;
    } else if (field.Predecessor) {
      accept.Kind = train.Kind = EstimateKind::OrderedClassEstimate;
      accept.Parameter = field.Gap;
      train.Parameter = field.Gap + 0.1f;
    } else {
      accept.Kind = train.Kind = EstimateKind::WinnerClassEstimate;
      const float twice_gap = 2.0f * field.Gap;
      accept.Parameter = twice_gap;
      train.Parameter = twice_gap + 0.1f;
    }
    acceptance.push_back(accept);
    training.push_back(train);
  }
}

ErrorTermList LeastSquaresList(int32_t num_outputs) {
  return {OutputEstimate{num_outputs, 0.0f, EstimateKind::LeastSquaresEstimate}};
}

}  // namespace velmar
