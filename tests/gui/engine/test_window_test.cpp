#include "gui/engine/test_window.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QMdiSubWindow>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "core/base/host.h"
#include "core/engine/test_network.h"
#include "tests/gui/engine/iris_fixture.h"
#include "tests/gui/support/read_file.h"
#include "tests/support/memory_table.h"

namespace velmar::gui {
namespace {

using testing::ReadFile;

// What the command line writes for the same network and table.
std::string CommandLineText(testing::IrisBench& bench) {
  SilentHost host;
  NullTrainingView view;
  EngineContext context{bench.project.Options(), bench.table.get(), host, view};
  TestGrid grid;
  if (!TestNetwork(bench.Net(), context, grid)) return {};
  return TestGridText(grid);
}

class TestWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void GridCellsColoursAndWidths() {
    testing::IrisBench bench({4}, /*discrete_class=*/true);
    QVERIFY(bench.ok);
    QVERIFY(bench.commands->TestNet(bench.Net(), bench.Data()));
    QTRY_VERIFY(!bench.commands->Runner().Busy());
    TTestWindow* window = NetworkCommands::TestWindowOf(bench.Net());
    QVERIFY(window != nullptr);
    QCOMPARE(window->windowTitle(), QString("Тестирование Network1"));
    QVERIFY(bench.main.isEnabled());

    const TestGridModel* model = window->Model();
    QCOMPARE(model->columnCount(), 5);
    // Row 0 of the grid is the fixed header; the records follow.
    QCOMPARE(model->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QString("CLASS"));
    QCOMPARE(model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
             QString("Прогноз сети"));
    QCOMPARE(model->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(),
             QString("Уверенность"));
    QCOMPARE(model->data(model->index(0, 0), Qt::DisplayRole).toString(), QString("1"));
    QCOMPARE(model->data(model->index(0, 1), Qt::DisplayRole).toString(), QString("Класс 1"));

    // The verdict decides the colour of the forecast and confidence cells.
    int coloured[4] = {0, 0, 0, 0};
    for (int row = 0; row < 150; ++row) {
      const QString code = model->data(model->index(row, 4), Qt::DisplayRole).toString();
      QColor expected(0, 0, 0);
      if (code == "1") expected = QColor(0, 0, 255), ++coloured[1];
      if (code == "2") expected = QColor(255, 0, 0), ++coloured[2];
      if (code.isEmpty()) ++coloured[0];
      QCOMPARE(model->data(model->index(row, 2), Qt::ForegroundRole).value<QColor>(), expected);
      QCOMPARE(model->data(model->index(row, 3), Qt::ForegroundRole).value<QColor>(), expected);
      QCOMPARE(model->data(model->index(row, 1), Qt::ForegroundRole).value<QColor>(),
               QColor(0, 0, 0));
    }
    QVERIFY(coloured[0] + coloured[1] + coloured[2] == 150);
    QVERIFY2(coloured[2] > 0, "an untrained net answers some records wrong");
    QCOMPARE(TestGridModel::Colour(CellColour::kGreen), QColor(0, 128, 0));

    // Widths: the widest text of a column plus 30; the row number and the
    // verdict columns stay invisible.
    const QHeaderView* header = window->View()->horizontalHeader();
    QVERIFY(header->isSectionHidden(0));
    QVERIFY(header->isSectionHidden(4));
    const QFontMetrics metrics(window->GridFont());
    int widest = metrics.horizontalAdvance("Прогноз сети");
    for (int row = 0; row < model->rowCount(); ++row) {
      widest =
          std::max(widest, metrics.horizontalAdvance(model->data(model->index(row, 2)).toString()));
    }
    QCOMPARE(header->sectionSize(2), widest + 30);

    // Summaries follow the records.
    QVERIFY(model->rowCount() > 150);
    bool found_total = false;
    for (int row = 150; row < model->rowCount(); ++row) {
      if (model->data(model->index(row, 2)).toString() == "Всего:") found_total = true;
    }
    QVERIFY(found_total);
  }

  void RecordWithoutAnActualValueIsGreen() {
    testing::IrisBench bench({4});
    testing_support::MemoryTable table = testing_support::MemoryTable::FromNumbers(
        {"SEPAL_LEN", "SEPAL_WID", "PETAL_LEN", "PETAL_WID", "CLASS"},
        {{5.1, 3.5, 1.4, 0.2, 0.0}, {6.3, 2.9, 5.6, 1.8, std::nullopt}});
    QVERIFY(bench.commands->TestNet(bench.Net(), {&bench.project.Options(), &table}));
    QTRY_VERIFY(!bench.commands->Runner().Busy());
    TTestWindow* window = NetworkCommands::TestWindowOf(bench.Net());
    QVERIFY(window != nullptr);
    const TestGridModel* model = window->Model();
    QCOMPARE(model->data(model->index(1, 1)).toString(), QString());
    QCOMPARE(model->data(model->index(1, 4)).toString(), QString("3"));
    QCOMPARE(model->data(model->index(1, 2), Qt::ForegroundRole).value<QColor>(),
             QColor(0, 128, 0));
    QCOMPARE(model->data(model->index(1, 3), Qt::ForegroundRole).value<QColor>(),
             QColor(0, 128, 0));
    QVERIFY(model->data(model->index(0, 2), Qt::ForegroundRole).value<QColor>() !=
            QColor(0, 128, 0));
  }

  void SaveWritesWhatTheCommandLineWrites() {
    testing::IrisBench bench({4}, true);
    QVERIFY(bench.commands->TestNet(bench.Net(), bench.Data()));
    QTRY_VERIFY(!bench.commands->Runner().Busy());
    TTestWindow* window = NetworkCommands::TestWindowOf(bench.Net());
    QVERIFY(window != nullptr);
    QTemporaryDir dir;
    const QString path = dir.filePath("результат.txt");
    window->setWindowTitle(path);  // what Save As leaves behind
    window->Save();
    QVERIFY(bench.host.messages.empty());
    const std::string expected = CommandLineText(bench);
    QVERIFY(!expected.empty());
    QCOMPARE(ReadFile(path), expected);
  }

  void SecondTestReusesTheWindowAndClosingUnlinks() {
    testing::IrisBench bench({4});
    QVERIFY(bench.commands->TestNet(bench.Net(), bench.Data()));
    QTRY_VERIFY(!bench.commands->Runner().Busy());
    TTestWindow* first = NetworkCommands::TestWindowOf(bench.Net());
    QVERIFY(first != nullptr);
    QCOMPARE(bench.area->subWindowList().size(), 1);
    QVERIFY(bench.commands->TestNet(bench.Net(), bench.Data()));
    QTRY_VERIFY(!bench.commands->Runner().Busy());
    QCOMPARE(NetworkCommands::TestWindowOf(bench.Net()), first);
    QCOMPARE(bench.area->subWindowList().size(), 1);
    // Continuous output: the third column is the error.
    QCOMPARE(first->Model()->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(),
             QString("Ошибка"));
    bench.area->subWindowList().first()->close();
    QTRY_COMPARE(bench.area->subWindowList().size(), 0);
    QVERIFY(bench.Net().TestWindow == nullptr);
  }

  void DeletingTheNetworkClosesItsWindow() {
    testing::IrisBench bench({4});
    QVERIFY(bench.commands->TestNet(bench.Net(), bench.Data()));
    QTRY_VERIFY(!bench.commands->Runner().Busy());
    QCOMPARE(bench.area->subWindowList().size(), 1);
    QVERIFY(bench.project.DeleteNetwork(0).ok());
    QTRY_COMPARE(bench.area->subWindowList().size(), 0);
  }
};

}  // namespace
}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::TestWindowTest)
#include "test_window_test.moc"
