#ifndef VELMAR_GUI_BASE_QT_HOST_H_
#define VELMAR_GUI_BASE_QT_HOST_H_

#include <functional>

#include "core/base/host.h"

class QWidget;

namespace velmar::gui {

class Dialogs;

// The core's Host over the windows: message boxes through Dialogs, owned by
// the window `owner_of` names for the message's owner kind.
class QtHost : public Host {
 public:
  using OwnerResolver = std::function<QWidget*(OwnerKind)>;
  QtHost(Dialogs& dialogs, OwnerResolver owner_of);
  ~QtHost() override;

  void ShowMessage(const Message& message) override;
  Answer AskYesNoCancel(const Message& question) override;
  // The busy cursor nests: every kBusy is undone by one kArrow.
  void SetCursor(CursorShape shape) override;
  void ProcessPendingInput() override;
  char DecimalSeparator() const override;

  Dialogs& UserDialogs() { return dialogs_; }

 private:
  Dialogs& dialogs_;
  OwnerResolver owner_of_;
  int busy_depth_ = 0;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_BASE_QT_HOST_H_
