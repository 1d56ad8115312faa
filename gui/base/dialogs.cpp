#include "gui/base/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace velmar::gui {
namespace {

std::optional<FileChoice> RunFileDialog(QWidget* owner, const FileDialogSetup& setup, bool save) {
  QFileDialog dialog(owner);
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setOption(QFileDialog::ReadOnly, !save);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const QStringList filters = QtNameFilters(setup.filter);
  dialog.setNameFilters(filters);
  if (setup.filter_index >= 1 && setup.filter_index <= filters.size()) {
    dialog.selectNameFilter(filters[setup.filter_index - 1]);
  }
  dialog.setDefaultSuffix(setup.default_extension);
  if (!setup.initial_name.isEmpty()) dialog.selectFile(setup.initial_name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  FileChoice choice;
  choice.path = dialog.selectedFiles().first();
  const qsizetype index = filters.indexOf(dialog.selectedNameFilter());
  choice.filter_index = index >= 0 ? static_cast<int>(index) + 1 : setup.filter_index;
  return choice;
}

}  // namespace

QList<FilterEntry> ParseFilterList(const QString& filter) {
  QList<FilterEntry> entries;
  const QStringList parts = filter.split(u'|');
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    entries.append({parts[i], parts[i + 1].split(u';', Qt::SkipEmptyParts)});
  }
  return entries;
}

QStringList QtNameFilters(const QString& filter) {
  QStringList result;
  for (const FilterEntry& entry : ParseFilterList(filter)) {
    result.append(entry.text + QStringLiteral(" (") + entry.patterns.join(u' ') + u')');
  }
  return result;
}

void QtDialogs::ShowMessage(QWidget* owner, const QString& caption, const QString& text) {
  QMessageBox::information(owner, caption, text, QMessageBox::Ok);
}

Answer QtDialogs::AskYesNoCancel(QWidget* owner, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Question, caption, text,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, owner);
  box.button(QMessageBox::Yes)->setText(QStringLiteral("&Да"));
  box.button(QMessageBox::No)->setText(QStringLiteral("&Нет"));
  box.button(QMessageBox::Cancel)->setText(QStringLiteral("Отмена"));
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    default:
      return Answer::kCancel;
  }
}

std::optional<FileChoice> QtDialogs::OpenFile(QWidget* owner, const FileDialogSetup& setup) {
  return RunFileDialog(owner, setup, false);
}

std::optional<FileChoice> QtDialogs::SaveFile(QWidget* owner, const FileDialogSetup& setup) {
  return RunFileDialog(owner, setup, true);
}

}  // namespace velmar::gui
