#ifndef VELMAR_GUI_PROJECT_PROJECT_WINDOW_NET_COMMANDS_H_
#define VELMAR_GUI_PROJECT_PROJECT_WINDOW_NET_COMMANDS_H_

namespace velmar::gui {

class NetworkCommands;
class TProject;

// The network commands of a project window, with the progress window and the
// two dialogs they use; made on first use and kept with the window.
NetworkCommands& NetCommandsOf(TProject& project);

}  // namespace velmar::gui

#endif  // VELMAR_GUI_PROJECT_PROJECT_WINDOW_NET_COMMANDS_H_
