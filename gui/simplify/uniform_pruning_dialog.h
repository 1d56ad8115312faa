#ifndef VELMAR_GUI_SIMPLIFY_UNIFORM_PRUNING_DIALOG_H_
#define VELMAR_GUI_SIMPLIFY_UNIFORM_PRUNING_DIALOG_H_

#include <QDialog>

#include "core/base/host.h"
#include "core/engine/neural_net.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmar::gui {

// The uniform simplification dialog: the largest number of synapses a neuron
// may keep. Its OK stores the number in the network; the caller then runs the
// simplification.
class TUniformPruningDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 700;

  explicit TUniformPruningDialog(Host& host, QWidget* parent = nullptr);

  void Prepare(NeuralNet& net);
  int Exec() { return exec(); }

  QLineEdit* NumOfSymptomsEdit() const { return NumOfSymptoms; }
  QPushButton* OkButton() const { return Button1; }
  QPushButton* CancelButton() const { return Button2; }

  void Button1Click();

 private:
  // On a refusal the message is shown and the edit shows the network's
  // current value again.
  bool CheckEdit();
  void RestoreValue();

  Host& host_;
  NeuralNet* net_ = nullptr;
  QLabel* Label1;
  QLineEdit* NumOfSymptoms;
  QPushButton* Button1;
  QPushButton* Button2;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_SIMPLIFY_UNIFORM_PRUNING_DIALOG_H_
