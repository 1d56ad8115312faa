#ifndef VELMAR_GUI_ENGINE_LEAVE_CHECK_H_
#define VELMAR_GUI_ENGINE_LEAVE_CHECK_H_

#include <QFocusEvent>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

namespace velmar::gui {

// Checks a dialog's edit when the user leaves it by the keyboard (Tab). A
// click on the dialog's buttons is handled by the buttons themselves: OK
// checks the same way, Cancel throws the edit away, so neither is checked
// twice. `check` shows the refusal and restores the old value; it returns
// false then, and the edit takes the focus back.
class LeaveCheck : public QObject {
 public:
  LeaveCheck(QLineEdit* edit, std::function<bool()> check)
      : QObject(edit), edit_(edit), check_(std::move(check)) {
    edit->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == edit_ && event->type() == QEvent::FocusOut) {
      const auto reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
        // After the focus change has finished, so the message box does not
        // open in the middle of it.
        QTimer::singleShot(0, this, [this] {
          if (edit_ && edit_->isVisible() && !check_()) edit_->setFocus();
        });
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QPointer<QLineEdit> edit_;
  std::function<bool()> check_;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_ENGINE_LEAVE_CHECK_H_
