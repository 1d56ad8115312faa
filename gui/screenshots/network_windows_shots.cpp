#include "gui/screenshots/network_windows_shots.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include "gui/app/main_window.h"
#include "gui/base/scripted_dialogs.h"
#include "gui/engine/bump_dialog.h"
#include "gui/engine/network_commands.h"
#include "gui/engine/training_process.h"
#include "gui/project/project_window.h"
#include "gui/project/project_window_net_commands.h"
#include "gui/simplify/uniform_pruning_dialog.h"

namespace velmar::gui {
namespace {

// Lets the GUI thread run until `done` or a minute has passed.
bool WaitFor(const std::function<bool()>& done) {
  QDeadlineTimer deadline(60000);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  QApplication::processEvents();
  return true;
}

}  // namespace

bool ShootNetworkWindows(TMainWindow& window, TProject& project, ScriptedDialogs& dialogs,
                         const ShootFn& shoot) {
  NetworkCommands& commands = NetCommandsOf(project);
  TTrainingProcess& progress = commands.Progress();
  auto finished = [&] {
    return !commands.Runner().Busy() && progress.ButtonState() == StopButtonState::kFinished;
  };
  bool ok = true;

  // Training, with its final figures.
  window.ActivateChild(&project);
  project.TrainNet();
  ok = WaitFor(finished) && ok;
  shoot(&progress, QStringLiteral("training_process"));
  progress.Button()->click();

  // The windows of a trained network.
  window.ActivateChild(&project);
  project.TestNet();
  ok = WaitFor([&] { return !commands.Runner().Busy(); }) && ok;
  if (QWidget* test = window.ActiveChildWidget()) shoot(test, QStringLiteral("test_window"));

  window.ActivateChild(&project);
  project.InputSens();
  ok = WaitFor([&] { return !commands.Runner().Busy(); }) && ok;
  if (QWidget* sens = window.ActiveChildWidget()) shoot(sens, QStringLiteral("inp_sens_window"));

  // A simplification: once while it runs, with its counters, then stopped.
  window.ActivateChild(&project);
  project.PruneSynapses();
  ok = WaitFor([&] {
         return !progress.LabelText(TrainingLabel::kNumOfPrunedSynapses).isEmpty() &&
                !progress.LabelText(TrainingLabel::kStep).isEmpty();
       }) &&
       ok;
  shoot(&progress, QStringLiteral("simplify_running"));
  progress.Button()->click();
  shoot(&progress, QStringLiteral("simplify_stopping"));
  ok = WaitFor(finished) && ok;
  shoot(&progress, QStringLiteral("simplify_finished"));
  progress.Button()->click();

  // The significance window followed the simplification.
  window.ActivateChild(&project);
  project.InputSens();
  ok = WaitFor([&] { return !commands.Runner().Busy(); }) && ok;

  window.ActivateChild(&project);
  project.VerbalizeNet();
  if (QWidget* verbal = window.ActiveChildWidget()) {
    verbal->parentWidget()->resize(640, 480);
    shoot(verbal, QStringLiteral("verbal_text"));
  }

  // The analysis report, as its message box shows it.
  window.ActivateChild(&project);
  const size_t before = dialogs.CallsOf(ScriptedDialogs::Kind::kMessage).size();
  project.CheckTB();
  ok = WaitFor([&] { return !commands.Runner().Busy(); }) && ok;
  const auto messages = dialogs.CallsOf(ScriptedDialogs::Kind::kMessage);
  if (messages.size() > before) {
    QMessageBox box(QMessageBox::NoIcon, messages.back().caption, messages.back().text,
                    QMessageBox::Ok, &window);
    box.show();
    shoot(&box, QStringLiteral("analysis_report"));
  } else {
    ok = false;
  }

  // The two dialogs, prepared for the current network.
  NeuralNet* net = project.Model().CurrentNet();
  if (net != nullptr) {
    TBumpDialog& bump = commands.BumpDialog();
    bump.Prepare(*net);
    bump.show();
    shoot(&bump, QStringLiteral("bump_dialog"));
    bump.hide();
    TUniformPruningDialog& uniform = commands.UniformDialog();
    uniform.Prepare(*net);
    uniform.show();
    shoot(&uniform, QStringLiteral("uniform_pruning_dialog"));
    uniform.hide();
  }

  window.MdiArea()->tileSubWindows();
  shoot(&window, QStringLiteral("main_window_network_windows"));
  return ok;
}

}  // namespace velmar::gui
