#ifndef VELMAR_GUI_DATA_NETWORK_DIALOG_H_
#define VELMAR_GUI_DATA_NETWORK_DIALOG_H_

#include <QAbstractSpinBox>
#include <QDialog>
#include <array>

#include "core/data/data_description.h"
#include "core/data/network_validation.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace velmar::gui {

class MainFrame;

// An edit with a spin button beside it: the arrows move a position kept
// apart from the text, which the user may type freely and which is checked
// only when the edit is left.
class SpinEdit : public QAbstractSpinBox {
  Q_OBJECT

 public:
  SpinEdit(int minimum, int maximum, QWidget* parent = nullptr);

  int Position() const { return position_; }
  // Moves the position and shows it as the text.
  void SetPosition(int position);
  // Detaches the text from the position (an empty edit).
  void ClearText();

  QValidator::State validate(QString& input, int& pos) const override;
  void stepBy(int steps) override;

 signals:
  // The spin button moved the position.
  void Stepped(int position);

 protected:
  StepEnabled stepEnabled() const override;

 private:
  int minimum_;
  int maximum_;
  int position_;
};

// The network parameters dialog: creates a network (create mode) or edits
// the name, characteristics and output tolerances of an existing one (edit
// mode), on a DataDescription it works on in place. Every edit is checked
// when the user leaves it, with the core's rules.
class TNetworkDialog : public QDialog {
  Q_OBJECT

 public:
  enum class Mode { kCreate, kEdit };

  TNetworkDialog(MainFrame& frame, DataDescription& desc, Mode mode, QWidget* parent = nullptr);
  ~TNetworkDialog() override;

  Mode DialogMode() const { return mode_; }
  int CurrentField() const { return current_; }
  // Selects field `index` as a click in the list does.
  void SelectField(int index);

  // OK: the name (and in create mode the monotone flag) go into the
  // description; refused while an edit holds a refused value.
  void accept() override;
  // Cancel: in edit mode the characteristics and tolerances come back.
  void reject() override;

  // --- Controls, named by role ---
  QLineEdit* NetName = nullptr;
  QPushButton* ButtonOk = nullptr;
  QPushButton* ButtonCancel = nullptr;
  QTabWidget* Pages = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QWidget* TabSheet3 = nullptr;
  QListWidget* ListBox = nullptr;
  QLabel* MinMaxValues = nullptr;
  QGroupBox* UsageGroup = nullptr;
  std::array<QRadioButton*, 4> Usage{};
  QGroupBox* TypeGroup = nullptr;
  QRadioButton* TypeContinuous = nullptr;
  QRadioButton* TypeDiscrete = nullptr;
  QLabel* Label27 = nullptr;
  QLineEdit* Gap = nullptr;
  QLabel* NumOfInpFields = nullptr;
  QLabel* NumOfInputs = nullptr;
  QLabel* NumOfOutFields = nullptr;
  QLabel* NumOfOutputs = nullptr;
  QSpinBox* UpDown1 = nullptr;  // the number of discrete states, read-only text
  QCheckBox* Predecessor = nullptr;
  std::array<QLineEdit*, kMaxStates> F{};
  std::array<QLineEdit*, kMaxStates> To{};
  QSpinBox* UpDown = nullptr;  // the number of layers, read-only text
  QCheckBox* IsMonotonical = nullptr;
  std::array<SpinEdit*, kMaxLayers> N{};
  std::array<QComboBox*, kMaxLayers> T{};
  std::array<QLineEdit*, kMaxLayers> C{};

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildFieldsPage();
  QWidget* BuildStatesPage();
  QWidget* BuildStructurePage();
  void UsageChange(int usage);
  void TypeChange(bool discrete);
  void RefreshField();
  void RefreshTolerance();
  void RefreshCounters();
  void RefreshLayerRows();
  void RefreshStateRows();
  void StatesStepped(int count);
  // Checks the edit being left; false when its value was refused (the old
  // value is shown again and the edit has the focus back).
  bool LeaveEdit(QObject* edit);
  void Refuse(QWidget* edit, const ValidationError& error);
  QString Real(float value) const;
  bool Create() const { return mode_ == Mode::kCreate; }

  MainFrame& frame_;
  DataDescription& desc_;
  Mode mode_;
  EditBackup backup_;
  int current_ = -1;
  bool refreshing_ = false;
  bool leaving_ = false;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_DATA_NETWORK_DIALOG_H_
