#ifndef VELMAR_GUI_SCREENSHOTS_NETWORK_WINDOWS_SHOTS_H_
#define VELMAR_GUI_SCREENSHOTS_NETWORK_WINDOWS_SHOTS_H_

#include <QString>
#include <functional>

class QWidget;

namespace velmar::gui {

class Dialogs;
class ScriptedDialogs;
class TMainWindow;
class TProject;

using ShootFn = std::function<void(QWidget* widget, const QString& name)>;

// Runs the network commands on the project's current network (a data file
// open) and shoots their windows with real content: the progress window of a
// training and of a simplification (running and finished), the test,
// significance and verbal text windows, the two dialogs and the analysis
// report. Returns false when a window did not come up.
bool ShootNetworkWindows(TMainWindow& window, TProject& project, ScriptedDialogs& dialogs,
                         const ShootFn& shoot);

}  // namespace velmar::gui

#endif  // VELMAR_GUI_SCREENSHOTS_NETWORK_WINDOWS_SHOTS_H_
