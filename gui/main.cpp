#include <QApplication>

#include "gui/app/main_window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmar 0.25"));
  velmar::gui::TMainWindow window;
  window.showMaximized();
  return app.exec();
}
