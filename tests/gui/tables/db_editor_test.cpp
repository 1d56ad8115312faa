#include <QAbstractItemModelTester>
#include <QtTest>

#include "core/tables/table_factory.h"
#include "gui/base/text.h"
#include "tests/gui/support/gui_fixture.h"

namespace velmar::gui {

using testing::GuiFixture;
using Kind = ScriptedDialogs::Kind;

namespace {

struct EditorFixture {
  EditorFixture() {
    project = f.NewProject();
    editor = f.OpenData(project);
    tester = std::make_unique<QAbstractItemModelTester>(
        editor->Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
  }

  bool Edit(int row, int column, const QString& text) {
    return editor->Model()->setData(editor->Model()->index(row, column), text, Qt::EditRole);
  }
  QString Cell(int row, int column) const {
    return editor->Model()->index(row, column).data().toString();
  }

  GuiFixture f;
  TProject* project = nullptr;
  TDBEditor* editor = nullptr;
  std::unique_ptr<QAbstractItemModelTester> tester;
};

// The value of a cell of the table file at `path`, read afresh.
QString FileCell(const QString& path, int row, int column, int* rows = nullptr) {
  std::unique_ptr<Table> table;
  if (!OpenTable(ToPath(path), table).ok()) return QStringLiteral("<unreadable>");
  if (rows != nullptr) *rows = table->RecordCount();
  table->MoveTo(row);
  const Value value = table->GetValue(column);
  if (const double* d = std::get_if<double>(&value)) return QString::number(*d);
  if (const int64_t* i = std::get_if<int64_t>(&value)) return QString::number(*i);
  return QString();
}

}  // namespace

class DBEditorTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsTheTable() {
    EditorFixture e;
    QCOMPARE(e.editor->Model()->rowCount(), 150);
    QCOMPARE(e.editor->Model()->columnCount(), 5);
    QCOMPARE(e.editor->Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("SEPAL_LEN"));
    QCOMPARE(e.Cell(0, 0), QStringLiteral("5.1"));
    QCOMPARE(e.editor->windowTitle(), e.f.table_path);
    for (QAction* off : {e.editor->SortTable, e.editor->Structure, e.editor->Restructure}) {
      QVERIFY(!off->isEnabled());
    }
    QCOMPARE(e.editor->InsRecord->shortcut(), QKeySequence(Qt::Key_Insert));
    QCOMPARE(e.editor->DelRecord->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Delete));
    QVERIFY(!e.f.window->FileSaveItem->isEnabled());
  }

  void EditsStayInMemoryUntilSave() {
    EditorFixture e;
    const QByteArray original = GuiFixture::Bytes(e.f.table_path);
    e.f.AddNetwork(e.project);
    e.project->Model().Net(0).Book = std::make_unique<TaskBook>();
    QVERIFY(e.Edit(0, 0, QStringLiteral("6.5")));
    QCOMPARE(e.Cell(0, 0), QStringLiteral("6.5"));
    QVERIFY(e.editor->Modified());
    QVERIFY(e.f.window->FileSaveItem->isEnabled());
    QVERIFY(e.project->Model().Net(0).Book == nullptr);
    QCOMPARE(GuiFixture::Bytes(e.f.table_path), original);

    e.f.window->FileSave();
    QVERIFY(!e.editor->Modified());
    QVERIFY(!e.f.window->FileSaveItem->isEnabled());
    QCOMPARE(FileCell(e.f.table_path, 0, 0), QStringLiteral("6.5"));

    // A second edit, then No on close: the file keeps the first edit only.
    QVERIFY(e.Edit(1, 0, QStringLiteral("7.7")));
    e.f.dialogs.QueueAnswer(Answer::kNo);
    QVERIFY(e.editor->CloseWindow());
    const auto questions = e.f.dialogs.CallsOf(Kind::kQuestion);
    QCOMPARE(questions.size(), size_t{1});
    QCOMPARE(questions[0].text, QStringLiteral("Файл был изменен. Сохранить?"));
    QCOMPARE(questions[0].caption, e.f.table_path);
    QCOMPARE(FileCell(e.f.table_path, 0, 0), QStringLiteral("6.5"));
    QCOMPARE(FileCell(e.f.table_path, 1, 0), QStringLiteral("4.9"));
  }

  void CloseQuestion_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("in_file");
    QTest::newRow("cancel keeps the window") << int(Answer::kCancel) << false << "5.1";
    QTest::newRow("no drops the edit") << int(Answer::kNo) << true << "5.1";
    QTest::newRow("yes saves it") << int(Answer::kYes) << true << "9";
  }
  void CloseQuestion() {
    QFETCH(int, answer);
    QFETCH(bool, closed);
    QFETCH(QString, in_file);
    EditorFixture e;
    QVERIFY(e.Edit(0, 0, QStringLiteral("9")));
    e.f.dialogs.QueueAnswer(static_cast<Answer>(answer));
    QCOMPARE(e.editor->CloseWindow(), closed);
    GuiFixture::Settle();
    QCOMPARE(e.project->DataFileOpen(), !closed);
    QCOMPARE(e.f.window->MdiArea()->subWindowList().size(), closed ? 1 : 2);
    QCOMPARE(FileCell(e.f.table_path, 0, 0), in_file);
  }

  void FailedSaveOnCloseKeepsTheEdits() {
    EditorFixture e;
    QVERIFY(e.Edit(0, 0, QStringLiteral("9")));
    QVERIFY(QDir(e.f.dir.path()).removeRecursively());
    e.f.dialogs.QueueAnswer(Answer::kYes);
    QVERIFY(!e.editor->CloseWindow());
    QCOMPARE(e.f.dialogs.Messages().size(), 1);
    QVERIFY(e.editor->Modified());
    QCOMPARE(e.Cell(0, 0), QStringLiteral("9"));
  }

  void RefusedValueKeepsTheCell() {
    EditorFixture e;
    QVERIFY(!e.Edit(0, 0, QStringLiteral("abc")));
    QCOMPARE(e.Cell(0, 0), QStringLiteral("5.1"));
    QCOMPARE(e.f.dialogs.Messages().size(), 1);
    QVERIFY(!e.editor->Modified());
    // N(4,1) holds at most 99.9.
    QVERIFY(!e.Edit(0, 0, QStringLiteral("123456")));
    QCOMPARE(e.Cell(0, 0), QStringLiteral("5.1"));
  }

  void InsertAppendDelete() {
    EditorFixture e;
    TDBEditor& editor = *e.editor;
    editor.DBGrid->setCurrentIndex(editor.Model()->index(2, 0));
    editor.InsRecordClick();
    QCOMPARE(editor.Model()->rowCount(), 151);
    QCOMPARE(editor.CurrentRow(), 2);
    QCOMPARE(e.Cell(2, 0), QString());
    QCOMPARE(e.Cell(3, 0), QStringLiteral("4.7"));
    // Left without an edit, the new record goes again.
    editor.DBGrid->setCurrentIndex(editor.Model()->index(5, 0));
    QCOMPARE(editor.Model()->rowCount(), 150);
    QCOMPARE(e.Cell(2, 0), QStringLiteral("4.7"));
    QVERIFY(!editor.Modified());

    editor.AppRecordClick();
    QCOMPARE(editor.Model()->rowCount(), 151);
    QCOMPARE(editor.CurrentRow(), 150);
    QVERIFY(e.Edit(150, 0, QStringLiteral("1.5")));
    QVERIFY(editor.Modified());
    editor.DBGrid->setCurrentIndex(editor.Model()->index(0, 0));
    QCOMPARE(editor.Model()->rowCount(), 151);

    // Delete asks nothing; it is a change that can be saved.
    e.f.window->FileSave();
    editor.DBGrid->setCurrentIndex(editor.Model()->index(0, 0));
    editor.DelRecordClick();
    QVERIFY(e.f.dialogs.CallsOf(Kind::kQuestion).empty());
    QCOMPARE(editor.Model()->rowCount(), 150);
    QCOMPARE(e.Cell(0, 0), QStringLiteral("4.9"));
    QVERIFY(editor.Modified());
    e.f.window->FileSave();
    int rows = 0;
    QCOMPARE(FileCell(e.f.table_path, 149, 0, &rows), QStringLiteral("1.5"));
    QCOMPARE(rows, 150);
    QCOMPARE(FileCell(e.f.table_path, 0, 0), QStringLiteral("4.9"));
  }

  void SaveAsTheSameFormatUnderANewName() {
    EditorFixture e;
    const QByteArray original = GuiFixture::Bytes(e.f.table_path);
    QVERIFY(e.Edit(0, 1, QStringLiteral("3.3")));
    const QString target = e.f.Path(QStringLiteral("copy.dbf"));
    e.f.dialogs.QueueFile(target);
    e.f.window->FileSaveAs();
    const auto setup = e.f.dialogs.CallsOf(Kind::kSave)[0].setup;
    QCOMPARE(setup.filter_index, 5);
    QCOMPARE(setup.initial_name, e.f.Path(QStringLiteral("iris")));
    QCOMPARE(setup.default_extension, QString());
    QCOMPARE(e.editor->windowTitle(), target);
    QCOMPARE(e.project->DBName->text(), target);
    QCOMPARE(FileCell(target, 0, 1), QStringLiteral("3.3"));
    QCOMPARE(GuiFixture::Bytes(e.f.table_path), original);
    QVERIFY(!e.editor->Modified());
  }

  void SaveAsIntoEachFamily_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("saved");
    QTest::newRow("paradox 3.5") << 1 << "p3.dbf"
                                 << "p3.db";
    QTest::newRow("paradox for win32") << 4 << "p7"
                                       << "p7.db";
    QTest::newRow("foxpro") << 6 << "fox.dbf"
                            << "fox.dbf";
  }
  void SaveAsIntoEachFamily() {
    QFETCH(int, index);
    QFETCH(QString, chosen);
    QFETCH(QString, saved);
    EditorFixture e;
    QVERIFY(e.Edit(149, 3, QStringLiteral("2.4")));
    e.f.dialogs.QueueFile(e.f.Path(chosen), index);
    e.f.window->FileSaveAs();
    QVERIFY2(e.f.dialogs.Messages().isEmpty(), qPrintable(e.f.dialogs.Messages().join(u'\n')));
    const QString path = e.f.Path(saved);
    QCOMPARE(e.editor->windowTitle(), path);
    QCOMPARE(e.project->DBName->text(), path);
    int rows = 0;
    QCOMPARE(FileCell(path, 149, 3, &rows), QStringLiteral("2.4"));
    QCOMPARE(rows, 150);
    QCOMPARE(FileCell(path, 0, 0), QStringLiteral("5.1"));
    QCOMPARE(e.editor->Model()->rowCount(), 150);
    QCOMPARE(e.Cell(149, 3), QStringLiteral("2.4"));
    // Saving again keeps the format and the name.
    QVERIFY(e.Edit(0, 0, QStringLiteral("5.2")));
    e.f.window->FileSave();
    QCOMPARE(FileCell(path, 0, 0), QStringLiteral("5.2"));
    QCOMPARE(e.editor->windowTitle(), path);
  }
};

}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::DBEditorTest)
#include "db_editor_test.moc"
