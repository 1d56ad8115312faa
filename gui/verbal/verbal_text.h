#ifndef VELMAR_GUI_VERBAL_VERBAL_TEXT_H_
#define VELMAR_GUI_VERBAL_VERBAL_TEXT_H_

#include <QWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "core/base/status.h"
#include "core/engine/neural_net.h"

class QPlainTextEdit;

namespace velmar::gui {

// Which edit commands of the main window apply to the text now.
struct EditCommandState {
  bool cut = false;
  bool copy = false;
  bool paste = false;
  bool undo = false;
  friend bool operator==(const EditCommandState&, const EditCommandState&) = default;
};

// The verbal description of one network: an editable text, linked both ways
// with its network, saved as a text file by the main window's commands.
class TVerbalText : public QWidget, public NetWindowLink {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 800;

  explicit TVerbalText(NeuralNet& net, QWidget* parent = nullptr);
  ~TVerbalText() override;

  // Replaces the whole text by the description's lines.
  void SetLines(const std::vector<std::string>& lines);
  QString PlainText() const;

  // Its own modified flag: set when the window is made and whenever its text
  // changes, cleared by a save.
  bool Modified() const { return modified_; }

  // The main window's edit commands, applied to the text.
  void Undo();
  void Cut();
  void Copy();
  void Paste();
  // Works out the enabled states of Cut, Copy, Paste and Undo and announces
  // them (editCommandsChanged).
  void UpdateEditCommands();
  EditCommandState EditCommands() const;

  Status SaveVerbalText(const std::filesystem::path& path);
  Status Save();

  NeuralNet* Net() const { return net_; }
  QPlainTextEdit* Editor() const { return Text; }

  void CloseForNet() override;

 signals:
  void editCommandsChanged(velmar::gui::EditCommandState state);
  void modifiedChanged(bool modified);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void SetModified(bool modified);

  NeuralNet* net_;
  QPlainTextEdit* Text;
  bool modified_ = true;
  bool can_undo_ = false;
  bool filling_ = false;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_VERBAL_VERBAL_TEXT_H_
