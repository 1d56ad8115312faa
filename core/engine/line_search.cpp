#include "core/engine/line_search.h"

#include <cmath>
#include <limits>

#include "core/engine/propagation.h"

namespace velmar {
namespace {

constexpr float kDefaultStep = 1e-5f;
constexpr float kSmallestStep = 1e-10f;
constexpr float kLargestStep = 1e5f;
constexpr float kExpansion = 3.0f;
constexpr float kContraction = 3.0f;
constexpr int kParabolicSteps = 2;
constexpr double kFlatParabola = 1e-10;

// The step label shows a limit at once; the rest of the search's figures
// follow when it ends.
void ShowStepLimit(EngineContext& context, StepOutcome outcome) {
  TrainingProgress progress;
  progress.step = StepFigure{outcome, 0.0f};
  context.view.ShowProgress(progress);
}

}  // namespace

void MoveTo(NeuralNet& net, float t) {
  const int32_t n = net.NumOfParameters;
  const float* saved = net.SavedParameters.data();
  const float* direction = net.Direction.data();
  const int32_t* flags = net.ParamFlags.data();
  const float* lower = net.LowerBounds.data();
  const float* upper = net.UpperBounds.data();
  float* params = net.Parameters.data();
  const double step = t;
  for (int32_t i = 0; i < n; ++i) {
    float p = saved[i];
    if ((flags[i] & pfTrainable) != 0) {
      p = static_cast<float>(static_cast<double>(p) + step * static_cast<double>(direction[i]));
    }
    // Written so that a NaN ends up at the lower bound.
    if (!(p >= lower[i])) {
      p = lower[i];
    } else if (p > upper[i]) {
      p = upper[i];
    }
    params[i] = p;
  }
}

float LineSearch(NeuralNet& net, float f0, EngineContext& context) {
  return LineSearch(net, f0, context, [&] { return EvaluateError(net, context); });
}

float LineSearch(NeuralNet& net, float f0, EngineContext& context,
                 const std::function<float()>& evaluate) {
  net.SavedParameters = net.Parameters;
  float t = net.Step;
  // Also a step left undefined (NaN, infinity) starts over.
  if (!(t >= kSmallestStep) || std::isinf(t)) t = kDefaultStep;
  float best = f0;
  float result = 0;

  float a = 0, fa = f0;
  float b = 0, fb = f0;
  float c = t;
  MoveTo(net, c);
  float fc = evaluate();

  if (fb >= fc) {
    // Expand while the error keeps falling (or stays level).
    for (;;) {
      if (c > kLargestStep) {
        ShowStepLimit(context, StepOutcome::kInfiniteStep);
        break;
      }
      a = b, fa = fb;
      b = c, fb = fc;
      c = kExpansion * c;
      MoveTo(net, c);
      fc = evaluate();
      if (!(fb >= fc)) break;
    }
  } else {
    // Contract towards the base point until a step improves on it.
    a = 0, fa = f0;
    b = c, fb = fc;
    for (;;) {
      if (b < kSmallestStep) {
        ShowStepLimit(context, StepOutcome::kZeroStep);
        break;
      }
      c = b, fc = fb;
      b = b / kContraction;
      MoveTo(net, b);
      fb = evaluate();
      if (!(fa <= fb)) break;
    }
  }

  TrainingProgress progress;
  if (best > fb) {
    result = b;
    best = fb;
    for (int i = 0; i < kParabolicSteps; ++i) {
      const double da = a, db = b, dc = c;
      const double den = 2.0 * ((db - dc) * fa + (dc - da) * fb + (da - db) * fc);
      if (!(std::fabs(den) >= kFlatParabola)) break;
      const double vertex =
          ((db * db - dc * dc) * fa + (dc * dc - da * da) * fb + (da * da - db * db) * fc) / den;
      if (!std::isfinite(vertex)) break;
      const float x = static_cast<float>(vertex);
      MoveTo(net, x);
      const float fx = evaluate();
      if (fx < fb) {
        if (b > x) {
          c = b, fc = fb;
        } else {
          a = b, fa = fb;
        }
        b = x, fb = fx;
        result = x;
        best = fx;
      } else if (b > x) {
        a = x, fa = fx;
      } else {
        c = x, fc = fx;
      }
    }
    progress.step = StepFigure{StepOutcome::kStep, result};
    // The count is read from project files; a stored maximum stays there.
    if (net.NumOfTrainingCycles < std::numeric_limits<int32_t>::max()) ++net.NumOfTrainingCycles;
    progress.cycles = net.NumOfTrainingCycles;
  }

  net.Step = result;
  MoveTo(net, result);

  const uint32_t rows = net.Book != nullptr ? net.Book->Count() : 0;
  const double average = rows > 0 ? static_cast<double>(best) / rows : static_cast<double>(best);
  progress.error = average;
  if (net.SensMode == 0) progress.solved = SolvedFigure{net.NumOfSolved, rows};
  context.view.ShowProgress(progress);
  return best;
}

}  // namespace velmar
