#ifndef VELMAR_GUI_PROJECT_PROJECT_WINDOW_H_
#define VELMAR_GUI_PROJECT_PROJECT_WINDOW_H_

#include <QPointer>
#include <QWidget>
#include <functional>

#include "core/base/file_util.h"
#include "core/engine/engine_context.h"
#include "core/project/project.h"
#include "core/project/workspace.h"
#include "gui/app/child_window.h"
#include "gui/tables/db_editor.h"

class QAction;
class QActionGroup;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;

namespace velmar::gui {

class MainFrame;
class TNetworkDialog;

// The project window: the network list, the open data file, the project
// options and every command on the selected network.
class TProject : public QWidget, public ChildWindow {
  Q_OBJECT

 public:
  inline static const QString kUntitled = QStringLiteral("Без имени");

  explicit TProject(MainFrame& frame, QWidget* parent = nullptr);
  ~TProject() override;

  // --- ChildWindow ---
  ChildKind Kind() const override { return ChildKind::kProject; }
  int HelpContext() const override { return 400; }
  bool SaveEnabled() const override { return workspace_.project().Modified(); }
  void Save() override;
  SaveAsSetup SaveAsDialogSetup() const override;
  bool CanClose() override;
  QList<QMenu*> MergedMenus() const override;
  void Activated() override { UpdateMenus(); }

  // Reads a project file into this (fresh) window and locks it for change;
  // kCancelled when another command or program holds the lock.
  Status Load(const QString& path);
  // Closes the window after the close question was answered elsewhere; the
  // table editor still asks its own. False when the window stays open.
  bool CloseWithoutQuestion();

  // --- What the network commands work with ---
  Project& Model() { return workspace_.project(); }
  Workspace& Work() { return workspace_; }
  MainFrame& Frame() { return frame_; }
  // The open table, or null without a data file.
  Table* DataTable();
  bool DataFileOpen() const { return data_editor_ != nullptr; }
  TDBEditor* DataEditor() const { return data_editor_; }
  // Options, table and host for an engine operation (no progress view;
  // Work().Context(view) gives one with a view).
  EngineContext Context();
  // Sets Modified and enables the main window's Save command.
  void MarkModified();

  // Recomputes the enabled and checked states of the menus and of the main
  // window's training button.
  void UpdateMenus();

  // Runs the network dialog modally; tests answer it instead.
  std::function<int(TNetworkDialog&)> network_dialog_runner;

  // --- Controls, named by role ---
  QListWidget* NetList = nullptr;
  QLabel* Description = nullptr;
  QLabel* DBName = nullptr;
  QPushButton* SelectDBButton = nullptr;
  QPushButton* AddNetButton = nullptr;
  QPushButton* CloneNetButton = nullptr;
  QPushButton* DeleteNetButton = nullptr;
  QPushButton* ParametersButton = nullptr;

  QMenu* NetMenu = nullptr;
  QAction* NetTrainItem = nullptr;
  QAction* NetTestItem = nullptr;
  QAction* NetCheckTB = nullptr;
  QAction* NetPruneInputsItem = nullptr;
  QAction* NetPruneNeuronsItem = nullptr;
  QAction* NetPruneLogicalItem = nullptr;
  QAction* NetPruneSynapsesItem = nullptr;
  QAction* NetPruneBiasesItem = nullptr;
  QAction* NetBinaryItem = nullptr;
  QAction* NetVerbalItem = nullptr;
  QAction* NetSensItem = nullptr;
  QAction* NetBumpItem = nullptr;

  QMenu* OptionsMenu = nullptr;
  QMenu* TrainingMethodItem = nullptr;
  QMenu* SensNormItem = nullptr;
  QMenu* BinWeightsItem = nullptr;
  QAction* RebuildTaskBookItem = nullptr;
  QList<QAction*> MethodItems;     // Tags 0..3
  QList<QAction*> SensNormItems;   // Tags 0..1
  QList<QAction*> BinWeightItems;  // Tags 0..3

 public slots:
  // The network list commands.
  void SelectDBButtonClick();
  void NetworkSelection();
  void AddNetButtonClick();
  void CloneNet();
  void DeleteNetButtonClick();
  void ParametersButtonClick();

  // The network commands; they open the engine's windows and are defined in
  // project_window_net_commands.cpp.
  void TrainNet();
  void TestNet();
  void CheckTB();
  void PruneInputs();
  void PruneNeurons();
  void PruneUniform();
  void PruneSynapses();
  void PruneBiases();
  void BinarizeSynapses();
  void VerbalizeNet();
  void InputSens();
  void Bump();

  // The options.
  void SelectTrainingMethod(int tag);
  void SelectSensNorm(int tag);
  void SelectBinWeights(int tag);
  void ExtendTaskbook();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  enum class SaveResult { kSaved, kCancelled, kFailed };
  SaveResult SaveProjectFile();
  void BuildControls();
  void BuildMenus();
  // Runs Simplify in `mode` on the selected network (1, 2, 4, 8, 16, 32).
  void Simplify(int mode);
  // Refills the list from the model and shows the selection.
  void RefreshNetList();
  void ShowSelection();
  void EditorClosed();
  void DiscardTaskBooks();
  // Runs the network dialog in create mode on `desc` and adds the network.
  void AddNetwork(DataDescription desc);
  // Runs the network dialog on `desc`; true on OK.
  bool RunNetworkDialog(DataDescription& desc, bool edit_mode);

  MainFrame& frame_;
  Workspace workspace_;
  // Held while the project file is open here, so that a command or a second
  // program changing the same file is refused instead of losing either's work.
  FileLock lock_;
  bool skip_close_question_ = false;
  QPointer<TDBEditor> data_editor_;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_PROJECT_PROJECT_WINDOW_H_
