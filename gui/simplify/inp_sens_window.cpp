#include "gui/simplify/inp_sens_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPointer>
#include <QTableView>
#include <QTimer>
#include <cmath>

#include "core/base/format_real.h"
#include "core/simplify/significance_text.h"
#include "gui/base/text.h"
#include "gui/engine/net_window.h"

namespace velmar::gui {
namespace {

QString Q(const std::string& text) { return ToQString(text); }

constexpr int kTextInset = 5;
constexpr int kBarInset = 2;
// Room for the vertical scroll bar beside the two columns.
constexpr int kScrollBarRoom = 20;
const QColor kAqua(0, 255, 255);

}  // namespace

void SignificanceModel::SetSnapshot(SignificanceSnapshot snapshot) {
  snapshot_ = std::move(snapshot);
  if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, 1));
}

int SignificanceModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int SignificanceModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

QVariant SignificanceModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const size_t row = static_cast<size_t>(index.row());
  if (index.column() == 0) {
    if (role == Qt::DisplayRole && row < snapshot_.names.size()) return Q(snapshot_.names[row]);
    return {};
  }
  if (row >= snapshot_.values.size()) return {};
  if (role == Qt::DisplayRole) return Q(FormatReal(snapshot_.values[row], separator_));
  if (role == kValueRole) return snapshot_.values[row];
  return {};
}

QVariant SignificanceModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::DisplayRole) return section == 0 ? QString("Сигнал") : QString("Значимость");
  if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
  return {};
}

void SignificanceDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  const QRect cell = option.rect;
  const QString text = index.data(Qt::DisplayRole).toString();
  const QFontMetrics metrics(option.font);
  painter->save();
  painter->setFont(option.font);
  painter->setClipRect(cell);
  painter->fillRect(cell, option.palette.base());
  painter->setPen(option.palette.color(QPalette::Text));
  const int baseline = cell.top() + kTextInset + metrics.ascent();
  if (index.column() == 0) {
    painter->drawText(cell.left() + kTextInset, baseline, text);
    painter->restore();
    return;
  }
  const int w = cell.width();
  const int x = cell.left() + w / 2 - metrics.horizontalAdvance(text) / 2;
  painter->drawText(x, baseline, text);
  const float indicator = index.data(SignificanceModel::kValueRole).toFloat();
  QRect bar = cell.adjusted(0, kBarInset, 0, -kBarInset);
  const int bar_width = static_cast<int>(std::trunc(double(w) * double(indicator)));
  bar.setWidth(std::clamp(bar_width, 0, w));
  if (bar.width() > 0) {
    painter->setClipRect(bar);
    painter->fillRect(bar, kAqua);
    painter->drawText(x, baseline, text);
  }
  painter->restore();
}

TInpSensWindow::TInpSensWindow(NeuralNet& net, Host& host, MainFrame* frame, QWidget* parent)
    : QWidget(parent), net_(&net), host_(host), frame_(frame), separator_(host.DecimalSeparator()) {
  setObjectName("InpSensWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  resize(414, 366);

  const int inputs = static_cast<int>(net.InputNames.size());
  model_ = new SignificanceModel(inputs, separator_, this);
  Grid_ = new QTableView(this);
  Grid_->setObjectName("Grid");
  Grid_->setModel(model_);
  Grid_->setItemDelegate(new SignificanceDelegate(Grid_));
  Grid_->setFrameShape(QFrame::NoFrame);
  Grid_->setShowGrid(true);
  Grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Grid_->setSelectionMode(QAbstractItemView::NoSelection);
  Grid_->setFocusPolicy(Qt::NoFocus);
  Grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  Grid_->verticalHeader()->hide();
  Grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  Grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  Grid_->horizontalHeader()->setHighlightSections(false);
  Grid_->setColumnWidth(0, 108);
  Grid_->setColumnWidth(1, 275);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Grid_);

  net.InpSensWindow = this;
  setWindowTitle(Q(SignificanceCaption(net)));
  model_->SetSnapshot({net.InputNames, net.InputSignificance});
}

TInpSensWindow::~TInpSensWindow() {
  if (net_ != nullptr && net_->InpSensWindow == this) net_->InpSensWindow = nullptr;
}

void TInpSensWindow::Repaint() {
  if (net_ == nullptr) return;
  SignificanceSnapshot snapshot{net_->InputNames, net_->InputSignificance};
  QPointer<TInpSensWindow> self(this);
  QMetaObject::invokeMethod(
      this,
      [self, snapshot = std::move(snapshot)]() mutable {
        if (self) self->model_->SetSnapshot(std::move(snapshot));
      },
      Qt::QueuedConnection);
}

void TInpSensWindow::CloseForNet() {
  net_ = nullptr;
  CloseNetWindow(this);
}

void TInpSensWindow::closeEvent(QCloseEvent* event) {
  if (net_ != nullptr && net_->InpSensWindow == this) net_->InpSensWindow = nullptr;
  net_ = nullptr;
  QWidget::closeEvent(event);
}

Status TInpSensWindow::SaveSignificance(const std::filesystem::path& path) const {
  if (net_ == nullptr) return Status::Invalid("Сеть удалена");
  return velmar::SaveSignificance(*net_, path, separator_);
}

void TInpSensWindow::Save() {
  const QString path = windowTitle();
  FinishTextSave(SaveSignificance(ToPath(path)), path, host_, frame_);
}

SaveAsSetup TInpSensWindow::SaveAsDialogSetup() const {
  return {kTextFilter, windowTitle(), QStringLiteral("txt"), 1};
}

int TInpSensWindow::RowsHeight() const {
  const QHeaderView* header = Grid_->horizontalHeader();
  int height = header->height();
  for (int row = 0; row < model_->rowCount(); ++row) height += Grid_->rowHeight(row);
  return height + 1;
}

void TInpSensWindow::ResizeWindow() {
  const int client = width();
  const int first = static_cast<int>(std::trunc((client - kScrollBarRoom) * 0.5));
  Grid_->setColumnWidth(0, std::max(first, 0));
  Grid_->setColumnWidth(1, std::max(client - first - kScrollBarRoom, 0));
  Grid_->viewport()->update();
}

// A window taller than its rows shrinks to them; a shorter one scrolls.
void TInpSensWindow::ShrinkToRows() {
  const int rows_height = RowsHeight();
  if (rows_height >= height()) return;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) {
    sub->resize(sub->width(), sub->height() - (height() - rows_height));
  } else {
    resize(width(), rows_height);
  }
}

void TInpSensWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ResizeWindow();
  if (isVisible()) {
    QTimer::singleShot(0, this, [this] { ShrinkToRows(); });
  }
}

void TInpSensWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ResizeWindow();
  QTimer::singleShot(0, this, [this] { ShrinkToRows(); });
}

}  // namespace velmar::gui
