#include "gui/app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "gui/app/about_box.h"
#include "gui/app/help_window.h"
#include "gui/base/qt_host.h"
#include "gui/base/text.h"
#include "gui/project/project_window.h"

namespace velmar::gui {
namespace {

ChildWindow* AsChild(QWidget* widget) { return dynamic_cast<ChildWindow*>(widget); }

// The help context of the window `widget` sits in: the nearest MDI child or
// window that names one, else the main window's.
int HelpContextOf(QWidget* widget) {
  for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    if (ChildWindow* child = AsChild(w)) return child->HelpContext();
    const QVariant context = w->property(kHelpContextProperty);
    if (context.isValid()) return context.toInt();
  }
  return 100;
}

// F1 anywhere in the application, modal dialogs included, opens the topic
// of the window that has the focus.
class HelpKeyFilter : public QObject {
 public:
  explicit HelpKeyFilter(MainFrame& frame, QObject* parent) : QObject(parent), frame_(frame) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
        watched->isWidgetType()) {
      frame_.ShowHelpTopic(HelpContextOf(static_cast<QWidget*>(watched)));
      return true;
    }
    return false;
  }

 private:
  MainFrame& frame_;
};

// Small drawn glyphs for the speed buttons the style has no icon for.
QIcon DrawnIcon(const std::function<void(QPainter&)>& draw) {
  QPixmap pixmap(20, 20);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(40, 40, 40), 1.4));
  draw(painter);
  return QIcon(pixmap);
}

}  // namespace

TMainWindow::TMainWindow(Dialogs* dialogs, QWidget* parent) : QMainWindow(parent) {
  if (dialogs == nullptr) {
    own_dialogs_ = std::make_unique<QtDialogs>();
    dialogs = own_dialogs_.get();
  }
  dialogs_ = dialogs;
  host_ = std::make_unique<QtHost>(
      *dialogs_, [this](OwnerKind kind) { return OwnerFor(static_cast<int>(kind)); });

  setWindowTitle(kCaption);
  setProperty(kHelpContextProperty, 100);
  mdi_area_ = new QMdiArea(this);
  mdi_area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_area_);
  statusBar()->setSizeGripEnabled(true);

  BuildMenus();
  BuildSpeedBar();
  connect(mdi_area_, &QMdiArea::subWindowActivated, this, [this] { RefreshCommands(); });

  const QFileInfo exe(QCoreApplication::applicationFilePath());
  help_file_ = exe.absolutePath() + u'/' + exe.completeBaseName() + QStringLiteral(".hlp");
  help_key_filter_ = new HelpKeyFilter(*this, this);
  qApp->installEventFilter(help_key_filter_);

  about_box_ = new TAboutBox(this);
  RefreshCommands();
}

TMainWindow::~TMainWindow() {
  // The children go while the frame is still whole; nothing refreshes then.
  closing_down_ = true;
  disconnect(mdi_area_, nullptr, this, nullptr);
  qDeleteAll(mdi_area_->findChildren<QMdiSubWindow*>(Qt::FindDirectChildrenOnly));
  qDeleteAll(mdi_area_->viewport()->findChildren<QMdiSubWindow*>(Qt::FindDirectChildrenOnly));
  qApp->removeEventFilter(help_key_filter_);
  delete help_window_;
}

void TMainWindow::BuildMenus() {
  auto item = [](QMenu* menu, const QString& caption, const QString& hint,
                 const QKeySequence& shortcut = {}) {
    QAction* action = menu->addAction(caption);
    SetHint(action, hint);
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    return action;
  };

  FileMenu = menuBar()->addMenu(QStringLiteral("&Файл"));
  SetHint(FileMenu->menuAction(), QStringLiteral("Работа с файлами"));
  FileNewItem = item(FileMenu, QStringLiteral("Созд&ать"), QStringLiteral("Создать новый файл"),
                     QKeySequence(Qt::CTRL | Qt::Key_N));
  FileOpenItem = item(FileMenu, QStringLiteral("&Открыть..."),
                      QStringLiteral("Открыть файл с диска"), QKeySequence(Qt::CTRL | Qt::Key_O));
  FileSaveItem = item(FileMenu, QStringLiteral("&Сохранить"),
                      QStringLiteral("Сохранить текущий файл"), QKeySequence(Qt::CTRL | Qt::Key_S));
  FileSaveAsItem = item(FileMenu, QStringLiteral("Сохранить &как..."),
                        QStringLiteral("Сохранить текущий файл под другим именем"));
  FileMenu->addSeparator();
  FileExitItem = item(FileMenu, QStringLiteral("В&ыход"), QStringLiteral("Закончить работу"));

  EditMenu = menuBar()->addMenu(QStringLiteral("&Правка"));
  SetHint(EditMenu->menuAction(), QStringLiteral("Редактирование данных"));
  EditUndoItem =
      item(EditMenu, QStringLiteral("&Отменить"), QStringLiteral("Отменить последнее изменение"),
           QKeySequence(Qt::CTRL | Qt::Key_Z));
  EditMenu->addSeparator();
  EditCutItem = item(EditMenu, QStringLiteral("&Вырезать"),
                     QStringLiteral("Поместить выделенный фрагмент в буфер обмена"),
                     QKeySequence(Qt::CTRL | Qt::Key_X));
  EditCopyItem = item(EditMenu, QStringLiteral("&Копировать"),
                      QStringLiteral("Копировать выделенный фрагмент в буфер обмена"),
                      QKeySequence(Qt::CTRL | Qt::Key_C));
  EditPasteItem = item(EditMenu, QStringLiteral("Вст&авить"),
                       QStringLiteral("Вставить фрагмент из буфера обмена"),
                       QKeySequence(Qt::CTRL | Qt::Key_V));

  WindowMenu = menuBar()->addMenu(QStringLiteral("&Окно"));
  SetHint(WindowMenu->menuAction(), QStringLiteral("Управление окнами"));
  WindowTileItem = new QAction(QStringLiteral("&Мозаика"), this);
  SetHint(WindowTileItem, QStringLiteral("Размещение открытых окон на экране в режиме Мозаика"));
  WindowCascadeItem = new QAction(QStringLiteral("&Каскад"), this);
  SetHint(WindowCascadeItem, QStringLiteral("Размещение открытых окон на экране в режиме Каскад"));
  WindowArrangeItem = new QAction(QStringLiteral("&Упорядочить значки"), this);
  SetHint(WindowArrangeItem, QStringLiteral("Упорядочение пиктограмм окон"));
  connect(WindowMenu, &QMenu::aboutToShow, this, &TMainWindow::FillWindowMenu);
  FillWindowMenu();

  HelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
  HelpContentsItem = item(HelpMenu, QStringLiteral("&Содержание"),
                          QStringLiteral("Вывод содержания справочной системы"));
  HelpSearchItem = item(HelpMenu, QStringLiteral("&Поиск справки..."),
                        QStringLiteral("Поиск информации в справочной системе"));
  HelpMenu->addSeparator();
  HelpAboutItem = item(HelpMenu, QStringLiteral("&О программе..."),
                       QStringLiteral("Вывод сведений о версии программы и авторских правах"));

  connect(FileNewItem, &QAction::triggered, this, &TMainWindow::FileNew);
  connect(FileOpenItem, &QAction::triggered, this, &TMainWindow::FileOpen);
  connect(FileSaveItem, &QAction::triggered, this, &TMainWindow::FileSave);
  connect(FileSaveAsItem, &QAction::triggered, this, &TMainWindow::FileSaveAs);
  connect(FileExitItem, &QAction::triggered, this, &TMainWindow::FileExit);
  connect(EditUndoItem, &QAction::triggered, this, &TMainWindow::EditUndo);
  connect(EditCutItem, &QAction::triggered, this, &TMainWindow::EditCut);
  connect(EditCopyItem, &QAction::triggered, this, &TMainWindow::EditCopy);
  connect(EditPasteItem, &QAction::triggered, this, &TMainWindow::EditPaste);
  connect(WindowTileItem, &QAction::triggered, this, &TMainWindow::WindowTile);
  connect(WindowCascadeItem, &QAction::triggered, this, &TMainWindow::WindowCascade);
  connect(WindowArrangeItem, &QAction::triggered, this, &TMainWindow::WindowArrange);
  connect(HelpContentsItem, &QAction::triggered, this, &TMainWindow::HelpContents);
  connect(HelpSearchItem, &QAction::triggered, this, &TMainWindow::HelpSearch);
  connect(HelpAboutItem, &QAction::triggered, this, &TMainWindow::HelpAbout);
}

void TMainWindow::BuildSpeedBar() {
  SpeedBar = addToolBar(QStringLiteral("SpeedBar"));
  SpeedBar->setMovable(false);
  SpeedBar->setIconSize(QSize(20, 20));
  QStyle* s = style();
  auto button = [this](const QIcon& icon, const QString& hint, void (TMainWindow::*handler)()) {
    QAction* action = SpeedBar->addAction(icon, QString());
    SetHint(action, hint);
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  const QIcon cut = DrawnIcon([](QPainter& p) {
    p.drawEllipse(QRectF(3, 12, 5, 5));
    p.drawEllipse(QRectF(12, 12, 5, 5));
    p.drawLine(QPointF(7, 12), QPointF(14, 2));
    p.drawLine(QPointF(13, 12), QPointF(6, 2));
  });
  const QIcon copy = DrawnIcon([](QPainter& p) {
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 2.5, 10, 12));
    p.drawRect(QRectF(7.5, 5.5, 10, 12));
  });
  const QIcon paste = DrawnIcon([](QPainter& p) {
    p.setBrush(QColor(200, 160, 90));
    p.drawRect(QRectF(3.5, 3.5, 12, 14));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8.5, 8.5, 9, 10));
    p.drawRect(QRectF(6.5, 1.5, 6, 3));
  });
  const QIcon undo = DrawnIcon([](QPainter& p) {
    QPainterPath path;
    path.moveTo(5, 8);
    path.cubicTo(9, 3, 17, 5, 16, 14);
    p.drawPath(path);
    p.drawLine(QPointF(5, 8), QPointF(5, 3));
    p.drawLine(QPointF(5, 8), QPointF(10, 8));
  });
  const QIcon train = DrawnIcon([](QPainter& p) {
    p.setBrush(QColor(30, 110, 30));
    p.drawEllipse(QRectF(2, 7, 5, 5));
    p.drawEllipse(QRectF(13, 2, 5, 5));
    p.drawEllipse(QRectF(13, 13, 5, 5));
    p.drawLine(QPointF(7, 9.5), QPointF(13, 4.5));
    p.drawLine(QPointF(7, 9.5), QPointF(13, 15.5));
  });
  SBNew = button(s->standardIcon(QStyle::SP_FileIcon), QStringLiteral("Создать|"),
                 &TMainWindow::FileNew);
  SBOpen = button(s->standardIcon(QStyle::SP_DialogOpenButton), QStringLiteral("Открыть|"),
                  &TMainWindow::FileOpen);
  SBSave = button(s->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Сохранить|"),
                  &TMainWindow::FileSave);
  SpeedBar->addSeparator();
  SBCut = button(cut, QStringLiteral("Вырезать|"), &TMainWindow::EditCut);
  SBCopy = button(copy, QStringLiteral("Копировать|"), &TMainWindow::EditCopy);
  SBPaste = button(paste, QStringLiteral("Вставить|"), &TMainWindow::EditPaste);
  SBUndo = button(undo, QStringLiteral("Отменить|"), &TMainWindow::EditUndo);
  SpeedBar->addSeparator();
  SpeedButton9 = button(s->standardIcon(QStyle::SP_DialogHelpButton),
                        QStringLiteral("Содержание Справки|"), &TMainWindow::HelpContents);
  SBTrain = button(train, QStringLiteral("Обучить нейросеть"), &TMainWindow::SBNetTrain);
}

void TMainWindow::FillWindowMenu() {
  WindowMenu->clear();
  WindowMenu->addAction(WindowTileItem);
  WindowMenu->addAction(WindowCascadeItem);
  WindowMenu->addAction(WindowArrangeItem);
  const QList<QMdiSubWindow*> windows = mdi_area_->subWindowList();
  if (!windows.isEmpty()) WindowMenu->addSeparator();
  for (int i = 0; i < windows.size(); ++i) {
    QMdiSubWindow* window = windows[i];
    const QString text =
        (i < 9 ? QStringLiteral("&%1 ").arg(i + 1) : QStringLiteral("%1 ").arg(i + 1)) +
        window->windowTitle();
    QAction* action = WindowMenu->addAction(text);
    action->setCheckable(true);
    action->setChecked(window == mdi_area_->currentSubWindow());
    connect(action, &QAction::triggered, this,
            [this, window] { mdi_area_->setActiveSubWindow(window); });
  }
}

QWidget* TMainWindow::ActiveChildWidget() const {
  QMdiSubWindow* window = mdi_area_->currentSubWindow();
  return window != nullptr ? window->widget() : nullptr;
}

ChildWindow* TMainWindow::ActiveChild() const { return AsChild(ActiveChildWidget()); }

QMdiSubWindow* TMainWindow::AddChild(QWidget* child) {
  QMdiSubWindow* window = mdi_area_->addSubWindow(child);
  window->setAttribute(Qt::WA_DeleteOnClose);
  connect(window, &QObject::destroyed, this, [this] { RefreshCommands(); });
  child->show();
  window->show();
  mdi_area_->setActiveSubWindow(window);
  RefreshCommands();
  return window;
}

void TMainWindow::ActivateChild(QWidget* child) {
  for (QMdiSubWindow* window : mdi_area_->subWindowList()) {
    if (window->widget() == child) mdi_area_->setActiveSubWindow(window);
  }
  RefreshCommands();
}

void TMainWindow::EnableSave(bool enabled) {
  FileSaveItem->setEnabled(enabled);
  SBSave->setEnabled(enabled);
}

void TMainWindow::SetEditCommands(const EditCommandState& state) {
  EditUndoItem->setEnabled(state.undo);
  SBUndo->setEnabled(state.undo);
  EditCutItem->setEnabled(state.cut);
  SBCut->setEnabled(state.cut);
  EditCopyItem->setEnabled(state.copy);
  SBCopy->setEnabled(state.copy);
  EditPasteItem->setEnabled(state.paste);
  SBPaste->setEnabled(state.paste);
}

void TMainWindow::SetTrainEnabled(bool enabled) { SBTrain->setEnabled(enabled); }

void TMainWindow::MergeMenus(ChildWindow* child) {
  if (closing_down_) return;
  const QList<QMenu*> wanted = child != nullptr ? child->MergedMenus() : QList<QMenu*>();
  QList<QMenu*> present;
  for (const QPointer<QMenu>& menu : merged_menus_) present.append(menu.data());
  if (wanted == present) return;
  // A menu whose window is gone has already left the bar with its action.
  for (const QPointer<QMenu>& menu : merged_menus_) {
    if (menu != nullptr) menuBar()->removeAction(menu->menuAction());
  }
  merged_menus_.clear();
  for (QMenu* menu : wanted) {
    menuBar()->insertAction(WindowMenu->menuAction(), menu->menuAction());
    merged_menus_.append(menu);
  }
}

void TMainWindow::RefreshCommands() {
  if (closing_down_) return;
  SetEditCommands({});
  SBTrain->setEnabled(false);
  FileSaveAsItem->setEnabled(false);
  EnableSave(false);
  const bool any_child = !mdi_area_->subWindowList().isEmpty();
  WindowTileItem->setEnabled(any_child);
  WindowCascadeItem->setEnabled(any_child);
  WindowArrangeItem->setEnabled(any_child);

  ChildWindow* child = ActiveChild();
  MergeMenus(child);
  if (child == nullptr) return;
  EnableSave(child->SaveEnabled());
  FileSaveAsItem->setEnabled(true);
  switch (child->Kind()) {
    case ChildKind::kVerbal:
      child->UpdateEditCommands();
      break;
    case ChildKind::kProject:
    case ChildKind::kEditor:
    case ChildKind::kTest:
    case ChildKind::kInpSens:
      break;
  }
  child->Activated();
}

std::optional<FileChoice> TMainWindow::RunOpenDialog(const QString& filter) {
  return dialogs_->OpenFile(this, FileDialogSetup{filter, QString(), QString(), 1});
}

bool TMainWindow::RunSaveDialog(const QString& filter, const QString& initial_name,
                                const QString& default_extension, int filter_index,
                                int* chosen_index) {
  std::optional<FileChoice> choice = dialogs_->SaveFile(
      this, FileDialogSetup{filter, initial_name, default_extension, filter_index});
  if (!choice) return false;
  if (QWidget* child = ActiveChildWidget()) child->setWindowTitle(choice->path);
  if (chosen_index != nullptr) *chosen_index = choice->filter_index;
  return true;
}

bool TMainWindow::CloseProject() {
  if (project_ == nullptr) return true;
  if (!project_->CanClose()) return false;
  return project_->CloseWithoutQuestion();
}

bool TMainWindow::ReplaceProject(const QString& caption) {
  if (!mdi_area_->subWindowList().isEmpty() && !CloseProject()) return false;
  auto* project = new TProject(*this);
  project->setWindowTitle(caption);
  project_ = project;
  // The project window can be minimized and closed but not maximized.
  AddChild(project)->setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  return true;
}

void TMainWindow::FileNew() { ReplaceProject(TProject::kUntitled); }

void TMainWindow::FileOpen() {
  std::optional<FileChoice> choice = RunOpenDialog(kProjectFilter);
  if (!choice) return;
  const QString path = QFileInfo(choice->path).absoluteFilePath();
  if (!ReplaceProject(path)) return;
  const Status status = project_->Load(path);
  if (status.IsCancelled()) {
    dialogs_->ShowMessage(
        this, QStringLiteral("Операция невозможна"),
        QStringLiteral("Проект ") + path +
            QStringLiteral(" уже открыт для изменения другой командой или программой"));
    (void)project_->CloseWithoutQuestion();
  } else if (!status.ok()) {
    dialogs_->ShowMessage(this, QStringLiteral("Ошибка открытия файла проекта"),
                          ToQString(ProjectOpenErrorText(ToPath(path), status)));
    (void)project_->CloseWithoutQuestion();
  }
}

void TMainWindow::FileSave() {
  if (ChildWindow* child = ActiveChild()) child->Save();
}

void TMainWindow::FileSaveAs() {
  ChildWindow* child = ActiveChild();
  if (child == nullptr) return;
  const SaveAsSetup setup = child->SaveAsDialogSetup();
  int chosen_index = setup.filter_index;
  if (!RunSaveDialog(setup.filter, setup.initial_name, setup.default_extension, setup.filter_index,
                     &chosen_index)) {
    return;
  }
  child->SaveAs(chosen_index);
  RefreshCommands();
}

void TMainWindow::FileExit() { close(); }

void TMainWindow::closeEvent(QCloseEvent* event) {
  if (!mdi_area_->subWindowList().isEmpty() && !CloseProject()) {
    event->ignore();
    return;
  }
  event->accept();
}

void TMainWindow::EditUndo() {
  ChildWindow* child = ActiveChild();
  if (child == nullptr || child->Kind() != ChildKind::kVerbal) return;
  child->EditUndo();
  child->UpdateEditCommands();
}

void TMainWindow::EditCut() {
  ChildWindow* child = ActiveChild();
  if (child == nullptr || child->Kind() != ChildKind::kVerbal) return;
  child->EditCut();
  child->UpdateEditCommands();
}

void TMainWindow::EditCopy() {
  ChildWindow* child = ActiveChild();
  if (child == nullptr || child->Kind() != ChildKind::kVerbal) return;
  child->EditCopy();
  child->UpdateEditCommands();
}

void TMainWindow::EditPaste() {
  ChildWindow* child = ActiveChild();
  if (child == nullptr || child->Kind() != ChildKind::kVerbal) return;
  child->EditPaste();
}

void TMainWindow::WindowTile() { mdi_area_->tileSubWindows(); }

void TMainWindow::WindowCascade() { mdi_area_->cascadeSubWindows(); }

void TMainWindow::WindowArrange() {
  // Minimized windows line up along the bottom edge, left to right.
  int x = 0;
  const int bottom = mdi_area_->viewport()->height();
  for (QMdiSubWindow* window : mdi_area_->subWindowList()) {
    if (!window->isMinimized()) continue;
    window->move(x, bottom - window->height());
    x += window->width();
  }
}

bool TMainWindow::EnsureHelp() {
  if (help_window_ != nullptr) return true;
  HelpFile help;
  QString error;
  if (!LoadHelpFile(help_file_, help, error)) {
    dialogs_->ShowMessage(this, QStringLiteral("Справка недоступна"),
                          QStringLiteral("Не удается открыть файл справки ") + help_file_ +
                              QStringLiteral(": ") + error);
    return false;
  }
  help_window_ = new THelpWindow(std::move(help));
  return true;
}

void TMainWindow::SetHelpFile(const QString& path) {
  help_file_ = path;
  delete help_window_;
  help_window_ = nullptr;
}

void TMainWindow::HelpContents() {
  if (EnsureHelp()) help_window_->ShowContents();
}

void TMainWindow::HelpSearch() {
  if (EnsureHelp()) help_window_->ShowSearch(QString());
}

void TMainWindow::ShowHelpTopic(int context) {
  if (!EnsureHelp()) return;
  if (!help_window_->ShowTopic(context)) help_window_->ShowContents();
}

void TMainWindow::HelpAbout() { about_box_->exec(); }

void TMainWindow::SBNetTrain() {
  if (project_ != nullptr) project_->TrainNet();
}

QWidget* TMainWindow::OwnerFor(int owner_kind) {
  switch (static_cast<OwnerKind>(owner_kind)) {
    case OwnerKind::kMain:
      return this;
    case OwnerKind::kProject:
      if (project_ != nullptr) return project_;
      return this;
    default: {
      QWidget* active = QApplication::activeModalWidget();
      if (active == nullptr) active = ActiveChildWidget();
      return active != nullptr ? active : this;
    }
  }
}

}  // namespace velmar::gui
