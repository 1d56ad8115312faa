#ifndef VELMAR_GUI_ENGINE_NETWORK_COMMANDS_H_
#define VELMAR_GUI_ENGINE_NETWORK_COMMANDS_H_

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "core/base/host.h"
#include "core/data/project_options.h"
#include "core/engine/neural_net.h"
#include "core/tables/table.h"
#include "gui/base/work_runner.h"

class QMdiArea;

namespace velmar::gui {
class MainFrame;
}

namespace velmar::gui {

class TBumpDialog;
class TInpSensWindow;
class TTestWindow;
class TTrainingProcess;
class TUniformPruningDialog;
class TVerbalText;

// What a network command works on: the project's options and the open table
// (null when none is open).
struct NetCommandData {
  ProjectOptions* options = nullptr;
  Table* table = nullptr;
};

// The network commands of the project window as the windows carry them out:
// the long ones on the worker thread with the progress window or the busy
// cursor, the network's own windows made, linked and shown. Holds the
// single-instance progress window and the two dialogs.
class NetworkCommands : public QObject {
  Q_OBJECT

 public:
  // Shows a network window: adds it to the main window's child windows the
  // first time, brings it to the front afterwards.
  using ShowChild = std::function<void(QWidget* child)>;

  // `frame` (may be null) is told about saves and edit commands of the
  // network windows; without `show_child` they go into the frame's area.
  NetworkCommands(Host& host, QWidget* main_window, MainFrame* frame, ShowChild show_child = {},
                  QObject* parent = nullptr);
  ~NetworkCommands() override;

  // Each long command returns false when it could not start (another runs);
  // `after` runs on the GUI thread once the work is over, e.g. to mark the
  // project modified.
  bool TrainNet(NeuralNet& net, NetCommandData data, std::function<void()> after = {});
  bool Simplify(NeuralNet& net, int32_t mode, NetCommandData data,
                std::function<void()> after = {});
  bool TestNet(NeuralNet& net, NetCommandData data, std::function<void()> after = {});
  bool CheckTB(NeuralNet& net, NetCommandData data, std::function<void()> after = {});
  bool InputSens(NeuralNet& net, NetCommandData data, std::function<void()> after = {});

  // The uniform simplification dialog, then the run on OK. False on Cancel.
  bool PruneUniform(NeuralNet& net, NetCommandData data, std::function<void()> after = {});
  // The perturbation dialog; true when it perturbed the network.
  bool Bump(NeuralNet& net);
  // (Re)writes the network's verbal description into its window.
  TVerbalText* VerbalizeNet(NeuralNet& net);

  WorkRunner& Runner() { return *runner_; }
  TTrainingProcess& Progress() { return *progress_; }
  TBumpDialog& BumpDialog() { return *bump_; }
  TUniformPruningDialog& UniformDialog() { return *uniform_; }

  static TTestWindow* TestWindowOf(const NeuralNet& net);
  static TInpSensWindow* InpSensWindowOf(const NeuralNet& net);
  static TVerbalText* VerbalWindowOf(const NeuralNet& net);

  // The standard ShowChild for a multiple-document area.
  static ShowChild ShowInArea(QMdiArea* area);

 private:
  bool RunWithProgress(NeuralNet& net, std::function<void(NeuralNet&, Host&)> work,
                       std::function<void()> after);
  // Busy cursor around work that reports through its own window or box.
  bool RunBusy(NeuralNet& net, std::function<void(Host&)> work, std::function<void()> done);

  Host& host_;
  QPointer<QWidget> main_window_;
  MainFrame* frame_;
  ShowChild show_child_;
  std::unique_ptr<WorkRunner> runner_;
  std::unique_ptr<TTrainingProcess> progress_;
  std::unique_ptr<TBumpDialog> bump_;
  std::unique_ptr<TUniformPruningDialog> uniform_;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_ENGINE_NETWORK_COMMANDS_H_
