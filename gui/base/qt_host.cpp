#include "gui/base/qt_host.h"

#include <QApplication>
#include <QCursor>
#include <QLocale>

#include "gui/base/dialogs.h"
#include "gui/base/text.h"

namespace velmar::gui {

QtHost::QtHost(Dialogs& dialogs, OwnerResolver owner_of)
    : dialogs_(dialogs), owner_of_(std::move(owner_of)) {}

QtHost::~QtHost() {
  while (busy_depth_ > 0) SetCursor(CursorShape::kArrow);
}

void QtHost::ShowMessage(const Message& message) {
  dialogs_.ShowMessage(owner_of_ ? owner_of_(message.owner) : nullptr, ToQString(message.caption),
                       ToQString(message.text));
}

Answer QtHost::AskYesNoCancel(const Message& question) {
  return dialogs_.AskYesNoCancel(owner_of_ ? owner_of_(question.owner) : nullptr,
                                 ToQString(question.caption), ToQString(question.text));
}

void QtHost::SetCursor(CursorShape shape) {
  if (shape == CursorShape::kBusy) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++busy_depth_;
  } else if (busy_depth_ > 0) {
    QApplication::restoreOverrideCursor();
    --busy_depth_;
  }
}

void QtHost::ProcessPendingInput() { QCoreApplication::processEvents(); }

char QtHost::DecimalSeparator() const {
  const QString point = QLocale().decimalPoint();
  // FormatReal takes one byte; a separator outside ASCII falls back to '.'.
  if (point.size() == 1 && point[0].unicode() < 0x80) return static_cast<char>(point[0].unicode());
  return '.';
}

}  // namespace velmar::gui
