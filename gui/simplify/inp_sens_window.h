#ifndef VELMAR_GUI_SIMPLIFY_INP_SENS_WINDOW_H_
#define VELMAR_GUI_SIMPLIFY_INP_SENS_WINDOW_H_

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "core/base/host.h"
#include "core/base/status.h"
#include "core/engine/neural_net.h"
#include "gui/app/child_window.h"
#include "gui/app/main_frame.h"

class QTableView;

namespace velmar::gui {

// The indicators as the window shows them: a copy taken when they were
// computed, so painting never reads a network the worker may be changing.
struct SignificanceSnapshot {
  std::vector<std::string> names;
  std::vector<float> values;
};

// Rows of signal names and indicators; the header is the fixed row
// ("Сигнал", "Значимость"). Column 1 answers its indicator under kValueRole.
class SignificanceModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kValueRole = Qt::UserRole + 1;

  SignificanceModel(int rows, char decimal_separator, QObject* parent = nullptr)
      : QAbstractTableModel(parent), rows_(rows), separator_(decimal_separator) {}

  void SetSnapshot(SignificanceSnapshot snapshot);
  const SignificanceSnapshot& Snapshot() const { return snapshot_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  int rows_;
  char separator_;
  SignificanceSnapshot snapshot_;
};

// Draws a name 5 pixels in; an indicator centred, with the aqua bar over the
// share of the cell it gives and the number again across the bar.
class SignificanceDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

// The input significance of one network, linked both ways with it. It draws
// the indicators of the last computation and follows every later one.
class TInpSensWindow : public QWidget, public ChildWindow, public NetWindowLink {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 900;

  TInpSensWindow(NeuralNet& net, Host& host, MainFrame* frame, QWidget* parent = nullptr);
  ~TInpSensWindow() override;

  // NetWindowLink. Repaint may be called on the worker thread, which owns
  // the network then: it copies the indicators there and shows them here.
  void Repaint() override;
  void CloseForNet() override;

  Status SaveSignificance(const std::filesystem::path& path) const;

  // ChildWindow: saved as "name, tab, indicator" lines under the caption.
  ChildKind Kind() const override { return ChildKind::kInpSens; }
  int HelpContext() const override { return kHelpContext; }
  bool SaveEnabled() const override { return true; }
  void Save() override;
  SaveAsSetup SaveAsDialogSetup() const override;

  NeuralNet* Net() const { return net_; }
  SignificanceModel* Model() const { return model_; }
  QTableView* Grid() const { return Grid_; }

  // The height of the heading and every row, for the shrinking rule.
  int RowsHeight() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void ResizeWindow();
  void ShrinkToRows();

  NeuralNet* net_;
  Host& host_;
  MainFrame* frame_;
  char separator_;
  SignificanceModel* model_;
  QTableView* Grid_;
};

}  // namespace velmar::gui

#endif  // VELMAR_GUI_SIMPLIFY_INP_SENS_WINDOW_H_
