#ifndef VELMAR_TESTS_GUI_SUPPORT_READ_FILE_H_
#define VELMAR_TESTS_GUI_SUPPORT_READ_FILE_H_

#include <QString>
#include <fstream>
#include <sstream>
#include <string>

namespace velmar::gui::testing {

// The bytes of the file a window saved; empty when it cannot be read.
inline std::string ReadFile(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace velmar::gui::testing

#endif  // VELMAR_TESTS_GUI_SUPPORT_READ_FILE_H_
