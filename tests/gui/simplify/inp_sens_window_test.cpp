#include "gui/simplify/inp_sens_window.h"

#include <QHeaderView>
#include <QImage>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <sstream>

#include "core/simplify/pruning.h"
#include "core/simplify/significance_text.h"
#include "gui/engine/training_process.h"
#include "tests/gui/engine/iris_fixture.h"

namespace velmar::gui {
namespace {

class InpSensWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void RowsBarsAndSavedText() {
    testing::IrisBench bench({5, 3});
    bench.TrainHere();
    QVERIFY(bench.commands->InputSens(bench.Net(), bench.Data()));
    QTRY_VERIFY(!bench.commands->Runner().Busy());
    TInpSensWindow* window = NetworkCommands::InpSensWindowOf(bench.Net());
    QVERIFY(window != nullptr);
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
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    QCOMPARE(text.str(), SignificanceText(bench.Net(), '.'));
  }

  void FollowsLaterComputations() {
    testing::IrisBench bench({5, 3});
    bench.TrainHere();
    QVERIFY(bench.commands->InputSens(bench.Net(), bench.Data()));
    QTRY_VERIFY(!bench.commands->Runner().Busy());
    TInpSensWindow* window = NetworkCommands::InpSensWindowOf(bench.Net());
    QVERIFY(window != nullptr);
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
};

}  // namespace
}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::InpSensWindowTest)
#include "inp_sens_window_test.moc"
