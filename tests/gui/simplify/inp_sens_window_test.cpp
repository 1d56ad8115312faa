#include "gui/simplify/inp_sens_window.h"

#include <QHeaderView>
#include <QImage>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "core/simplify/pruning.h"
#include "core/simplify/significance_text.h"
#include "gui/engine/training_process.h"
#include "tests/gui/engine/iris_fixture.h"
#include "tests/gui/support/read_file.h"

namespace velmar::gui {
namespace {

class InpSensWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // Every case starts from a trained network with its significance window open.
  void init() {
    bench_ = std::make_unique<testing::IrisBench>(std::vector<int>{5, 3});
    bench_->TrainHere();
    QVERIFY(bench_->commands->InputSens(bench_->Net(), bench_->Data()));
    QTRY_VERIFY(!bench_->commands->Runner().Busy());
    window_ = NetworkCommands::InpSensWindowOf(bench_->Net());
    QVERIFY(window_ != nullptr);
  }
  void cleanup() {
    window_ = nullptr;
    bench_.reset();
  }

  void RowsBarsAndSavedText() {
    testing::IrisBench& bench = *bench_;
    TInpSensWindow* window = window_;
    QCOMPARE(window->windowTitle(), QString("Network1 - значимость входов"));
    const SignificanceModel* model = window->Model();
    QCOMPARE(model->rowCount(), 4);
    QCOMPARE(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Сигнал"));
    QCOMPARE(model->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
             QString("Значимость"));
    QCOMPARE(model->data(model->index(0, 0)).toString(), QString("SEPAL_LEN"));
    QCOMPARE(model->data(model->index(3, 0)).toString(), QString("PETAL_WID"));
    int top = -1;
    for (int row = 0; row < 4; ++row) {
      const float value =
          model->data(model->index(row, 1), SignificanceModel::kValueRole).toFloat();
      QCOMPARE(value, bench.Net().InputSignificance[row]);
      if (value == 1.0f) top = row;
    }
    QVERIFY(top >= 0);
    QCOMPARE(model->data(model->index(top, 1)).toString(), QString("1"));

    // Two columns share the width beside the room for the scroll bar, and a
    // window taller than its rows shrinks to them.
    QTableView* grid = window->Grid();
    QCOMPARE(grid->columnWidth(0), (window->width() - 20) / 2);
    QCOMPARE(grid->columnWidth(0) + grid->columnWidth(1), window->width() - 20);
    QTRY_COMPARE(window->height(), window->RowsHeight());

    // The most significant input's bar fills its cell with aqua.
    const QImage image = grid->viewport()->grab().toImage();
    const QRect cell = grid->visualRect(model->index(top, 1));
    QCOMPARE(QColor(image.pixel(cell.right() - 2, cell.center().y())), QColor(0, 255, 255));
    QCOMPARE(QColor(image.pixel(cell.right() - 2, cell.top())).rgb() == QColor(0, 255, 255).rgb(),
             false);

    QTemporaryDir dir;
    const QString path = dir.filePath("значимость.txt");
    window->setWindowTitle(path);
    window->Save();
    QVERIFY(bench.host.messages.empty());
    QCOMPARE(testing::ReadFile(path), SignificanceText(bench.Net(), '.'));
  }

  void FollowsLaterComputations() {
    testing::IrisBench& bench = *bench_;
    TInpSensWindow* window = window_;
    // Input pruning recomputes the indicators on the worker; the window shows
    // the last ones.
    QVERIFY(bench.commands->Simplify(bench.Net(), kPruneInputs, bench.Data()));
    QTRY_VERIFY_WITH_TIMEOUT(!bench.commands->Runner().Busy(), 30000);
    QTest::mouseClick(bench.commands->Progress().Button(), Qt::LeftButton);
    QTRY_VERIFY(window->Model()->Snapshot().values == bench.Net().InputSignificance);
    // A second command reuses the window.
    QVERIFY(bench.commands->InputSens(bench.Net(), bench.Data()));
    QTRY_VERIFY(!bench.commands->Runner().Busy());
    QCOMPARE(NetworkCommands::InpSensWindowOf(bench.Net()), window);
    QCOMPARE(bench.area->subWindowList().size(), 1);
    QTRY_VERIFY(window->Model()->Snapshot().values == bench.Net().InputSignificance);
    // Deleting the network closes it.
    QVERIFY(bench.project.DeleteNetwork(0).ok());
    QTRY_COMPARE(bench.area->subWindowList().size(), 0);
  }

 private:
  std::unique_ptr<testing::IrisBench> bench_;
  TInpSensWindow* window_ = nullptr;
};

}  // namespace
}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::InpSensWindowTest)
#include "inp_sens_window_test.moc"
