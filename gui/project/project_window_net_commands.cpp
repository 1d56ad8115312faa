#include "gui/project/project_window_net_commands.h"

#include <QCloseEvent>

#include "gui/app/main_frame.h"
#include "gui/base/qt_host.h"
#include "gui/engine/network_commands.h"
#include "gui/project/project_window.h"

// The network commands that open the engine's windows and dialogs. The long
// ones run on the worker thread (see gui/base/work_runner.md); the main window
// is disabled meanwhile, and the project window refuses to close until the
// work is over, so no network goes away under the worker.
namespace velmar::gui {
namespace {

class CloseGuard : public QObject {
 public:
  CloseGuard(QObject* watched, NetworkCommands& commands) : QObject(watched), commands_(commands) {
    watched->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Close && commands_.Runner().Busy()) {
      event->ignore();
      return true;
    }
    return false;
  }

 private:
  NetworkCommands& commands_;
};

NetCommandData DataOf(TProject& project) {
  return {&project.Model().Options(), project.DataTable()};
}

}  // namespace

NetworkCommands& NetCommandsOf(TProject& project) {
  auto* commands = project.findChild<NetworkCommands*>(QString(), Qt::FindDirectChildrenOnly);
  if (commands == nullptr) {
    MainFrame& frame = project.Frame();
    commands = new NetworkCommands(frame.AppHost(), frame.FrameWidget(), &frame, {}, &project);
    new CloseGuard(&project, *commands);
  }
  return *commands;
}

void TProject::TrainNet() {
  NeuralNet* net = Model().CurrentNet();
  if (net == nullptr || !DataFileOpen()) return;
  // Training marks the project modified even when no taskbook could be made.
  NetCommandsOf(*this).TrainNet(*net, DataOf(*this), [this] { MarkModified(); });
}

void TProject::TestNet() {
  NeuralNet* net = Model().CurrentNet();
  if (net == nullptr || !DataFileOpen()) return;
  NetCommandsOf(*this).TestNet(*net, DataOf(*this));
}

void TProject::CheckTB() {
  NeuralNet* net = Model().CurrentNet();
  if (net == nullptr || !DataFileOpen()) return;
  NetCommandsOf(*this).CheckTB(*net, DataOf(*this));
}

void TProject::PruneInputs() { Simplify(1); }
void TProject::PruneNeurons() { Simplify(32); }
void TProject::PruneSynapses() { Simplify(2); }
void TProject::PruneBiases() { Simplify(16); }
void TProject::BinarizeSynapses() { Simplify(4); }

void TProject::PruneUniform() {
  NeuralNet* net = Model().CurrentNet();
  if (net == nullptr || !DataFileOpen()) return;
  NetCommandsOf(*this).PruneUniform(*net, DataOf(*this), [this] {
    MarkModified();
    ShowSelection();
  });
}

void TProject::Simplify(int mode) {
  NeuralNet* net = Model().CurrentNet();
  if (net == nullptr || !DataFileOpen()) return;
  // A retired input changes the description shown for the network.
  NetCommandsOf(*this).Simplify(*net, mode, DataOf(*this), [this] {
    MarkModified();
    ShowSelection();
  });
}

void TProject::VerbalizeNet() {
  NeuralNet* net = Model().CurrentNet();
  if (net == nullptr) return;
  NetCommandsOf(*this).VerbalizeNet(*net);
}

void TProject::InputSens() {
  NeuralNet* net = Model().CurrentNet();
  if (net == nullptr || !DataFileOpen()) return;
  NetCommandsOf(*this).InputSens(*net, DataOf(*this));
}

void TProject::Bump() {
  NeuralNet* net = Model().CurrentNet();
  if (net == nullptr) return;
  if (NetCommandsOf(*this).Bump(*net)) MarkModified();
}

}  // namespace velmar::gui
