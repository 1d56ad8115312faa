#ifndef VELMAR_GUI_ENGINE_TRAINING_PROCESS_H_
#define VELMAR_GUI_ENGINE_TRAINING_PROCESS_H_

#include <QDialog>
#include <QPointer>
#include <array>
#include <memory>
#include <string>

#include "core/base/training_view.h"
#include "core/engine/neural_net.h"

class QLabel;
class QPushButton;

namespace velmar::gui {

// The progress window of training and simplification: one per application,
// always about the project's current network. It is a window of its own, not
// a child of the main window, because the main window is disabled while it is
// up and its button must still answer.
class TTrainingProcess : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 500;

  // `main_window` is disabled while this window is shown; the figures are
  // written with `decimal_separator`.
  TTrainingProcess(QWidget* main_window, char decimal_separator);
  ~TTrainingProcess() override;

  // The network whose StopFlag the button sets.
  void SetNet(NeuralNet* net) { net_ = net; }
  NeuralNet* Net() const { return net_; }

  // The view the training and pruning drivers drive from the worker thread:
  // every call reaches this window as a queued call, in order.
  TrainingView& WorkerView();

  // The same operations on the GUI thread.
  void SetTitle(const std::string& caption);
  void FormShow(bool pruning_labels_visible);
  void HideWindow();
  void SetLabel(TrainingLabel label, const std::string& text);
  void ShowProgress(const TrainingProgress& progress);
  void SetStopButton(StopButtonState state);
  StopButtonState ButtonState() const { return state_; }

  QString LabelText(TrainingLabel label) const;
  QLabel* ValueLabel(TrainingLabel label) const;
  QPushButton* Button() const { return Button1; }
  bool PruningLabelsVisible() const;

 signals:
  // "Готово" was clicked: the window is hidden and the main window enabled.
  void finishedByUser();

 protected:
  // Neither Escape nor the window system closes it; only "Готово" does.
  void reject() override {}
  void closeEvent(QCloseEvent* event) override;

 private:
  class QueuedView;

  void Button1Click();

  QPointer<QWidget> main_window_;
  NeuralNet* net_ = nullptr;
  char separator_;
  StopButtonState state_ = StopButtonState::kRunning;
  std::unique_ptr<QueuedView> worker_view_;

  QLabel* Label1;
  QLabel* NumOfTrainingCycles;
  QLabel* Label3;
  QLabel* Step;
  QLabel* Label4;
  QLabel* Error;
  QLabel* Label5;
  QLabel* NumOfExamples;
  QLabel* Label6;
  QLabel* NumOfPrunedInputs;
  QLabel* Label9;
  QLabel* NumOfPrunedNeurons;
  QLabel* Label7;
  QLabel* NumOfPrunedSynapses;
  QLabel* Label8;
  QLabel* NumOfBinSynapses;
  QPushButton* Button1;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_ENGINE_TRAINING_PROCESS_H_
