#include "gui/verbal/verbal_text.h"

#include <QApplication>
#include <QClipboard>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "core/verbal/verbalize.h"
#include "tests/gui/engine/iris_fixture.h"
#include "tests/gui/support/read_file.h"

namespace velmar::gui {
namespace {

using testing::ReadFile;

class VerbalTextTest : public QObject {
  Q_OBJECT

 private slots:
  void TextModifiedFlagAndSave() {
    testing::IrisBench bench({3});
    TVerbalText* window = bench.commands->VerbalizeNet(bench.Net());
    QVERIFY(window != nullptr);
    QCOMPARE(bench.Net().VerbalWindow, static_cast<NetWindowLink*>(window));
    QCOMPARE(window->windowTitle(), QString("Вербальное описание Network1"));
    std::string expected;
    for (const std::string& line : VerbalizeNet(bench.Net(), '.')) expected += line + "\n";
    QVERIFY(window->Modified());

    QTemporaryDir dir;
    const QString path = dir.filePath("описание.txt");
    window->setWindowTitle(path);
    QSignalSpy modified(window, &TVerbalText::modifiedChanged);
    window->Save();
    QVERIFY(bench.host.messages.empty());
    QCOMPARE(ReadFile(path), expected);
    QVERIFY(!window->Modified());
    QCOMPARE(modified.size(), 1);

    // An edit is unsaved work again.
    window->Editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(window->Editor(), "X");
    QVERIFY(window->Modified());
    window->Save();
    QVERIFY(bench.host.messages.empty());
    QCOMPARE(ReadFile(path), expected.substr(0, expected.size() - 1) + "X\n");

    // Verbalizing again reuses the window and replaces the text.
    QCOMPARE(bench.commands->VerbalizeNet(bench.Net()), window);
    QCOMPARE(window->PlainText().toStdString() + "\n", expected);
    QCOMPARE(bench.area->subWindowList().size(), 1);
  }

  void EditCommandsAndTheirStates() {
    testing::IrisBench bench({3});
    TVerbalText* window = bench.commands->VerbalizeNet(bench.Net());
    QSignalSpy states(window, &TVerbalText::editCommandsChanged);
    QApplication::clipboard()->clear();
    window->UpdateEditCommands();
    QVERIFY(!states.isEmpty());
    EditCommandState state = window->EditCommands();
    QVERIFY(!state.cut && !state.copy && !state.paste && !state.undo);

    const QString original = window->PlainText();
    window->Editor()->selectAll();
    window->UpdateEditCommands();
    state = window->EditCommands();
    QVERIFY(state.cut && state.copy);
    window->EditCopy();
    QCOMPARE(QApplication::clipboard()->text(), original);
    QCOMPARE(window->PlainText(), original);
    QVERIFY(window->EditCommands().paste);

    window->EditCut();
    QVERIFY(window->PlainText().isEmpty());
    QVERIFY(window->EditCommands().undo);
    window->EditUndo();
    QCOMPARE(window->PlainText(), original);

    window->Editor()->moveCursor(QTextCursor::End);
    window->EditPaste();
    QCOMPARE(window->PlainText(), original + original);
  }

  void ClosingUnlinksAndDeletingCloses() {
    testing::IrisBench bench({3});
    bench.commands->VerbalizeNet(bench.Net());
    QCOMPARE(bench.area->subWindowList().size(), 1);
    bench.area->subWindowList().first()->close();
    QTRY_COMPARE(bench.area->subWindowList().size(), 0);
    QVERIFY(bench.Net().VerbalWindow == nullptr);
    bench.commands->VerbalizeNet(bench.Net());
    QVERIFY(bench.Net().VerbalWindow != nullptr);
    QVERIFY(bench.project.DeleteNetwork(0).ok());
    QTRY_COMPARE(bench.area->subWindowList().size(), 0);
  }
};

}  // namespace
}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::VerbalTextTest)
#include "verbal_text_test.moc"
