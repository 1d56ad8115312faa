#include "gui/engine/net_window.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWidget>

#include "gui/app/main_frame.h"
#include "gui/base/text.h"

namespace velmar::gui {

void CloseNetWindow(QWidget* widget) {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(widget->parentWidget())) {
    sub->close();
  } else {
    widget->close();
  }
}

void FinishTextSave(const Status& status, const QString& path, Host& host, MainFrame* frame) {
  if (status.ok()) {
    if (frame != nullptr) frame->EnableSave(false);
    return;
  }
  host.ShowMessage(
      Message{"Не удается записать файл " + ToStdString(path) + "\n\n" + status.message(),
              "Ошибка сохранения файла", OwnerKind::kOther});
}

bool IsActiveNetWindow(const QWidget* widget) {
  auto* sub = qobject_cast<QMdiSubWindow*>(widget->parentWidget());
  if (sub == nullptr) return true;
  return sub->mdiArea() != nullptr && sub->mdiArea()->currentSubWindow() == sub;
}

}  // namespace velmar::gui
