#include "gui/base/scripted_dialogs.h"

namespace velmar::gui {

std::vector<ScriptedDialogs::Call> ScriptedDialogs::CallsOf(Kind kind) const {
  std::vector<Call> result;
  for (const Call& call : calls_) {
    if (call.kind == kind) result.push_back(call);
  }
  return result;
}

QStringList ScriptedDialogs::Messages() const {
  QStringList result;
  for (const Call& call : calls_) {
    if (call.kind == Kind::kMessage) result.append(call.caption + QStringLiteral(": ") + call.text);
  }
  return result;
}

void ScriptedDialogs::Clear() {
  answers_.clear();
  files_.clear();
  calls_.clear();
  unscripted_ = 0;
}

void ScriptedDialogs::ShowMessage(QWidget* owner, const QString& caption, const QString& text) {
  calls_.push_back({Kind::kMessage, owner, caption, text, {}});
}

Answer ScriptedDialogs::AskYesNoCancel(QWidget* owner, const QString& caption,
                                       const QString& text) {
  calls_.push_back({Kind::kQuestion, owner, caption, text, {}});
  if (answers_.empty()) {
    ++unscripted_;
    return Answer::kCancel;
  }
  const Answer answer = answers_.front();
  answers_.pop_front();
  return answer;
}

std::optional<FileChoice> ScriptedDialogs::OpenFile(QWidget* owner, const FileDialogSetup& setup) {
  calls_.push_back({Kind::kOpen, owner, {}, {}, setup});
  return NextFile(setup);
}

std::optional<FileChoice> ScriptedDialogs::SaveFile(QWidget* owner, const FileDialogSetup& setup) {
  calls_.push_back({Kind::kSave, owner, {}, {}, setup});
  return NextFile(setup);
}

std::optional<FileChoice> ScriptedDialogs::NextFile(const FileDialogSetup& setup) {
  if (files_.empty()) {
    ++unscripted_;
    return std::nullopt;
  }
  const bool confirmed = files_.front().has_value();
  FileChoice choice = confirmed ? *files_.front() : FileChoice{};
  files_.pop_front();
  if (!confirmed) return std::nullopt;
  if (choice.filter_index == 0) choice.filter_index = setup.filter_index;
  return choice;
}

}  // namespace velmar::gui
