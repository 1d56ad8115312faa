#include "gui/verbal/verbal_text.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMdiSubWindow>
#include <QPlainTextEdit>

#include "core/base/file_util.h"
#include "gui/base/text.h"
#include "gui/engine/net_window.h"

namespace velmar::gui {

TVerbalText::TVerbalText(NeuralNet& net, Host& host, MainFrame* frame, QWidget* parent)
    : QWidget(parent), net_(&net), host_(host), frame_(frame) {
  setObjectName("VerbalText");
  setAttribute(Qt::WA_DeleteOnClose);
  resize(435, 300);

  Text = new QPlainTextEdit(this);
  Text->setObjectName("Text");
  Text->setFrameShape(QFrame::NoFrame);
  Text->setLineWrapMode(QPlainTextEdit::NoWrap);
  Text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPalette palette = Text->palette();
  palette.setColor(QPalette::Base, Qt::white);
  Text->setPalette(palette);
  Text->installEventFilter(this);
  Text->viewport()->installEventFilter(this);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Text);

  connect(Text, &QPlainTextEdit::undoAvailable, this, [this](bool available) {
    can_undo_ = available;
    UpdateEditCommands();
  });
  connect(Text, &QPlainTextEdit::copyAvailable, this, [this](bool) { UpdateEditCommands(); });
  // An edited text is unsaved work: Save follows it, so edits are not lost.
  connect(Text, &QPlainTextEdit::textChanged, this, [this] {
    if (!filling_) SetModified(true);
  });

  net.VerbalWindow = this;
  setWindowTitle(ToQString("Вербальное описание " + net.Desc.Name));
}

TVerbalText::~TVerbalText() {
  if (net_ != nullptr && net_->VerbalWindow == this) net_->VerbalWindow = nullptr;
}

void TVerbalText::SetLines(const std::vector<std::string>& lines) {
  QStringList text;
  text.reserve(static_cast<qsizetype>(lines.size()));
  for (const std::string& line : lines) text << QString::fromStdString(line);
  Text->hide();
  filling_ = true;
  Text->setPlainText(text.join('\n'));
  filling_ = false;
  can_undo_ = false;
  Text->show();
  // A new description is unsaved as a whole.
  SetModified(true);
  UpdateEditCommands();
}

QString TVerbalText::PlainText() const { return Text->toPlainText(); }

void TVerbalText::SetModified(bool modified) {
  if (modified_ == modified) return;
  modified_ = modified;
  if (frame_ != nullptr && IsActiveNetWindow(this)) frame_->EnableSave(modified);
  emit modifiedChanged(modified);
}

void TVerbalText::EditUndo() { Text->undo(); }
void TVerbalText::EditCut() { Text->cut(); }
void TVerbalText::EditCopy() { Text->copy(); }
void TVerbalText::EditPaste() { Text->paste(); }

EditCommandState TVerbalText::EditCommands() const {
  EditCommandState state;
  state.cut = state.copy = Text->textCursor().hasSelection();
  state.paste = !QGuiApplication::clipboard()->text().isEmpty();
  state.undo = can_undo_ && Text->document()->isUndoAvailable();
  return state;
}

void TVerbalText::UpdateEditCommands() {
  if (frame_ != nullptr && IsActiveNetWindow(this)) frame_->SetEditCommands(EditCommands());
  emit editCommandsChanged();
}

bool TVerbalText::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == Text && event->type() == QEvent::KeyRelease) ||
      (watched == Text->viewport() && event->type() == QEvent::MouseButtonRelease)) {
    UpdateEditCommands();
  }
  return QWidget::eventFilter(watched, event);
}

Status TVerbalText::SaveVerbalText(const std::filesystem::path& path) {
  std::string text = Text->toPlainText().toStdString();
  if (!text.empty()) text += '\n';
  Status status = WriteFileAtomically(path, std::string_view(text));
  if (status.ok()) SetModified(false);
  return status;
}

void TVerbalText::Save() {
  const QString path = windowTitle();
  FinishTextSave(SaveVerbalText(ToPath(path)), path, host_, frame_);
}

SaveAsSetup TVerbalText::SaveAsDialogSetup() const {
  return {kTextFilter, windowTitle(), QStringLiteral("txt"), 1};
}

void TVerbalText::CloseForNet() {
  net_ = nullptr;
  CloseNetWindow(this);
}

void TVerbalText::closeEvent(QCloseEvent* event) {
  if (net_ != nullptr && net_->VerbalWindow == this) net_->VerbalWindow = nullptr;
  net_ = nullptr;
  QWidget::closeEvent(event);
}

}  // namespace velmar::gui
