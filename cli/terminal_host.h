#ifndef VELMAR_CLI_TERMINAL_HOST_H_
#define VELMAR_CLI_TERMINAL_HOST_H_

#include <atomic>
#include <iosfwd>

#include "core/base/host.h"

namespace velmar::cli {

// Messages go to stderr as "caption: text"; questions are answered with the
// batch default, since nobody is there to answer them.
class TerminalHost : public Host {
 public:
  explicit TerminalHost(std::ostream& err, Answer batch_answer = Answer::kNo)
      : err_(err), batch_answer_(batch_answer) {}

  void ShowMessage(const Message& message) override;
  Answer AskYesNoCancel(const Message& question) override;
  void SetCursor(CursorShape) override {}
  void ProcessPendingInput() override;
  char DecimalSeparator() const override { return '.'; }

  // Called from ProcessPendingInput when Ctrl+C was pressed since the last
  // call; the training commands use it to set the network's stop flag.
  void SetInterruptHandler(void (*handler)(void*), void* data) {
    interrupt_handler_ = handler;
    interrupt_data_ = data;
  }

 private:
  std::ostream& err_;
  Answer batch_answer_;
  void (*interrupt_handler_)(void*) = nullptr;
  void* interrupt_data_ = nullptr;
};

// Installs a SIGINT handler that only records the request; a second Ctrl+C
// falls back to the default and ends the process.
void InstallInterruptHandler();
// True once after each Ctrl+C.
bool TakeInterruptRequest();

}  // namespace velmar::cli

#endif  // VELMAR_CLI_TERMINAL_HOST_H_
