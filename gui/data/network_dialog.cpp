#include "gui/data/network_dialog.h"

namespace velmar::gui {

TNetworkDialog::TNetworkDialog(MainFrame& frame, DataDescription& desc, Mode mode, QWidget* parent)
    : QDialog(parent), frame_(frame), desc_(desc), mode_(mode) {}

TNetworkDialog::~TNetworkDialog() = default;

}  // namespace velmar::gui
