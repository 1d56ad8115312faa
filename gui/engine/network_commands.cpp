#include "gui/engine/network_commands.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <string>

#include "core/data/training_set_analysis.h"
#include "core/engine/test_network.h"
#include "core/engine/training_driver.h"
#include "core/simplify/pruning.h"
#include "core/simplify/significance.h"
#include "core/verbal/verbalize.h"
#include "gui/app/main_frame.h"
#include "gui/engine/bump_dialog.h"
#include "gui/engine/test_window.h"
#include "gui/engine/training_process.h"
#include "gui/simplify/inp_sens_window.h"
#include "gui/simplify/uniform_pruning_dialog.h"
#include "gui/verbal/verbal_text.h"

namespace velmar::gui {
namespace {

EngineContext MakeContext(const NetCommandData& data, Host& host, TrainingView* view) {
  // Work without the progress window reports through its own window or box.
  static NullTrainingView no_view;
  return EngineContext{*data.options, data.table, host, view != nullptr ? *view : no_view};
}

// Gives a new child window the client size its widget was made with.
void FitSubWindow(QMdiSubWindow* sub, QWidget* child, QSize size) {
  if (sub == nullptr) return;
  // The significance window can be minimized and closed, not maximized.
  if (child->inherits("velmar::gui::TInpSensWindow")) {
    sub->setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    sub->show();
  }
  const QSize frame = sub->size() - child->size();
  sub->resize(size + frame);
}

}  // namespace

NetworkCommands::NetworkCommands(Host& host, QWidget* main_window, MainFrame* frame,
                                 ShowChild show_child, QObject* parent)
    : QObject(parent),
      host_(host),
      main_window_(main_window),
      frame_(frame),
      show_child_(std::move(show_child)),
      runner_(std::make_unique<WorkRunner>(host, main_window)),
      progress_(std::make_unique<TTrainingProcess>(main_window, host.DecimalSeparator())),
      bump_(std::make_unique<TBumpDialog>(host, main_window)),
      uniform_(std::make_unique<TUniformPruningDialog>(host, main_window)) {
  // After a training the main window stays disabled until "Готово".
  runner_->SetMainWindowHold([this] { return progress_->isVisible(); });
  if (!show_child_ && frame_ != nullptr) {
    show_child_ = [frame](QWidget* child) {
      if (qobject_cast<QMdiSubWindow*>(child->parentWidget()) != nullptr) {
        frame->ActivateChild(child);
      } else {
        const QSize size = child->size();
        FitSubWindow(frame->AddChild(child), child, size);
      }
    };
  }
  if (!show_child_) {
    show_child_ = [](QWidget* child) {
      child->show();
      child->raise();
    };
  }
}

NetworkCommands::~NetworkCommands() {
  // The runner first: it may still drive the progress window.
  runner_.reset();
}

TTestWindow* NetworkCommands::TestWindowOf(const NeuralNet& net) {
  return dynamic_cast<TTestWindow*>(net.TestWindow);
}
TInpSensWindow* NetworkCommands::InpSensWindowOf(const NeuralNet& net) {
  return dynamic_cast<TInpSensWindow*>(net.InpSensWindow);
}
TVerbalText* NetworkCommands::VerbalWindowOf(const NeuralNet& net) {
  return dynamic_cast<TVerbalText*>(net.VerbalWindow);
}

NetworkCommands::ShowChild NetworkCommands::ShowInArea(QMdiArea* area) {
  return [area](QWidget* child) {
    auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget());
    if (sub == nullptr) {
      const QSize size = child->size();
      sub = area->addSubWindow(child);
      sub->setAttribute(Qt::WA_DeleteOnClose);
      child->show();
      sub->show();
      FitSubWindow(sub, child, size);
    }
    child->show();
    sub->show();
    area->setActiveSubWindow(sub);
  };
}

bool NetworkCommands::RunWithProgress(NeuralNet& net, std::function<void(NeuralNet&, Host&)> work,
                                      std::function<void()> after) {
  if (runner_->Busy()) return false;
  progress_->SetNet(&net);
  NeuralNet* target = &net;
  return runner_->Start([target, work = std::move(work)](Host& host) { work(*target, host); },
                        std::move(after), [target] { target->StopFlag = 1; });
}

bool NetworkCommands::TrainNet(NeuralNet& net, NetCommandData data, std::function<void()> after) {
  TrainingView* view = &progress_->WorkerView();
  return RunWithProgress(
      net,
      [data, view](NeuralNet& target, Host& host) {
        EngineContext context = MakeContext(data, host, view);
        TrainNetwork(target, context);
      },
      std::move(after));
}

bool NetworkCommands::Simplify(NeuralNet& net, int32_t mode, NetCommandData data,
                               std::function<void()> after) {
  TrainingView* view = &progress_->WorkerView();
  return RunWithProgress(
      net,
      [data, view, mode](NeuralNet& target, Host& host) {
        EngineContext context = MakeContext(data, host, view);
        velmar::Simplify(target, mode, context);
      },
      std::move(after));
}

bool NetworkCommands::RunBusy(NeuralNet& net, std::function<void(Host&)> work,
                              std::function<void()> done) {
  if (runner_->Busy()) return false;
  host_.SetCursor(CursorShape::kBusy);
  NeuralNet* target = &net;
  return runner_->Start(
      std::move(work),
      [this, done = std::move(done)] {
        host_.SetCursor(CursorShape::kArrow);
        if (done) done();
      },
      [target] { target->StopFlag = 1; });
}

bool NetworkCommands::TestNet(NeuralNet& net, NetCommandData data, std::function<void()> after) {
  auto grid = std::make_shared<TestGrid>();
  auto widths = std::make_shared<std::vector<int>>();
  auto ok = std::make_shared<bool>(false);
  const QFont font = QApplication::font("QTableView");
  NeuralNet* target = &net;
  return RunBusy(
      net,
      [data, grid, widths, ok, font, target](Host& host) {
        EngineContext context = MakeContext(data, host, nullptr);
        *ok = TestNetwork(*target, context, *grid);
        // Measured here, so even a very long grid costs the GUI thread nothing.
        if (*ok) *widths = TestColumnWidths(*grid, font);
      },
      [this, grid, widths, ok, target, after = std::move(after)] {
        if (*ok) {
          TTestWindow* window = TestWindowOf(*target);
          if (window == nullptr) window = new TTestWindow(*target, host_, frame_);
          window->SetGrid(grid, *widths);
          show_child_(window);
        }
        if (after) after();
      });
}

bool NetworkCommands::CheckTB(NeuralNet& net, NetCommandData data, std::function<void()> after) {
  auto report = std::make_shared<std::string>();
  NeuralNet* target = &net;
  return RunBusy(
      net,
      [data, report, target](Host& host) {
        EngineContext context = MakeContext(data, host, nullptr);
        if (!PrepareTaskBook(*target, context)) return;
        *report = TrainingSetReport(AnalysePairs(*target->Book), host.DecimalSeparator());
      },
      [this, report, after = std::move(after)] {
        // The arrow is back before the report shows.
        if (!report->empty()) {
          host_.ShowMessage(Message{*report, kTrainingSetAnalysisCaption, OwnerKind::kProject});
        }
        if (after) after();
      });
}

bool NetworkCommands::InputSens(NeuralNet& net, NetCommandData data, std::function<void()> after) {
  auto ok = std::make_shared<bool>(false);
  NeuralNet* target = &net;
  return RunBusy(
      net,
      [data, ok, target](Host& host) {
        EngineContext context = MakeContext(data, host, nullptr);
        *ok = ComputeSignificance(*target, context);
      },
      [this, ok, target, after = std::move(after)] {
        if (*ok) {
          TInpSensWindow* window = InpSensWindowOf(*target);
          if (window == nullptr) {
            window = new TInpSensWindow(*target, host_, frame_);
          } else {
            window->Repaint();
          }
          show_child_(window);
        }
        if (after) after();
      });
}

bool NetworkCommands::PruneUniform(NeuralNet& net, NetCommandData data,
                                   std::function<void()> after) {
  if (runner_->Busy()) return false;
  uniform_->Prepare(net);
  if (uniform_->Exec() != QDialog::Accepted) return false;
  return Simplify(net, kPruneUniform, data, std::move(after));
}

bool NetworkCommands::Bump(NeuralNet& net) {
  if (runner_->Busy()) return false;
  bump_->Prepare(net);
  return bump_->Exec() == QDialog::Accepted;
}

TVerbalText* NetworkCommands::VerbalizeNet(NeuralNet& net) {
  const std::vector<std::string> lines = velmar::VerbalizeNet(net, host_.DecimalSeparator());
  TVerbalText* window = VerbalWindowOf(net);
  if (window == nullptr) window = new TVerbalText(net, host_, frame_);
  window->SetLines(lines);
  show_child_(window);
  window->UpdateEditCommands();
  return window;
}

}  // namespace velmar::gui
