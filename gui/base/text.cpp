#include "gui/base/text.h"

#include <QAction>
#include <QWidget>

namespace velmar::gui {
namespace {

void SplitHint(const QString& hint, QString& tooltip, QString& status) {
  const qsizetype bar = hint.indexOf(u'|');
  if (bar < 0) {
    tooltip = hint;
    status = hint;
  } else {
    tooltip = hint.left(bar);
    status = hint.mid(bar + 1);
  }
}

}  // namespace

QString ToQString(const std::string& utf8) { return QString::fromUtf8(utf8.data(), utf8.size()); }

std::string ToStdString(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  return std::string(bytes.constData(), bytes.size());
}

QString PathToQString(const std::filesystem::path& path) { return ToQString(path.string()); }

std::filesystem::path ToPath(const QString& text) {
  return std::filesystem::path(ToStdString(text));
}

void SetHint(QWidget* widget, const QString& hint) {
  QString tooltip, status;
  SplitHint(hint, tooltip, status);
  widget->setToolTip(tooltip);
  widget->setStatusTip(status);
}

void SetHint(QAction* action, const QString& hint) {
  QString tooltip, status;
  SplitHint(hint, tooltip, status);
  action->setToolTip(tooltip);
  action->setStatusTip(status);
}

}  // namespace velmar::gui
