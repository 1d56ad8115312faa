#include "cli/terminal_host.h"

#include <csignal>
#include <ostream>

namespace velmar::cli {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) {
  g_interrupted = 1;
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace

void TerminalHost::ShowMessage(const Message& message) {
  err_ << message.caption << ": " << message.text << "\n";
}

Answer TerminalHost::AskYesNoCancel(const Message& question) {
  err_ << question.caption << ": " << question.text << " -> "
       << (batch_answer_ == Answer::kYes  ? "Да"
           : batch_answer_ == Answer::kNo ? "Нет"
                                          : "Отмена")
       << "\n";
  return batch_answer_;
}

void TerminalHost::ProcessPendingInput() {
  if (TakeInterruptRequest() && interrupt_handler_ != nullptr) interrupt_handler_(interrupt_data_);
}

void InstallInterruptHandler() {
  g_interrupted = 0;
  std::signal(SIGINT, OnInterrupt);
}

bool TakeInterruptRequest() {
  if (g_interrupted == 0) return false;
  g_interrupted = 0;
  return true;
}

}  // namespace velmar::cli
