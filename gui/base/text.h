#ifndef VELMAR_GUI_BASE_TEXT_H_
#define VELMAR_GUI_BASE_TEXT_H_

#include <QString>
#include <filesystem>
#include <string>

class QAction;
class QWidget;

// The one place where the core's UTF-8 std::string meets QString.
namespace velmar::gui {

QString ToQString(const std::string& utf8);
std::string ToStdString(const QString& text);
QString PathToQString(const std::filesystem::path& path);
std::filesystem::path ToPath(const QString& text);

// A hint "A|B" gives the tooltip A and the status-line text B; a hint without
// the bar gives both the same text.
void SetHint(QWidget* widget, const QString& hint);
void SetHint(QAction* action, const QString& hint);

}  // namespace velmar::gui

#endif  // VELMAR_GUI_BASE_TEXT_H_
