#include "core/engine/methods.h"

#include <cmath>
#include <vector>

#include "core/engine/line_search.h"
#include "core/engine/propagation.h"

namespace velmar {
namespace {

constexpr float kRestartStep = 1e-5f;

bool Done(const NeuralNet& net) { return net.ErrorSum == 0.0f || net.StopFlag != 0; }

// A search brought no decrease when it returned the error it started from;
// an undefined error (NaN, from unusable data) counts as no decrease too, so
// that no method loops on it.
bool NoDecrease(float r, float f) { return !(r < f); }

// Σ u_i·v_i over the parameters that may move.
double MaskedDot(const NeuralNet& net, const std::vector<float>& u, const std::vector<float>& v) {
  double sum = 0;
  for (int32_t i = 0; i < net.NumOfParameters; ++i) {
    if ((net.ParamFlags[i] & pfTrainable) != 0) {
      sum += static_cast<double>(u[i]) * static_cast<double>(v[i]);
    }
  }
  return sum;
}

// to += k·from, element by element.
void AddScaled(std::vector<float>& to, double k, const std::vector<float>& from) {
  for (size_t i = 0; i < to.size(); ++i) {
    to[i] = static_cast<float>(static_cast<double>(to[i]) + k * static_cast<double>(from[i]));
  }
}

// Y = g − Gp, then Gp = g.
void StepGradients(const std::vector<float>& g, std::vector<float>& gp, std::vector<float>& y) {
  for (size_t i = 0; i < g.size(); ++i) {
    y[i] = g[i] - gp[i];
    gp[i] = g[i];
  }
}

enum class Restart { kContinue, kEnd };

// The restart of the two conjugate methods: a steepest-descent step from a
// fresh gradient. Ends the method when done or when that step fails.
Restart SteepestRestart(NeuralNet& net, EngineContext& context, std::vector<float>& gp,
                        std::vector<float>& d) {
  net.Step = kRestartStep;
  const float f = EvaluateGradient(net, context);
  if (Done(net)) return Restart::kEnd;
  const float r = LineSearch(net, f, context);
  if (Done(net)) return Restart::kEnd;
  if (NoDecrease(r, f)) {
    net.Stuck = 1;
    return Restart::kEnd;
  }
  gp = net.Direction;
  d = net.Direction;
  return Restart::kContinue;
}

// Whether the search that just ran calls for a restart.
bool NeedsRestart(const NeuralNet& net, float r, float f) {
  return NoDecrease(r, f) || net.ErrorSum == 0.0f || net.StopFlag != 0;
}

// The loop both conjugate methods share. After each fresh gradient,
// `next_direction(y, d)` turns the gradient in net.Direction into the next
// search direction and returns true, or returns false to call for a restart;
// y is the change of gradient and d the direction searched last.
template <typename NextDirection>
void ConjugateLoop(NeuralNet& net, EngineContext& context, NextDirection next_direction) {
  const size_t n = static_cast<size_t>(net.NumOfParameters);
  std::vector<float> gp(n), d(n), y(n);
  if (SteepestRestart(net, context, gp, d) == Restart::kEnd) return;
  for (;;) {
    const float f = EvaluateGradient(net, context);
    StepGradients(net.Direction, gp, y);
    bool restart = !next_direction(y, d);
    if (!restart) {
      d = net.Direction;
      const float r = LineSearch(net, f, context);
      restart = NeedsRestart(net, r, f);
    }
    if (restart && SteepestRestart(net, context, gp, d) == Restart::kEnd) return;
  }
}

}  // namespace

void SteepestDescent(NeuralNet& net, EngineContext& context) {
  for (;;) {
    const float f = EvaluateGradient(net, context);
    if (Done(net)) return;
    const float r = LineSearch(net, f, context);
    if (NoDecrease(r, f)) {
      net.Stuck = 1;
      return;
    }
    if (!(net.ErrorSum > 0.0f) || net.StopFlag != 0) return;
  }
}

void ModifiedParTan(NeuralNet& net, EngineContext& context) {
  std::vector<float> base = net.Parameters;
  float f = EvaluateGradient(net, context);
  if (Done(net)) return;
  float r = LineSearch(net, f, context);
  if (Done(net)) return;
  if (NoDecrease(r, f)) {
    net.Stuck = 1;
    return;
  }
  float f_base = f;
  for (;;) {
    // A steepest-descent step to Y.
    f = EvaluateGradient(net, context);
    r = LineSearch(net, f, context);
    if (Done(net)) return;
    if (NoDecrease(r, f)) {
      net.Stuck = 1;
      return;
    }
    // Acceleration along Y − P from P, whose first trial is Y itself.
    const float descent_step = net.Step;
    for (int32_t i = 0; i < net.NumOfParameters; ++i) {
      net.Direction[i] = net.Parameters[i] - base[i];
    }
    net.Parameters.swap(base);
    net.Step = 1.0f;
    LineSearch(net, f_base, context);
    f_base = r;
    if (Done(net)) return;
    net.Step = descent_step;
  }
}

void ConjugateGradients(NeuralNet& net, EngineContext& context) {
  ConjugateLoop(net, context, [&net](const std::vector<float>& y, const std::vector<float>& d) {
    const double yd = MaskedDot(net, y, d);
    const double beta = -MaskedDot(net, y, net.Direction) / yd;
    if (yd == 0.0 || !std::isfinite(beta)) return false;
    AddScaled(net.Direction, beta, d);
    return true;
  });
}

void MemorylessBfgs(NeuralNet& net, EngineContext& context) {
  ConjugateLoop(net, context, [&net](const std::vector<float>& y, const std::vector<float>& d) {
    const double t = net.Step;
    const float a = static_cast<float>(MaskedDot(net, y, d));
    const float b = static_cast<float>(MaskedDot(net, d, net.Direction));
    const float c = static_cast<float>(MaskedDot(net, y, net.Direction));
    const float dd = static_cast<float>(MaskedDot(net, y, y));
    const double ky = -(static_cast<double>(b) / a);
    const double kd = (((static_cast<double>(dd) / a) + t) * b - c) / a;
    if (a == 0.0f || !std::isfinite(ky) || !std::isfinite(kd)) return false;
    AddScaled(net.Direction, ky, y);
    AddScaled(net.Direction, kd, d);
    return true;
  });
}

bool RunMethod(NeuralNet& net, EngineContext& context) {
  switch (context.options.TrainingMethod) {
    case 0:
      SteepestDescent(net, context);
      return true;
    case 1:
      ModifiedParTan(net, context);
      return true;
    case 2:
      ConjugateGradients(net, context);
      return true;
    case 3:
      MemorylessBfgs(net, context);
      return true;
    default:
      return false;
  }
}

}  // namespace velmar
