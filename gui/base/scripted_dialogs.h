#ifndef VELMAR_GUI_BASE_SCRIPTED_DIALOGS_H_
#define VELMAR_GUI_BASE_SCRIPTED_DIALOGS_H_

#include <QPointer>
#include <QWidget>
#include <deque>
#include <optional>
#include <vector>

#include "gui/base/dialogs.h"

namespace velmar::gui {

// Answers the windows' questions and file dialogs from a script and records
// every call, so tests can drive each Yes/No/Cancel path. A call that finds
// no scripted answer is counted as unscripted and answered with Cancel.
class ScriptedDialogs : public Dialogs {
 public:
  enum class Kind { kMessage, kQuestion, kOpen, kSave };
  struct Call {
    Kind kind;
    QPointer<QWidget> owner;
    QString caption;  // message boxes and questions
    QString text;
    FileDialogSetup setup;  // file dialogs
  };

  void QueueAnswer(Answer answer) { answers_.push_back(answer); }
  // A file dialog confirmed with `path` (filter index 0: keep the setup's).
  void QueueFile(const QString& path, int filter_index = 0) {
    files_.push_back(FileChoice{path, filter_index});
  }
  void QueueFileCancel() { files_.push_back(std::nullopt); }

  const std::vector<Call>& Calls() const { return calls_; }
  std::vector<Call> CallsOf(Kind kind) const;
  // Messages shown so far (kMessage calls), "caption: text" each.
  QStringList Messages() const;
  int Unscripted() const { return unscripted_; }
  bool AllAnswersUsed() const { return answers_.empty() && files_.empty(); }
  void Clear();

  void ShowMessage(QWidget* owner, const QString& caption, const QString& text) override;
  Answer AskYesNoCancel(QWidget* owner, const QString& caption, const QString& text) override;
  std::optional<FileChoice> OpenFile(QWidget* owner, const FileDialogSetup& setup) override;
  std::optional<FileChoice> SaveFile(QWidget* owner, const FileDialogSetup& setup) override;

 private:
  std::optional<FileChoice> NextFile(const FileDialogSetup& setup);

  std::deque<Answer> answers_;
  std::deque<std::optional<FileChoice>> files_;
  std::vector<Call> calls_;
  int unscripted_ = 0;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_BASE_SCRIPTED_DIALOGS_H_
