#include "gui/project/project_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/app/main_frame.h"
#include "gui/base/qt_host.h"
#include "gui/base/text.h"
#include "gui/data/network_dialog.h"
#include "gui/tables/db_editor.h"

namespace velmar::gui {
namespace {

QAction* AddItem(QMenu* menu, const QString& caption, const QString& hint) {
  QAction* action = menu->addAction(caption);
  SetHint(action, hint);
  return action;
}

}  // namespace

TProject::TProject(MainFrame& frame, QWidget* parent)
    : QWidget(parent), frame_(frame), workspace_(frame.AppHost()) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(kUntitled);
  BuildControls();
  BuildMenus();
  UpdateMenus();
}

TProject::~TProject() {
  // The networks go before the window, closing their own windows.
  while (Model().NetCount() > 0) (void)Model().DeleteNetwork(Model().NetCount() - 1);
}

void TProject::BuildControls() {
  NetList = new QListWidget(this);
  SetHint(NetList, QStringLiteral("Нейронные сети в проекте"));
  Description = new QLabel(this);
  SetHint(Description, QStringLiteral("Характеристики текущей нейронной сети"));
  Description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Description->setMinimumWidth(260);
  Description->setFrameShape(QFrame::StyledPanel);
  Description->setTextFormat(Qt::PlainText);
  DBName = new QLabel(this);
  DBName->setTextFormat(Qt::PlainText);

  auto button = [this](const QString& caption, const QString& hint, bool enabled) {
    auto* b = new QPushButton(caption, this);
    SetHint(b, hint);
    b->setEnabled(enabled);
    return b;
  };
  SelectDBButton =
      button(QStringLiteral("Открыть файл данных"), QStringLiteral("Открыть базу данных"), true);
  AddNetButton =
      button(QStringLiteral("Новая сеть"), QStringLiteral("Создать новую нейронную сеть"), false);
  CloneNetButton = button(QStringLiteral("Копия сети"),
                          QStringLiteral("Создать новую нейронную сеть по образцу текущей"), false);
  DeleteNetButton = button(QStringLiteral("Удалить сеть"),
                           QStringLiteral("Удалить нейронную сеть из проекта"), false);
  ParametersButton = button(QStringLiteral("Параметры"),
                            QStringLiteral("Настройка параметров нейронной сети"), false);

  auto* lists = new QGridLayout;
  lists->addWidget(new QLabel(QStringLiteral("Нейронные сети:"), this), 0, 0);
  lists->addWidget(new QLabel(QStringLiteral("Описание сети:"), this), 0, 1);
  lists->addWidget(NetList, 1, 0);
  lists->addWidget(Description, 1, 1);
  lists->setColumnStretch(0, 1);
  lists->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  for (QPushButton* b :
       {SelectDBButton, AddNetButton, CloneNetButton, DeleteNetButton, ParametersButton}) {
    buttons->addWidget(b);
  }
  buttons->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(lists, 1);
  layout->addWidget(DBName);
  layout->addLayout(buttons);

  connect(SelectDBButton, &QPushButton::clicked, this, &TProject::SelectDBButtonClick);
  connect(AddNetButton, &QPushButton::clicked, this, &TProject::AddNetButtonClick);
  connect(CloneNetButton, &QPushButton::clicked, this, &TProject::CloneNet);
  connect(DeleteNetButton, &QPushButton::clicked, this, &TProject::DeleteNetButtonClick);
  connect(ParametersButton, &QPushButton::clicked, this, &TProject::ParametersButtonClick);
  connect(NetList, &QListWidget::currentRowChanged, this, &TProject::NetworkSelection);
}

void TProject::BuildMenus() {
  NetMenu = new QMenu(QStringLiteral("Нейросеть"), this);
  SetHint(NetMenu->menuAction(), QStringLiteral("Операции с нейронной сетью"));
  NetTrainItem = AddItem(NetMenu, QStringLiteral("Обучение..."),
                         QStringLiteral("Обучить текущую нейронную сеть"));
  NetTrainItem->setShortcut(QKeySequence(Qt::Key_F9));
  NetTestItem = AddItem(NetMenu, QStringLiteral("Тестирование"),
                        QStringLiteral("Тестировать текущую нейронную сеть "));
  NetCheckTB = AddItem(
      NetMenu, QStringLiteral("Анализ обучающего множества..."),
      QStringLiteral(
          "Оценка выборочной константы Липшица и формирование набора конфликтных примеров"));
  NetMenu->addSeparator();
  NetPruneInputsItem = AddItem(NetMenu, QStringLiteral("Сокращение числа входных сигналов..."),
                               QStringLiteral("Удалить у сети наименее значимые входные сигналы"));
  NetPruneNeuronsItem = AddItem(NetMenu, QStringLiteral("Сокращение числа нейронов ..."),
                                QStringLiteral("Удалить у сети наименее значимые  нейроны"));
  NetPruneLogicalItem =
      AddItem(NetMenu, QStringLiteral("Равномерное упрощение сети..."),
              QStringLiteral("Оставить у каждого нейрона сети N наиболее значимых синапсов"));
  NetPruneSynapsesItem = AddItem(NetMenu, QStringLiteral("Сокращение числа синапсов ..."),
                                 QStringLiteral("Удалить у сети наименее значимые  синапсы"));
  NetPruneBiasesItem =
      AddItem(NetMenu, QStringLiteral("Сокращение числа неоднородных входов..."),
              QStringLiteral("Удалить наименее значимые  неоднородные входы нейронов сети"));
  NetBinaryItem =
      AddItem(NetMenu, QStringLiteral("Бинаризация весов синапсов и неоднородных входов..."),
              QStringLiteral("Привести веса синапсов и неоднородных входов нейронов "
                             "сети к выделенным значениям"));
  NetVerbalItem =
      AddItem(NetMenu, QStringLiteral("Вербализация"),
              QStringLiteral("Генерировать вербальное текстовое описание нейронной сети"));
  NetSensItem = AddItem(NetMenu, QStringLiteral("Значимость входных сигналов сети"),
                        QStringLiteral("Вычислить и отобразить значимость входных сигналов"));
  NetMenu->addSeparator();
  NetBumpItem =
      AddItem(NetMenu, QStringLiteral("Возмущение весов синапсов..."),
              QStringLiteral("Внесение случайных изменений в веса синапсов нейронной сети"));

  connect(NetTrainItem, &QAction::triggered, this, &TProject::TrainNet);
  connect(NetTestItem, &QAction::triggered, this, &TProject::TestNet);
  connect(NetCheckTB, &QAction::triggered, this, &TProject::CheckTB);
  connect(NetPruneInputsItem, &QAction::triggered, this, &TProject::PruneInputs);
  connect(NetPruneNeuronsItem, &QAction::triggered, this, &TProject::PruneNeurons);
  connect(NetPruneLogicalItem, &QAction::triggered, this, &TProject::PruneUniform);
  connect(NetPruneSynapsesItem, &QAction::triggered, this, &TProject::PruneSynapses);
  connect(NetPruneBiasesItem, &QAction::triggered, this, &TProject::PruneBiases);
  connect(NetBinaryItem, &QAction::triggered, this, &TProject::BinarizeSynapses);
  connect(NetVerbalItem, &QAction::triggered, this, &TProject::VerbalizeNet);
  connect(NetSensItem, &QAction::triggered, this, &TProject::InputSens);
  connect(NetBumpItem, &QAction::triggered, this, &TProject::Bump);

  OptionsMenu = new QMenu(QStringLiteral("Настройка"), this);
  SetHint(OptionsMenu->menuAction(), QStringLiteral("Настройка различных параметров"));

  auto radio_menu = [this](const QString& caption, const QString& hint,
                           const QList<QPair<QString, QString>>& items, QList<QAction*>& actions,
                           void (TProject::*handler)(int)) {
    QMenu* menu = OptionsMenu->addMenu(caption);
    SetHint(menu->menuAction(), hint);
    auto* group = new QActionGroup(menu);
    group->setExclusive(true);
    for (int tag = 0; tag < items.size(); ++tag) {
      QAction* action = AddItem(menu, items[tag].first, items[tag].second);
      action->setCheckable(true);
      action->setActionGroup(group);
      connect(action, &QAction::triggered, this, [this, handler, tag] { (this->*handler)(tag); });
      actions.append(action);
    }
    return menu;
  };
  TrainingMethodItem = radio_menu(
      QStringLiteral("Метод оптимизации"),
      QStringLiteral("Выбор метода оптимизации при обучении сети"),
      {{QStringLiteral("Градиентный спуск"),
        QStringLiteral("Использовать метод наискорейшего спуска при обучении сети")},
       {QStringLiteral("Модифицированный ParTan"),
        QStringLiteral("Использовать модифицированный ParTan метод при обучении сети")},
       {QStringLiteral("Сопряженные градиенты"),
        QStringLiteral("Использовать метод сопряженных градиентов при обучении сети")},
       {QStringLiteral("BFGS"), QStringLiteral("Использовать BFGS-метод при обучении сети")}},
      MethodItems, &TProject::SelectTrainingMethod);
  SensNormItem = radio_menu(
      QStringLiteral("Норма накопления значимости"),
      QStringLiteral("Выбор нормы для накопления показателей значимости синапсов и сигналов"),
      {{QStringLiteral("Сумма модулей"), QString()},
       {QStringLiteral("Максимум модуля"), QString()}},
      SensNormItems, &TProject::SelectSensNorm);
  BinWeightsItem = radio_menu(
      QStringLiteral("Веса бинаризованных синапсов"),
      QStringLiteral("Выбор набора весов бинаризованных синапсов"),
      {{QStringLiteral("±1"), QString()},
       {QStringLiteral("±0.5, ±1"), QString()},
       {QStringLiteral("±0.25, ±0.5, ±0.75, ±1"), QString()},
       {QStringLiteral("±0.1, ±0.2, ±0.3, ±0.4, ±0.5, ±0.6, ±0.7, ±0.8, ±0.9, ±1"), QString()}},
      BinWeightItems, &TProject::SelectBinWeights);
  RebuildTaskBookItem =
      AddItem(OptionsMenu, QStringLiteral("Расширять задачник при контрастировании входов"),
              QStringLiteral("Проводить пересоздание задачника после каждого контрастирования "
                             "входного сигнала"));
  RebuildTaskBookItem->setCheckable(true);
  connect(RebuildTaskBookItem, &QAction::triggered, this, &TProject::ExtendTaskbook);
}

QList<QMenu*> TProject::MergedMenus() const { return {NetMenu, OptionsMenu}; }

Table* TProject::DataTable() { return workspace_.table(); }

EngineContext TProject::Context() { return workspace_.Context(); }

void TProject::MarkModified() {
  Model().SetModified(true);
  frame_.EnableSave(true);
}

void TProject::UpdateMenus() {
  const bool any = Model().NetCount() > 0;
  const bool with_data = any && DataFileOpen();
  NetBumpItem->setEnabled(any);
  NetVerbalItem->setEnabled(any);
  for (QAction* item :
       {NetSensItem, NetTestItem, NetTrainItem, NetCheckTB, NetPruneInputsItem, NetPruneNeuronsItem,
        NetPruneSynapsesItem, NetPruneLogicalItem, NetPruneBiasesItem, NetBinaryItem}) {
    item->setEnabled(with_data);
  }
  frame_.SetTrainEnabled(with_data);
  const ProjectOptions& options = Model().Options();
  for (int tag = 0; tag < MethodItems.size(); ++tag) {
    MethodItems[tag]->setChecked(tag == options.TrainingMethod);
  }
  for (int tag = 0; tag < SensNormItems.size(); ++tag) {
    SensNormItems[tag]->setChecked(tag == options.SensitivityNorm);
  }
  for (int tag = 0; tag < BinWeightItems.size(); ++tag) {
    BinWeightItems[tag]->setChecked(tag == options.BinaryWeightSet);
  }
  RebuildTaskBookItem->setChecked(options.ExtendTaskbook == 1);
}

void TProject::SelectTrainingMethod(int tag) {
  Model().Options().TrainingMethod = tag;
  UpdateMenus();
}

void TProject::SelectSensNorm(int tag) {
  Model().Options().SensitivityNorm = tag;
  UpdateMenus();
}

void TProject::SelectBinWeights(int tag) {
  Model().Options().BinaryWeightSet = tag;
  UpdateMenus();
}

void TProject::ExtendTaskbook() {
  Model().SetExtendTaskbook(Model().Options().ExtendTaskbook == 1 ? 0 : 1);
  UpdateMenus();
}

void TProject::RefreshNetList() {
  const QSignalBlocker blocker(NetList);
  NetList->clear();
  for (int i = 0; i < Model().NetCount(); ++i) {
    NetList->addItem(ToQString(Model().Net(i).Desc.Name));
  }
  NetList->setCurrentRow(Model().CurrentIndex());
  ShowSelection();
}

void TProject::ShowSelection() {
  const bool any = Model().NetCount() > 0;
  CloneNetButton->setEnabled(any);
  DeleteNetButton->setEnabled(any);
  ParametersButton->setEnabled(any);
  NeuralNet* net = Model().CurrentNet();
  Description->setText(net != nullptr ? ToQString(NetworkSelectionText(net->Desc)) : QString());
}

void TProject::NetworkSelection() {
  Model().Select(NetList->currentRow());
  ShowSelection();
}

void TProject::SelectDBButtonClick() {
  std::optional<FileChoice> choice =
      frame_.RunOpenDialog(QStringLiteral("Файлы базы данных (*.db,*.dbf)|*.db;*.dbf"));
  if (!choice) return;
  if (data_editor_ != nullptr && !data_editor_->CloseWindow()) return;
  const QString path = QFileInfo(choice->path).absoluteFilePath();
  const Status status = workspace_.OpenDataFile(ToPath(path));
  if (!status.ok()) {
    frame_.UserDialogs().ShowMessage(this, QStringLiteral("Ошибка открытия файла"),
                                     QStringLiteral("Не удается открыть файл ") + path +
                                         QStringLiteral("\n\n") + ToQString(status.message()));
    return;
  }
  DiscardTaskBooks();
  auto* editor = new TDBEditor(frame_, workspace_);
  editor->setWindowTitle(path);
  data_editor_ = editor;
  connect(editor, &TDBEditor::Closing, this, &TProject::EditorClosed);
  connect(editor, &TDBEditor::SavedAs, this,
          [this](const QString& saved) { DBName->setText(saved); });
  DBName->setText(QStringLiteral("Файл данных: ") + path);
  AddNetButton->setEnabled(true);
  frame_.AddChild(editor);
}

void TProject::DiscardTaskBooks() {
  for (int i = 0; i < Model().NetCount(); ++i) Model().Net(i).Book.reset();
}

void TProject::EditorClosed() {
  DBName->clear();
  AddNetButton->setEnabled(false);
  data_editor_ = nullptr;
  workspace_.CloseDataFile();
  DiscardTaskBooks();
  UpdateMenus();
}

bool TProject::RunNetworkDialog(DataDescription& desc, bool edit_mode) {
  TNetworkDialog dialog(frame_, desc,
                        edit_mode ? TNetworkDialog::Mode::kEdit : TNetworkDialog::Mode::kCreate,
                        frame_.FrameWidget());
  const int result = network_dialog_runner ? network_dialog_runner(dialog) : dialog.exec();
  return result == QDialog::Accepted;
}

void TProject::AddNetwork(DataDescription desc) {
  if (!Model().CanAddNetwork()) {
    frame_.UserDialogs().ShowMessage(this, QStringLiteral("Операция невозможна"),
                                     QString::fromUtf8(kNetworkLimitText));
    return;
  }
  if (!RunNetworkDialog(desc, false)) return;
  const Status status = Model().AddNetwork(std::move(desc));
  if (!status.ok()) {
    frame_.UserDialogs().ShowMessage(this, QStringLiteral("Операция невозможна"),
                                     ToQString(status.message()));
    return;
  }
  RefreshNetList();
  UpdateMenus();
  MarkModified();
}

void TProject::AddNetButtonClick() {
  if (data_editor_ == nullptr) return;
  AddNetwork(Model().NewNetworkDescription(workspace_.Statistics()));
}

void TProject::CloneNet() {
  if (Model().CurrentNet() == nullptr) return;
  AddNetwork(Model().CloneNetworkDescription(Model().CurrentIndex()));
}

void TProject::DeleteNetButtonClick() {
  const int k = NetList->currentRow();
  if (k < 0 || !Model().DeleteNetwork(k).ok()) return;
  RefreshNetList();
  if (Model().NetCount() == 0) UpdateMenus();
  MarkModified();
}

void TProject::ParametersButtonClick() {
  const int index = Model().CurrentIndex();
  if (index < 0) return;
  if (!RunNetworkDialog(Model().Net(index).Desc, true)) return;
  NetList->item(index)->setText(ToQString(Model().Net(index).Desc.Name));
  Model().ParametersChanged(index);
  ShowSelection();
  MarkModified();
}

void TProject::Save() { (void)SaveProjectFile(); }

TProject::SaveResult TProject::SaveProjectFile() {
  if (windowTitle() == kUntitled) {
    // The dialog names the active child; a project closing with Yes may not be it.
    frame_.ActivateChild(this);
    if (!frame_.RunSaveDialog(kProjectFilter, kUntitled, QStringLiteral("vmp"), 1)) {
      return SaveResult::kCancelled;
    }
  }
  // The lock moves to the file written, also when Save As chose a new name.
  const Status status = SaveProject(Model(), ToPath(windowTitle()), &lock_);
  if (!status.ok()) {
    frame_.UserDialogs().ShowMessage(this, QStringLiteral("Ошибка сохранения проекта"),
                                     ToQString(status.message()));
    return SaveResult::kFailed;
  }
  frame_.RefreshCommands();
  return SaveResult::kSaved;
}

SaveAsSetup TProject::SaveAsDialogSetup() const {
  return {kProjectFilter, windowTitle(), QStringLiteral("vmp"), 1};
}

Status TProject::Load(const QString& path) {
  const Status locked = lock_.Acquire(ToPath(path));
  if (locked.IsCancelled()) return locked;
  const Status status = workspace_.LoadProject(ToPath(path));
  if (!status.ok()) return status;
  Model().Select(Model().NetCount() > 0 ? 0 : -1);
  RefreshNetList();
  UpdateMenus();
  return Status::Ok();
}

bool TProject::CanClose() {
  if (!Model().Modified()) return true;
  const Answer answer = frame_.UserDialogs().AskYesNoCancel(
      this, windowTitle(), QStringLiteral("Проект был изменен. Сохранить?"));
  if (answer == Answer::kCancel) return false;
  // A save that failed keeps the window, so the networks are not lost; a
  // cancelled save dialog lets it close.
  if (answer == Answer::kYes && SaveProjectFile() == SaveResult::kFailed) return false;
  Model().SetModified(false);
  return true;
}

bool TProject::CloseWithoutQuestion() {
  skip_close_question_ = true;
  QWidget* window = parentWidget() != nullptr ? parentWidget() : this;
  const bool closed = window->close();
  skip_close_question_ = false;
  return closed;
}

void TProject::closeEvent(QCloseEvent* event) {
  if (!skip_close_question_ && !CanClose()) {
    event->ignore();
    return;
  }
  if (data_editor_ != nullptr) {
    QWidget* editor_window = data_editor_->parentWidget() != nullptr ? data_editor_->parentWidget()
                                                                     : data_editor_.data();
    if (!editor_window->close()) {
      event->ignore();
      return;
    }
  }
  // The networks go now, and their windows with them.
  while (Model().NetCount() > 0) (void)Model().DeleteNetwork(Model().NetCount() - 1);
  // Released now: the window itself may be destroyed later, after a new
  // project window has opened the same file.
  lock_.Release();
  event->accept();
}

}  // namespace velmar::gui
