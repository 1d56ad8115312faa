#ifndef VELMAR_GUI_DATA_NETWORK_DIALOG_H_
#define VELMAR_GUI_DATA_NETWORK_DIALOG_H_

#include <QDialog>

#include "core/data/data_description.h"

namespace velmar::gui {

class MainFrame;

// The network parameters dialog: creates a network or edits the parameters
// of an existing one, on a DataDescription it works on in place.
class TNetworkDialog : public QDialog {
  Q_OBJECT

 public:
  enum class Mode { kCreate, kEdit };

  TNetworkDialog(MainFrame& frame, DataDescription& desc, Mode mode, QWidget* parent = nullptr);
  ~TNetworkDialog() override;

 private:
  MainFrame& frame_;
  DataDescription& desc_;
  Mode mode_;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_DATA_NETWORK_DIALOG_H_
