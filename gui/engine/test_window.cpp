#include "gui/engine/test_window.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMdiSubWindow>
#include <QPainter>
#include <QTableView>
#include <string>
#include <unordered_map>

#include "gui/base/text.h"
#include "gui/engine/net_window.h"

namespace velmar::gui {
namespace {

QString Q(const std::string& text) { return ToQString(text); }

constexpr int kTextPadding = 30;
constexpr int kTextOffset = 4;

}  // namespace

void TestGridModel::SetGrid(std::shared_ptr<const TestGrid> grid) {
  beginResetModel();
  grid_ = std::move(grid);
  endResetModel();
}

int TestGridModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !grid_ || grid_->Rows.empty()) return 0;
  return static_cast<int>(grid_->Rows.size()) - 1;
}

int TestGridModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid() || !grid_) return 0;
  return grid_->ColumnCount;
}

QColor TestGridModel::Colour(CellColour colour) {
  switch (colour) {
    case CellColour::kBlue:
      return QColor(0, 0, 255);
    case CellColour::kRed:
      return QColor(255, 0, 0);
    case CellColour::kGreen:
      return QColor(0, 128, 0);
    case CellColour::kBlack:
      break;
  }
  return QColor(0, 0, 0);
}

QVariant TestGridModel::data(const QModelIndex& index, int role) const {
  if (!grid_ || !index.isValid()) return {};
  const int row = index.row() + 1;
  const int column = index.column();
  if (row >= static_cast<int>(grid_->Rows.size()) || column >= grid_->ColumnCount) return {};
  switch (role) {
    case Qt::DisplayRole:
      return Q(grid_->Cell(column, row));
    case Qt::ForegroundRole:
      return Colour(TestCellColour(*grid_, column, row));
    default:
      return {};
  }
}

QVariant TestGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (!grid_ || grid_->Rows.empty()) return {};
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= grid_->ColumnCount) return {};
    if (role == Qt::DisplayRole) return Q(grid_->Cell(section, 0));
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
  }
  if (role == Qt::DisplayRole) return section + 1;
  return {};
}

void TestCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  painter->save();
  painter->setClipRect(option.rect);
  painter->setFont(option.font);
  painter->setPen(index.data(Qt::ForegroundRole).value<QColor>());
  const QFontMetrics metrics(option.font);
  painter->drawText(option.rect.left() + kTextOffset,
                    option.rect.top() + kTextOffset + metrics.ascent(),
                    index.data(Qt::DisplayRole).toString());
  painter->restore();
}

std::vector<int> TestColumnWidths(const TestGrid& grid, const QFont& font) {
  const QFontMetrics metrics(font);
  std::vector<int> widths(grid.ColumnCount, 0);
  // Few distinct texts recur over many records: measure each once.
  std::unordered_map<std::string, int> measured;
  for (const auto& row : grid.Rows) {
    for (int column = 0; column < grid.ColumnCount && column < int(row.size()); ++column) {
      if (!IsWidenedColumn(column)) continue;
      const std::string& text = row[column];
      auto [it, inserted] = measured.try_emplace(text, 0);
      if (inserted) it->second = metrics.horizontalAdvance(Q(text));
      widths[column] = std::max(widths[column], it->second + kTextPadding);
    }
  }
  return widths;
}

TTestWindow::TTestWindow(NeuralNet& net, Host& host, MainFrame* frame, QWidget* parent)
    : QWidget(parent), net_(&net), host_(host), frame_(frame) {
  setObjectName("TestWindow");
  setAttribute(Qt::WA_DeleteOnClose);
  resize(437, 385);

  model_ = new TestGridModel(this);
  grid_view_ = new QTableView(this);
  grid_view_->setObjectName("TestGrid");
  grid_view_->setModel(model_);
  grid_view_->setItemDelegate(new TestCellDelegate(grid_view_));
  grid_view_->setFrameShape(QFrame::NoFrame);
  grid_view_->setShowGrid(true);
  grid_view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_view_->setWordWrap(false);
  grid_view_->verticalHeader()->hide();
  grid_view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  // The text stands 4 pixels below the cell's top; as much room below it.
  grid_view_->verticalHeader()->setDefaultSectionSize(QFontMetrics(grid_view_->font()).height() +
                                                      2 * kTextOffset);
  grid_view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_view_->horizontalHeader()->setMinimumSectionSize(0);
  grid_view_->horizontalHeader()->setHighlightSections(false);
  grid_view_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(grid_view_);

  net.TestWindow = this;
  setWindowTitle(Q("Тестирование " + net.Desc.Name));
}

TTestWindow::~TTestWindow() {
  if (net_ != nullptr && net_->TestWindow == this) net_->TestWindow = nullptr;
}

QFont TTestWindow::GridFont() const { return grid_view_->font(); }

void TTestWindow::SetGrid(std::shared_ptr<const TestGrid> grid, const std::vector<int>& widths) {
  setWindowTitle(Q(grid->Caption));
  model_->SetGrid(std::move(grid));
  QHeaderView* header = grid_view_->horizontalHeader();
  for (int column = 0; column < model_->columnCount(); ++column) {
    const int width = column < int(widths.size()) ? widths[column] : 0;
    header->setSectionHidden(column, width == 0);
    if (width > 0) header->resizeSection(column, width);
  }
}

Status TTestWindow::SaveTestText(const std::filesystem::path& path) const {
  const TestGrid* grid = model_->Grid();
  if (grid == nullptr) return Status::Invalid("Нет результатов тестирования");
  return velmar::SaveTestText(*grid, path);
}

void TTestWindow::Save() {
  const QString path = windowTitle();
  FinishTextSave(SaveTestText(ToPath(path)), path, host_, frame_);
}

SaveAsSetup TTestWindow::SaveAsDialogSetup() const {
  return {kTextFilter, windowTitle(), QStringLiteral("txt"), 1};
}

void TTestWindow::CloseForNet() {
  net_ = nullptr;
  CloseNetWindow(this);
}

void TTestWindow::closeEvent(QCloseEvent* event) {
  if (net_ != nullptr && net_->TestWindow == this) net_->TestWindow = nullptr;
  net_ = nullptr;
  QWidget::closeEvent(event);
}

}  // namespace velmar::gui
