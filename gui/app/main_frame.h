#ifndef VELMAR_GUI_APP_MAIN_FRAME_H_
#define VELMAR_GUI_APP_MAIN_FRAME_H_

#include <QString>
#include <optional>

#include "gui/base/dialogs.h"

class QMdiSubWindow;
class QWidget;

namespace velmar::gui {

class QtHost;

// A window or dialog that is not an MDI child names its help context number
// in this property; F1 opens that topic.
inline constexpr char kHelpContextProperty[] = "velmarHelpContext";

// Which edit commands (menu items and speed buttons) are enabled.
struct EditCommandState {
  bool undo = false;
  bool cut = false;
  bool copy = false;
  bool paste = false;
};

// What the child windows ask of the main window (TMainWindow implements it).
class MainFrame {
 public:
  virtual ~MainFrame() = default;

  virtual QWidget* FrameWidget() = 0;
  virtual QtHost& AppHost() = 0;
  virtual Dialogs& UserDialogs() = 0;

  // Adds `child` (a ChildWindow widget) as an MDI child window and shows it.
  virtual QMdiSubWindow* AddChild(QWidget* child) = 0;
  // Makes `child`'s window the active one.
  virtual void ActivateChild(QWidget* child) = 0;

  // Enables Save (menu item and speed button) together.
  virtual void EnableSave(bool enabled) = 0;
  virtual void SetEditCommands(const EditCommandState& state) = 0;
  virtual void SetTrainEnabled(bool enabled) = 0;
  // Recomputes every command from the active child.
  virtual void RefreshCommands() = 0;

  // Runs the save dialog; on OK the active child's caption becomes the chosen
  // name and `chosen_index` (when given) the chosen filter index.
  virtual bool RunSaveDialog(const QString& filter, const QString& initial_name,
                             const QString& default_extension, int filter_index,
                             int* chosen_index = nullptr) = 0;

  // The shared open dialog (existing files only).
  virtual std::optional<FileChoice> RunOpenDialog(const QString& filter) = 0;

  // Opens the help topic of a context number.
  virtual void ShowHelpTopic(int context) = 0;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_APP_MAIN_FRAME_H_
