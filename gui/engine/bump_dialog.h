#ifndef VELMAR_GUI_ENGINE_BUMP_DIALOG_H_
#define VELMAR_GUI_ENGINE_BUMP_DIALOG_H_

#include <QDialog>
#include <string>

#include "core/base/host.h"
#include "core/engine/neural_net.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmar::gui {

// The weight perturbation dialog: a level from 0 to 1; its OK perturbs the
// network it was opened for.
class TBumpDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 1000;

  TBumpDialog(Host& host, QWidget* parent = nullptr);

  // Sets the caption and the level for `net`; Exec shows the dialog modally.
  void Prepare(NeuralNet& net);
  int Exec() { return exec(); }

  QLineEdit* BumpLevelEdit() const { return BumpLevel; }
  QPushButton* OkButton() const { return BumpButton; }
  QPushButton* CancelButton() const { return Button1; }

  void BumpButtonClick();

 private:
  // Reads the level; on a refusal the edit shows the default level again.
  bool CheckLevel(float* level);

  Host& host_;
  NeuralNet* net_ = nullptr;
  QLabel* Label1;
  QLineEdit* BumpLevel;
  QPushButton* BumpButton;
  QPushButton* Button1;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_ENGINE_BUMP_DIALOG_H_
