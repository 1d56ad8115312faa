#ifndef VELMAR_GUI_ENGINE_NET_WINDOW_H_
#define VELMAR_GUI_ENGINE_NET_WINDOW_H_

#include <QString>

#include "core/base/host.h"
#include "core/base/status.h"

class QWidget;

namespace velmar::gui {

class MainFrame;

// What the windows of a network (test, significance, verbal text) share.

// Closes the MDI child window `widget` sits in, or the widget itself.
void CloseNetWindow(QWidget* widget);

// After a save to `path`: on success the main window's Save goes off; a
// failure is shown in a message box and changes nothing.
void FinishTextSave(const Status& status, const QString& path, Host& host, MainFrame* frame);

// Whether `widget` is in the active child window of its multiple-document
// area (or stands alone).
bool IsActiveNetWindow(const QWidget* widget);

}  // namespace velmar::gui

#endif  // VELMAR_GUI_ENGINE_NET_WINDOW_H_
