#ifndef VELMAR_TESTS_SUPPORT_RECORDING_HOST_H_
#define VELMAR_TESTS_SUPPORT_RECORDING_HOST_H_

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/base/host.h"

namespace velmar::testing_support {

// Records every message and question; answers questions from a queue
// (default No) and counts the passes that let user input through. A test can
// hook ProcessPendingInput to act "from the user's side" mid-run.
class RecordingHost : public Host {
 public:
  void ShowMessage(const Message& message) override { messages.push_back(message); }
  Answer AskYesNoCancel(const Message& question) override {
    questions.push_back(question);
    if (answers.empty()) return Answer::kNo;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  void SetCursor(CursorShape shape) override { cursors.push_back(shape); }
  void ProcessPendingInput() override {
    ++pending_input_calls;
    if (on_pending_input) on_pending_input();
  }
  char DecimalSeparator() const override { return separator; }

  std::vector<Message> messages;
  std::vector<Message> questions;
  std::deque<Answer> answers;
  std::vector<CursorShape> cursors;
  int pending_input_calls = 0;
  char separator = '.';
  std::function<void()> on_pending_input;
};

}  // namespace velmar::testing_support

#endif  // VELMAR_TESTS_SUPPORT_RECORDING_HOST_H_
