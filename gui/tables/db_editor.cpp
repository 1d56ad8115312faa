#include "gui/tables/db_editor.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "core/tables/table_convert.h"
#include "gui/app/main_frame.h"
#include "gui/base/qt_host.h"
#include "gui/base/text.h"
#include "gui/tables/table_model.h"

namespace velmar::gui {

TDBEditor::TDBEditor(MainFrame& frame, Workspace& workspace, QWidget* parent)
    : QWidget(parent), frame_(frame), workspace_(workspace) {
  setAttribute(Qt::WA_DeleteOnClose);
  model_ = new TableModel(this);
  model_->SetDecimalSeparator(frame_.AppHost().DecimalSeparator());
  model_->on_refused = [this](const Status& status) {
    ShowError(QStringLiteral("Неверное значение"), status);
  };
  model_->on_posted = [this](int row) { AfterPost(row); };

  DBGrid = new QTableView(this);
  DBGrid->setModel(model_);
  DBGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
  DBGrid->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGrid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
  DBGrid->setTabKeyNavigation(true);
  DBGrid->setShowGrid(true);
  DBGrid->horizontalHeader()->setSectionsMovable(false);
  DBGrid->horizontalHeader()->setHighlightSections(true);
  // Every row has the same height, so a large table needs no measuring.
  DBGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  DBGrid->verticalHeader()->setDefaultSectionSize(DBGrid->fontMetrics().height() + 6);
  DBGrid->verticalHeader()->setHighlightSections(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(DBGrid);

  TableMenu = new QMenu(QStringLiteral("Таблица"), this);
  SetHint(TableMenu->menuAction(), QStringLiteral("Операции с таблицей данных"));
  auto item = [this](const QString& caption, const QString& hint, const QKeySequence& key,
                     bool enabled) {
    QAction* action = TableMenu->addAction(caption);
    SetHint(action, hint);
    if (!key.isEmpty()) action->setShortcut(key);
    action->setEnabled(enabled);
    return action;
  };
  InsRecord =
      item(QStringLiteral("Вставить запись"), QStringLiteral("Вставить новую запись в таблицу"),
           QKeySequence(Qt::Key_Insert), true);
  AppRecord = item(QStringLiteral("Добавить запись"),
                   QStringLiteral("Добавить новую запись в конец таблицы"),
                   QKeySequence(Qt::SHIFT | Qt::Key_Insert), true);
  DelRecord =
      item(QStringLiteral("Удалить запись"), QStringLiteral("Удалить текущую запись в таблице"),
           QKeySequence(Qt::CTRL | Qt::Key_Delete), true);
  TableMenu->addSeparator();
  SortTable = item(QStringLiteral("Сортировка..."),
                   QStringLiteral("Сортировка значений в столбцах таблицы"), {}, false);
  TableMenu->addSeparator();
  Structure = item(QStringLiteral("Структура..."), QStringLiteral("Информация о структуре таблицы"),
                   {}, false);
  Restructure = item(QStringLiteral("Изменить структуру..."),
                     QStringLiteral("Изменение структуры таблицы"), {}, false);
  connect(InsRecord, &QAction::triggered, this, &TDBEditor::InsRecordClick);
  connect(AppRecord, &QAction::triggered, this, &TDBEditor::AppRecordClick);
  connect(DelRecord, &QAction::triggered, this, &TDBEditor::DelRecordClick);
  connect(SortTable, &QAction::triggered, this, &TDBEditor::SortTableClick);
  resize(560, 360);

  model_->SetTable(workspace_.table());
  connect(DBGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex& previous) {
            CurrentRowChanged(current.row(), previous.row());
          });
  SizeColumns();
  if (model_->rowCount() > 0) MakeCurrent(0);
}

TDBEditor::~TDBEditor() {
  // The view lets go of the table before it goes.
  if (model_ != nullptr) model_->SetTable(nullptr);
}

void TDBEditor::SizeColumns() {
  const Table* table = GetTable();
  if (table == nullptr) return;
  const QFontMetrics metrics = DBGrid->fontMetrics();
  const int digit = metrics.horizontalAdvance(u'0');
  for (int c = 0; c < table->ColumnCount(); ++c) {
    const ColumnDef& column = table->Column(c);
    const int chars = IsNumeric(column.kind) ? 12 : std::clamp(column.length, 6, 30);
    const int header = metrics.horizontalAdvance(ToQString(column.name)) + 16;
    DBGrid->setColumnWidth(c, std::max(header, chars * digit + 10));
  }
}

int TDBEditor::CurrentRow() const {
  const QModelIndex current = DBGrid->currentIndex();
  return current.isValid() ? current.row() : -1;
}

void TDBEditor::MakeCurrent(int row) {
  int column = DBGrid->currentIndex().isValid() ? DBGrid->currentIndex().column() : 0;
  DBGrid->setCurrentIndex(model_->index(row, std::max(column, 0)));
}

void TDBEditor::CurrentRowChanged(int current, int previous) {
  // Leaving a new record that was never posted cancels it.
  if (pending_row_ < 0 || previous != pending_row_ || current == pending_row_) return;
  const int row = pending_row_;
  pending_row_ = -1;
  if (!model_->DeleteRecord(row).ok()) return;
}

void TDBEditor::AfterPost(int row) {
  if (row == pending_row_) pending_row_ = -1;
  modified_ = true;
  frame_.EnableSave(true);
  GetTable()->MoveTo(row);
  workspace_.RecordPosted(row);
}

void TDBEditor::InsRecordClick() {
  if (GetTable() == nullptr) return;
  const int row = std::max(CurrentRow(), 0);
  if (pending_row_ >= 0) return;
  const Status status = model_->InsertRecord(row);
  if (!status.ok()) {
    ShowError(QStringLiteral("Ошибка"), status);
    return;
  }
  pending_row_ = row;
  MakeCurrent(row);
  DBGrid->setFocus();
}

void TDBEditor::AppRecordClick() {
  if (GetTable() == nullptr || pending_row_ >= 0) return;
  const Status status = model_->AppendRecord();
  if (!status.ok()) {
    ShowError(QStringLiteral("Ошибка"), status);
    return;
  }
  pending_row_ = model_->rowCount() - 1;
  MakeCurrent(pending_row_);
  DBGrid->setFocus();
}

void TDBEditor::DelRecordClick() {
  const int row = CurrentRow();
  if (GetTable() == nullptr || row < 0) return;
  const bool unposted = row == pending_row_;
  if (unposted) pending_row_ = -1;
  const Status status = model_->DeleteRecord(row);
  if (!status.ok()) {
    ShowError(QStringLiteral("Ошибка"), status);
    return;
  }
  if (model_->rowCount() > 0) MakeCurrent(std::min(row, model_->rowCount() - 1));
  if (unposted) return;
  // A deletion is a change of the table like any edit: it can be saved, the
  // close asks about it, and the taskbooks must follow it.
  modified_ = true;
  frame_.EnableSave(true);
  workspace_.RecordDeleted(row);
}

void TDBEditor::ShowError(const QString& caption, const Status& status) {
  frame_.UserDialogs().ShowMessage(this, caption, ToQString(status.message()));
}

void TDBEditor::Save() { (void)SaveTable(); }

bool TDBEditor::SaveTable() {
  if (GetTable() == nullptr) return false;
  const Status status = workspace_.SaveDataFile();
  if (!status.ok()) {
    frame_.UserDialogs().ShowMessage(this, QStringLiteral("Ошибка сохранения файла"),
                                     QStringLiteral("Не удается сохранить файл ") +
                                         PathToQString(GetTable()->Path()) +
                                         QStringLiteral("\n\n") + ToQString(status.message()));
    return false;
  }
  modified_ = false;
  frame_.RefreshCommands();
  return true;
}

SaveAsSetup TDBEditor::SaveAsDialogSetup() const {
  // The initial name is the caption without the extension; the file name's
  // first period counts, not one in a folder's name.
  const QString caption = windowTitle();
  const qsizetype slash = caption.lastIndexOf(u'/');
  const qsizetype period = caption.indexOf(u'.', slash + 1);
  SaveAsSetup setup;
  setup.filter = kTableFilter;
  setup.initial_name = period < 0 ? caption : caption.left(period);
  const Table* table = GetTable();
  setup.filter_index = table != nullptr ? FormatIndex(table->Path(), table->Format().level) : 1;
  return setup;
}

void TDBEditor::SaveAs(int filter_index) {
  if (GetTable() == nullptr) return;
  std::filesystem::path saved_as;
  const int row = std::max(CurrentRow(), 0);
  model_->SetTable(nullptr);
  const Status status = workspace_.SaveDataFileAs(ToPath(windowTitle()), filter_index, saved_as);
  model_->SetTable(GetTable());
  SizeColumns();
  if (model_->rowCount() > 0) MakeCurrent(std::min(row, model_->rowCount() - 1));
  if (!status.ok()) {
    const QString attempted = saved_as.empty() ? windowTitle() : PathToQString(saved_as);
    setWindowTitle(PathToQString(GetTable()->Path()));
    frame_.UserDialogs().ShowMessage(this, QStringLiteral("Ошибка сохранения файла"),
                                     QStringLiteral("Не удается сохранить файл ") + attempted +
                                         QStringLiteral("\n\n") + ToQString(status.message()));
    return;
  }
  pending_row_ = -1;
  setWindowTitle(PathToQString(saved_as));
  modified_ = false;
  emit SavedAs(windowTitle());
  frame_.RefreshCommands();
}

bool TDBEditor::CanClose() {
  if (!modified_) return true;
  const Answer answer = frame_.UserDialogs().AskYesNoCancel(
      this, windowTitle(), QStringLiteral("Файл был изменен. Сохранить?"));
  if (answer == Answer::kCancel) return false;
  // A failed save keeps the window and its edits.
  if (answer == Answer::kYes && !SaveTable()) return false;
  modified_ = false;
  return true;
}

bool TDBEditor::CloseWindow() {
  QWidget* window = parentWidget() != nullptr ? parentWidget() : this;
  return window->close();
}

void TDBEditor::closeEvent(QCloseEvent* event) {
  if (!CanClose()) {
    event->ignore();
    return;
  }
  // The view lets go of the table before the project closes it.
  model_->SetTable(nullptr);
  emit Closing();
  event->accept();
}

}  // namespace velmar::gui
