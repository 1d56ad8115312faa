#include "core/engine/training_driver.h"

#include <memory>
#include <string>
#include <vector>

#include "core/data/task_book.h"
#include "core/engine/methods.h"
#include "core/engine/perturb.h"
#include "core/engine/propagation.h"

namespace velmar {
namespace {

constexpr float kInitialStep = 1e-5f;
constexpr int kMaxPerturbations = 3;

uint32_t BookRows(const NeuralNet& net) { return net.Book ? net.Book->Count() : 0; }

// Passes the host through and notes the parameters of every pass over the
// taskbook (each pass ends by letting input through), so the driver knows
// whether ErrorSum and NumOfSolved describe the parameters the net ends with.
// A line search keeps the figures of the last point it tried, not of the step
// it settles on, and a method may end on them as if every example were solved.
class PassWatch final : public Host {
 public:
  PassWatch(Host& host, const NeuralNet& net) : host_(host), net_(net) {}

  void ShowMessage(const Message& message) override { host_.ShowMessage(message); }
  Answer AskYesNoCancel(const Message& question) override { return host_.AskYesNoCancel(question); }
  void SetCursor(CursorShape shape) override { host_.SetCursor(shape); }
  void ProcessPendingInput() override {
    evaluated_ = net_.Parameters;
    seen_ = true;
    host_.ProcessPendingInput();
  }
  char DecimalSeparator() const override { return host_.DecimalSeparator(); }

  bool FiguresAreCurrent() const { return seen_ && evaluated_ == net_.Parameters; }

 private:
  Host& host_;
  const NeuralNet& net_;
  std::vector<float> evaluated_;
  bool seen_ = false;
};

}  // namespace

bool PrepareTaskBook(NeuralNet& net, EngineContext& context) {
  if (!net.Book && context.table != nullptr) {
    auto book = std::make_unique<TaskBook>();
    BuildTaskBook(*book, *context.table, net.Desc, context.options.ExtendTaskbook != 0,
                  context.host);
    net.Book = std::move(book);
  }
  if (BookRows(net) > 0) return true;
  context.host.ShowMessage(
      {"В файле данных нет записей либо из-за наличия пропусков в данных "
       "невозможно сформировать непустую обучающую выборку",
       "Операция невозможна", OwnerKind::kMain});
  net.Book.reset();
  return false;
}

void TrainNetwork(NeuralNet& net, EngineContext& context) {
  TrainingReport report;
  TrainNetwork(net, context, report);
}

void TrainNetwork(NeuralNet& net, EngineContext& context, TrainingReport& report) {
  report = TrainingReport{};
  TrainingView& view = context.view;

  if (net.InPruning == 0) {
    if (!PrepareTaskBook(net, context)) return;
    view.SetCaption("Обучение " + net.Desc.Name);
    view.Show(net.InPruning != 0);
    net.StopFlag = 0;
  } else if (BookRows(net) == 0) {
    // The pruning driver prepares the taskbook before it trains; a pass over
    // an empty one would divide by zero below.
    return;
  }
  report.trained = true;

  PassWatch watch(context.host, net);
  EngineContext run{context.options, context.table, watch, context.view};
  net.Step = kInitialStep;
  for (;;) {
    net.Stuck = 0;
    if (!RunMethod(net, run)) {
      // No method to run: the net is shown as it stands, and an unsolved
      // book is not a stuck method to shake loose.
      EvaluateError(net, run);
      break;
    }
    ++report.runs;
    const bool last_run =
        net.Stuck == 0 || report.perturbations >= kMaxPerturbations || net.StopFlag != 0;
    if (last_run && !watch.FiguresAreCurrent()) EvaluateError(net, run);
    // A run that ended neither stuck nor stopped claims every example solved;
    // when the net as it stands does not, it is retried like a stuck one.
    if (net.Stuck == 0 && net.StopFlag == 0 && net.ErrorSum != 0.0f) net.Stuck = 1;
    if (net.Stuck == 0 || report.perturbations >= kMaxPerturbations || net.StopFlag != 0) break;
    ++report.perturbations;
    Perturb(net, kStuckBumpLevel);
  }

  const uint32_t rows = BookRows(net);
  TrainingProgress final_figures;
  final_figures.error = static_cast<double>(net.ErrorSum) / rows;
  final_figures.solved = SolvedFigure{net.NumOfSolved, rows};
  view.ShowProgress(final_figures);
  if (net.InPruning != 0) return;
  net.StopFlag = 1;
  view.SetStopButton(StopButtonState::kFinished);
}

void RebuildAndTrain(NeuralNet& net, EngineContext& context) {
  if (context.options.ExtendTaskbook == 0) return;
  net.Book.reset();
  if (!PrepareTaskBook(net, context)) return;
  TrainNetwork(net, context);
}

StopButtonOutcome PressStopButton(NeuralNet& net, TrainingView& view, StopButtonState shown) {
  if (net.StopFlag == 1) {
    if (shown == StopButtonState::kStopping) return StopButtonOutcome::kIgnored;
    view.Hide();
    return StopButtonOutcome::kClosed;
  }
  view.SetStopButton(StopButtonState::kStopping);
  net.StopFlag = 1;
  return StopButtonOutcome::kStopRequested;
}

}  // namespace velmar
