#ifndef VELMAR_GUI_APP_MAIN_WINDOW_H_
#define VELMAR_GUI_APP_MAIN_WINDOW_H_

#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <memory>

#include "gui/app/child_window.h"
#include "gui/app/main_frame.h"
#include "gui/project/project_window.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

namespace velmar::gui {

class QtHost;
class TAboutBox;
class THelpWindow;

// The multiple-document frame: menus, speed bar and status line; it routes
// the file and edit commands by the kind of the active child window.
class TMainWindow : public QMainWindow, public MainFrame {
  Q_OBJECT

 public:
  inline static const QString kCaption = QStringLiteral("Velmar 0.25");

  // `dialogs` answers every message box and file dialog (a script in tests);
  // null means the real ones.
  explicit TMainWindow(Dialogs* dialogs = nullptr, QWidget* parent = nullptr);
  ~TMainWindow() override;

  // The help file; by default the executable's name with ".hlp", beside it.
  void SetHelpFile(const QString& path);
  const QString& HelpFilePath() const { return help_file_; }

  TProject* Project() const { return project_; }
  // The active child window's widget, or null.
  QWidget* ActiveChildWidget() const;
  ChildWindow* ActiveChild() const;
  QMdiArea* MdiArea() const { return mdi_area_; }
  THelpWindow* HelpWindow() const { return help_window_; }
  TAboutBox* AboutBox() const { return about_box_; }

  // --- MainFrame ---
  QWidget* FrameWidget() override { return this; }
  QtHost& AppHost() override { return *host_; }
  Dialogs& UserDialogs() override { return *dialogs_; }
  QMdiSubWindow* AddChild(QWidget* child) override;
  void ActivateChild(QWidget* child) override;
  void EnableSave(bool enabled) override;
  void SetEditCommands(const EditCommandState& state) override;
  void SetTrainEnabled(bool enabled) override;
  void RefreshCommands() override;
  std::optional<FileChoice> RunOpenDialog(const QString& filter) override;
  void ShowHelpTopic(int context) override;

  bool RunSaveDialog(const QString& filter, const QString& initial_name,
                     const QString& default_extension, int filter_index,
                     int* chosen_index = nullptr) override;
  // Closes the project (with its questions) and makes a new one captioned
  // `caption`; false when a question refused.
  bool ReplaceProject(const QString& caption);

  // Menu items and speed buttons, named by role.
  QMenu* FileMenu = nullptr;
  QMenu* EditMenu = nullptr;
  QMenu* WindowMenu = nullptr;
  QMenu* HelpMenu = nullptr;
  QAction* FileNewItem = nullptr;
  QAction* FileOpenItem = nullptr;
  QAction* FileSaveItem = nullptr;
  QAction* FileSaveAsItem = nullptr;
  QAction* FileExitItem = nullptr;
  QAction* EditUndoItem = nullptr;
  QAction* EditCutItem = nullptr;
  QAction* EditCopyItem = nullptr;
  QAction* EditPasteItem = nullptr;
  QAction* WindowTileItem = nullptr;
  QAction* WindowCascadeItem = nullptr;
  QAction* WindowArrangeItem = nullptr;
  QAction* HelpContentsItem = nullptr;
  QAction* HelpSearchItem = nullptr;
  QAction* HelpAboutItem = nullptr;
  QToolBar* SpeedBar = nullptr;
  QAction* SBNew = nullptr;
  QAction* SBOpen = nullptr;
  QAction* SBSave = nullptr;
  QAction* SBCut = nullptr;
  QAction* SBCopy = nullptr;
  QAction* SBPaste = nullptr;
  QAction* SBUndo = nullptr;
  QAction* SpeedButton9 = nullptr;
  QAction* SBTrain = nullptr;

 public slots:
  void FileNew();
  void FileOpen();
  void FileSave();
  void FileSaveAs();
  void FileExit();
  void EditUndo();
  void EditCut();
  void EditCopy();
  void EditPaste();
  void WindowTile();
  void WindowCascade();
  void WindowArrange();
  void HelpContents();
  void HelpSearch();
  void HelpAbout();
  void SBNetTrain();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildSpeedBar();
  void FillWindowMenu();
  // Puts the active child's menus into the bar between "&Правка" and "&Окно".
  void MergeMenus(ChildWindow* child);
  // Closes the project window with its questions; false when refused.
  bool CloseProject();
  QWidget* OwnerFor(int owner_kind);
  // Loads the help file on first use; false (with a message) when it fails.
  bool EnsureHelp();

  std::unique_ptr<Dialogs> own_dialogs_;
  Dialogs* dialogs_ = nullptr;
  std::unique_ptr<QtHost> host_;
  QMdiArea* mdi_area_ = nullptr;
  QPointer<TProject> project_;
  QList<QPointer<QMenu>> merged_menus_;
  QString help_file_;
  THelpWindow* help_window_ = nullptr;
  TAboutBox* about_box_ = nullptr;
  QObject* help_key_filter_ = nullptr;
  bool closing_down_ = false;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_APP_MAIN_WINDOW_H_
