#ifndef VELMAR_GUI_VERBAL_VERBAL_TEXT_H_
#define VELMAR_GUI_VERBAL_VERBAL_TEXT_H_

#include <QWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "core/base/host.h"
#include "core/base/status.h"
#include "core/engine/neural_net.h"
#include "gui/app/child_window.h"
#include "gui/app/main_frame.h"

class QPlainTextEdit;

namespace velmar::gui {

// The verbal description of one network: an editable text, linked both ways
// with its network, saved as a text file by the main window's commands.
class TVerbalText : public QWidget, public ChildWindow, public NetWindowLink {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 800;

  TVerbalText(NeuralNet& net, Host& host, MainFrame* frame, QWidget* parent = nullptr);
  ~TVerbalText() override;

  // Replaces the whole text by the description's lines.
  void SetLines(const std::vector<std::string>& lines);
  QString PlainText() const;

  // Its own modified flag: set when the window is made and whenever its text
  // changes, cleared by a save.
  bool Modified() const { return modified_; }

  // ChildWindow: the main window's edit commands act on the text.
  ChildKind Kind() const override { return ChildKind::kVerbal; }
  int HelpContext() const override { return kHelpContext; }
  bool SaveEnabled() const override { return modified_; }
  void Save() override;
  SaveAsSetup SaveAsDialogSetup() const override;
  void EditUndo() override;
  void EditCut() override;
  void EditCopy() override;
  void EditPaste() override;
  // Works out the enabled states of Cut, Copy, Paste and Undo and gives them
  // to the main window while this window is the active one.
  void UpdateEditCommands() override;
  EditCommandState EditCommands() const;

  Status SaveVerbalText(const std::filesystem::path& path);

  NeuralNet* Net() const { return net_; }
  QPlainTextEdit* Editor() const { return Text; }

  void CloseForNet() override;

 signals:
  void editCommandsChanged();
  void modifiedChanged(bool modified);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void SetModified(bool modified);

  NeuralNet* net_;
  Host& host_;
  MainFrame* frame_;
  QPlainTextEdit* Text;
  bool modified_ = true;
  bool can_undo_ = false;
  bool filling_ = false;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_VERBAL_VERBAL_TEXT_H_
