#include "gui/app/main_window.h"

#include <QtTest>

#include "gui/base/scripted_dialogs.h"
#include "gui/project/project_window.h"

namespace velmar::gui {

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void StartUpStates() {
    ScriptedDialogs dialogs;
    TMainWindow window(&dialogs);
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("Velmar 0.25"));
    for (QAction* off :
         {window.FileSaveItem, window.SBSave, window.FileSaveAsItem, window.EditUndoItem,
          window.EditCutItem, window.EditCopyItem, window.EditPasteItem, window.SBCut,
          window.SBCopy, window.SBPaste, window.SBUndo, window.WindowTileItem,
          window.WindowCascadeItem, window.WindowArrangeItem, window.SBTrain}) {
      QVERIFY2(!off->isEnabled(), qPrintable(off->text() + off->toolTip()));
    }
    for (QAction* on : {window.FileNewItem, window.FileOpenItem, window.FileExitItem,
                        window.HelpContentsItem, window.HelpSearchItem, window.HelpAboutItem,
                        window.SBNew, window.SBOpen, window.SpeedButton9}) {
      QVERIFY2(on->isEnabled(), qPrintable(on->text() + on->toolTip()));
    }
  }
};

}  // namespace velmar::gui

QTEST_MAIN(velmar::gui::MainWindowTest)
#include "main_window_test.moc"
