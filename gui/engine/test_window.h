#ifndef VELMAR_GUI_ENGINE_TEST_WINDOW_H_
#define VELMAR_GUI_ENGINE_TEST_WINDOW_H_

#include <QAbstractTableModel>
#include <QColor>
#include <QStyledItemDelegate>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/base/host.h"
#include "core/base/status.h"
#include "core/engine/neural_net.h"
#include "core/engine/test_network.h"
#include "gui/app/child_window.h"
#include "gui/app/main_frame.h"

class QTableView;
class QFont;

namespace velmar::gui {

// The test grid as a model: the grid's row 0 is the horizontal header (the
// fixed row), its other rows are the model's rows. Cells come from the core's
// grid on demand, so a table of any size shows at once; the verdict colour of
// a cell is its Qt::ForegroundRole.
class TestGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TestGridModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

  void SetGrid(std::shared_ptr<const TestGrid> grid);
  const TestGrid* Grid() const { return grid_.get(); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  static QColor Colour(CellColour colour);

 private:
  std::shared_ptr<const TestGrid> grid_;
};

// Draws a cell's text 4 pixels right of and below its corner, clipped to it.
class TestCellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

// The column widths of a grid in `font`: the widest text of the column plus
// 30 pixels, or 0 for the columns that are never widened. Safe on any thread.
std::vector<int> TestColumnWidths(const TestGrid& grid, const QFont& font);

// The test results of one network: a child window of the main window, linked
// both ways with its network.
class TTestWindow : public QWidget, public ChildWindow, public NetWindowLink {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 600;

  // `frame` (may be null) hears that the text was saved; `host` shows a
  // failed save.
  TTestWindow(NeuralNet& net, Host& host, MainFrame* frame, QWidget* parent = nullptr);
  ~TTestWindow() override;

  // Shows a finished grid with its column widths (TestColumnWidths).
  void SetGrid(std::shared_ptr<const TestGrid> grid, const std::vector<int>& widths);

  // The file the window saves to is its caption (a full name after Save As).
  Status SaveTestText(const std::filesystem::path& path) const;

  // ChildWindow: saved as tab-separated text under the caption.
  ChildKind Kind() const override { return ChildKind::kTest; }
  int HelpContext() const override { return kHelpContext; }
  bool SaveEnabled() const override { return true; }
  void Save() override;
  SaveAsSetup SaveAsDialogSetup() const override;

  NeuralNet* Net() const { return net_; }
  TestGridModel* Model() const { return model_; }
  QTableView* View() const { return grid_view_; }
  QFont GridFont() const;

  // NetWindowLink: the network is going away.
  void CloseForNet() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  NeuralNet* net_;
  Host& host_;
  MainFrame* frame_;
  TestGridModel* model_;
  QTableView* grid_view_;  // "TestGrid"
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_ENGINE_TEST_WINDOW_H_
