#ifndef VELMAR_GUI_APP_ABOUT_BOX_H_
#define VELMAR_GUI_APP_ABOUT_BOX_H_

#include <QDialog>

class QPushButton;

namespace velmar::gui {

// "О программе": the product name, its version and the authors.
class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  QPushButton* CloseButton = nullptr;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_APP_ABOUT_BOX_H_
