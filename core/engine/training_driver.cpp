#include "core/engine/training_driver.h"

#include <memory>
#include <string>
#include <vector>

#include "core/base/format_real.h"
#include "core/data/task_book.h"
#include "core/engine/methods.h"
#include "core/engine/perturb.h"
#include "core/engine/propagation.h"

namespace velmar {
namespace {

constexpr float kInitialStep = 1e-5f;
constexpr int kMaxPerturbations = 3;

// Fills the seams a caller left out, so the engine below never meets a null.
struct CompleteContext {
  explicit CompleteContext(const EngineContext& given) : context(given) {
    if (context.options == nullptr) context.options = &options;
    if (context.host == nullptr) context.host = &host;
    if (context.view == nullptr) context.view = &view;
  }
  EngineContext context;
  ProjectOptions options;
  SilentHost host;
  NullTrainingView view;
};

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
  CompleteContext complete(context);
  EngineContext& ctx = complete.context;
  if (!net.Book && context.table != nullptr) {
    auto book = std::make_unique<TaskBook>();
    BuildTaskBook(*book, *context.table, net.Desc, ctx.options->ExtendTaskbook != 0, *ctx.host);
    net.Book = std::move(book);
  }
  if (BookRows(net) > 0) return true;
  ctx.host->ShowMessage(
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
  CompleteContext complete(context);
  EngineContext& ctx = complete.context;
  TrainingView& view = *ctx.view;

  if (net.InPruning == 0) {
    if (!PrepareTaskBook(net, ctx)) return;
    view.SetCaption("Обучение " + net.Desc.Name);
    view.Show(net.InPruning != 0);
    view.Repaint();
    net.StopFlag = 0;
  } else if (BookRows(net) == 0) {
    // The pruning driver prepares the taskbook before it trains; a pass over
    // an empty one would divide by zero below.
    return;
  }
  report.trained = true;

  PassWatch watch(*ctx.host, net);
  EngineContext run = ctx;
  run.host = &watch;
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

  const char separator = ctx.host->DecimalSeparator();
  const uint32_t rows = BookRows(net);
  view.SetLabel(TrainingLabel::kError,
                FormatReal(static_cast<double>(net.ErrorSum) / rows, separator));
  view.SetLabel(TrainingLabel::kNumOfExamples,
                std::to_string(net.NumOfSolved) + " из " + std::to_string(rows));
  if (net.InPruning != 0) {
    view.Repaint();
    return;
  }
  net.StopFlag = 1;
  view.SetButtonCaption(std::string(kStopButtonFinished));
  view.Repaint();
}

void RebuildAndTrain(NeuralNet& net, EngineContext& context) {
  if (context.options == nullptr || context.options->ExtendTaskbook == 0) return;
  net.Book.reset();
  if (!PrepareTaskBook(net, context)) return;
  TrainNetwork(net, context);
}

StopButtonOutcome PressStopButton(NeuralNet& net, TrainingView& view,
                                  std::string_view button_caption) {
  if (net.StopFlag == 1) {
    if (button_caption == kStopButtonStopping) return StopButtonOutcome::kIgnored;
    view.Hide();
    return StopButtonOutcome::kClosed;
  }
  view.SetButtonCaption(std::string(kStopButtonStopping));
  view.Repaint();
  net.StopFlag = 1;
  return StopButtonOutcome::kStopRequested;
}

}  // namespace velmar
