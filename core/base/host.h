#ifndef VELMAR_CORE_BASE_HOST_H_
#define VELMAR_CORE_BASE_HOST_H_

#include <string>

namespace velmar {

enum class Answer { kYes, kNo, kCancel };
enum class CursorShape { kArrow, kBusy };

// Which window owns a message box; the GUI uses it to pick the parent.
enum class OwnerKind { kMain, kProject, kNetworkDialog, kTrainingProcess, kTest, kEditor, kOther };

struct Message {
  std::string text;
  std::string caption;
  OwnerKind owner = OwnerKind::kProject;
};

// Everything a core operation needs from the user's side. The GUI implements
// it with Qt, the command line with the terminal, and tests with a recorder.
class Host {
 public:
  virtual ~Host() = default;

  // A modal message box with an OK button.
  virtual void ShowMessage(const Message& message) = 0;
  // A modal question with Yes, No and Cancel.
  virtual Answer AskYesNoCancel(const Message& question) = 0;
  virtual void SetCursor(CursorShape shape) = 0;
  // Lets pending user input through once; called at the end of every pass.
  virtual void ProcessPendingInput() = 0;
  // The decimal separator of the user's locale, for FormatReal.
  virtual char DecimalSeparator() const = 0;
};

// Shows the busy cursor for its lifetime.
class BusyCursor {
 public:
  explicit BusyCursor(Host& host) : host_(host) { host_.SetCursor(CursorShape::kBusy); }
  ~BusyCursor() { host_.SetCursor(CursorShape::kArrow); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  Host& host_;
};

// A host that answers every question with `answer`, shows nothing and uses
// '.' as the separator; for batch work where nobody is watching.
class SilentHost : public Host {
 public:
  explicit SilentHost(Answer answer = Answer::kNo) : answer_(answer) {}
  void ShowMessage(const Message&) override {}
  Answer AskYesNoCancel(const Message&) override { return answer_; }
  void SetCursor(CursorShape) override {}
  void ProcessPendingInput() override {}
  char DecimalSeparator() const override { return '.'; }

 private:
  Answer answer_;
};

}  // namespace velmar

#endif  // VELMAR_CORE_BASE_HOST_H_
