#include "gui/verbal/verbal_text.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMdiSubWindow>
#include <QPlainTextEdit>

#include "core/base/file_util.h"

namespace velmar::gui {

TVerbalText::TVerbalText(NeuralNet& net, QWidget* parent) : QWidget(parent), net_(&net) {
  setObjectName("VerbalText");
  setProperty("helpContext", kHelpContext);
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
  setWindowTitle(QString::fromStdString("Вербальное описание " + net.Desc.Name));
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
  emit modifiedChanged(modified);
}

void TVerbalText::Undo() { Text->undo(); }
void TVerbalText::Cut() { Text->cut(); }
void TVerbalText::Copy() { Text->copy(); }
void TVerbalText::Paste() { Text->paste(); }

EditCommandState TVerbalText::EditCommands() const {
  EditCommandState state;
  state.cut = state.copy = Text->textCursor().hasSelection();
  state.paste = !QGuiApplication::clipboard()->text().isEmpty();
  state.undo = can_undo_ && Text->document()->isUndoAvailable();
  return state;
}

void TVerbalText::UpdateEditCommands() { emit editCommandsChanged(EditCommands()); }

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

Status TVerbalText::Save() {
  return SaveVerbalText(std::filesystem::path(windowTitle().toStdU16String()));
}

void TVerbalText::CloseForNet() {
  net_ = nullptr;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) {
    sub->close();
  } else {
    close();
  }
}

void TVerbalText::closeEvent(QCloseEvent* event) {
  if (net_ != nullptr && net_->VerbalWindow == this) net_->VerbalWindow = nullptr;
  net_ = nullptr;
  QWidget::closeEvent(event);
}

}  // namespace velmar::gui
