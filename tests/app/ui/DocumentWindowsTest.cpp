// Several open documents in the main window: switching between them (the
// windows dialog, closing one, a file handed over that is already open), the
// summary pane and the status bar that follow the active document, Recent
// Documents after every kind of save, the columns of the first window and
// the sort indicator.
#include "AppRun.h"
#include "TestSupport.h"

#include "VtrRule.h"
#include "app/CommandTable.h"
#include "app/ui/VTRRuleBuilderApp.h"
#include "app/ui/WindowsDlg.h"
#include "document/RulePassword.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"
#include "views/ui/ChildFrame.h"
#include "views/ui/MainFrame.h"
#include "views/ui/VTRRMListCtrlEx.h"
#include "views/ui/VTRRuleBuilderView.h"

#include <memory>

#include <QApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QTest>

namespace {
// Wide enough for the list and the summary pane side by side.
constexpr QSize kFrameSize { 1100, 750 };

// The first row whose rule's summary is long enough to need several lines.
int RowWithLongSummary(CVTRRuleBuilderView* view)
{
    const RuleListModel* model = view->Controller()->Model();
    for (int row = 0; row < model->RowCount(); ++row)
        if (model->RuleAt(row)->GetSummary().size() > 150)
            return row;
    return -1;
}

QStringList PaneLines(CVTRRuleBuilderView* view)
{
    QStringList lines;
    QListWidget* pane = view->SummaryPane();
    for (int i = 0; i < pane->count(); ++i)
        lines << pane->item(i)->text();
    return lines;
}

// The text width of a cell as the list draws it (column 0 with its icon).
int CellTextWidth(CVTRRMListCtrlEx* list, int row, int column)
{
    return list->fontMetrics().horizontalAdvance(list->model()->index(row, column).data().toString())
        + (column == 0 ? 24 : 0);
}
} // namespace

class DocumentWindowsTest : public QObject
{
    Q_OBJECT
private slots:
    void summaryPaneKeepsItsWidthAcrossSwitches_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("windows dialog") << QStringLiteral("dialog");
        QTest::newRow("closing the other file") << QStringLiteral("close");
        QTest::newRow("file handed over again") << QStringLiteral("handover");
    }
    void summaryPaneKeepsItsWidthAcrossSwitches()
    {
        QFETCH(QString, how);
        AppRun run;
        QVERIFY(run.StartShown(kFrameSize));
        CMainFrame* frame = run.Frame();
        CChildFrame* first = frame->ActiveChild();
        const QString firstPath = run.env.Path(QStringLiteral("first.vtr"));
        QVERIFY(first->Document()->OnSaveDocument(firstPath));
        CVTRRuleBuilderView* view = first->View();
        const int row = RowWithLongSummary(view);
        QVERIFY(row >= 0);
        view->ListCtrl()->selectRow(row);
        QApplication::processEvents();
        const QStringList before = PaneLines(view);
        QVERIFY(!before.isEmpty());

        QVERIFY(run.app->OnFileNew());
        CChildFrame* second = frame->ActiveChild();
        QVERIFY(second != first);
        QApplication::processEvents();

        if (how == QLatin1String("dialog")) {
            CWindowsDlg dialog(frame->MdiArea(), frame);
            for (int i = 0; i < dialog.List()->count(); ++i)
                if (dialog.List()->item(i)->text() == first->windowTitle())
                    dialog.List()->setCurrentRow(i);
            dialog.ActivateSelected();
        } else if (how == QLatin1String("close")) {
            second->close();
        } else {
            QVERIFY(run.app->OpenDocumentFile(firstPath));
        }
        QTRY_COMPARE(frame->ActiveChild(), first);
        QApplication::processEvents();

        QListWidget* pane = view->SummaryPane();
        QVERIFY(pane->isVisible());
        const QString summary = view->Controller()->Model()->RuleAt(row)->GetSummary();
        const QStringList after = PaneLines(view);
        // The lines of the pane as wide as it is now, the same as before the switch.
        QCOMPARE(after, SplitSummary(summary, pane->width() - 20, pane->fontMetrics().horizontalAdvance(summary)));
        QCOMPARE(after, before);
        QVERIFY2(after.size() <= 3, qPrintable(after.join('|')));
    }

    void statusBarFollowsTheActiveDocument()
    {
        AppRun run;
        QVERIFY(run.StartShown(kFrameSize));
        CMainFrame* frame = run.Frame();
        CChildFrame* first = frame->ActiveChild();
        RuleListModel* firstModel = first->View()->Controller()->Model();
        const int rows = firstModel->RowCount();
        for (int row : { 0, 1, 2 })
            QVERIFY(firstModel->SetChecked(row, true));
        const QString firstText = QStringLiteral("Rules selected: 3, listed: %1").arg(rows);
        QCOMPARE(frame->InformationText(), firstText);

        QVERIFY(run.app->OnFileNew());
        CChildFrame* second = frame->ActiveChild();
        QVERIFY(second->View()->Controller()->Model()->SetChecked(5, true));
        const QString secondText = QStringLiteral("Rules selected: 1, listed: %1").arg(rows);
        QCOMPARE(frame->InformationText(), secondText);

        frame->MdiArea()->setActiveSubWindow(first);
        QTRY_COMPARE(frame->InformationText(), firstText);
        frame->MdiArea()->setActiveSubWindow(second);
        QTRY_COMPARE(frame->InformationText(), secondText);

        // Closing the active one shows the other's count.
        second->Document()->SetModifiedFlag(false);
        second->close();
        QTRY_COMPARE(frame->Children().size(), 1);
        QTRY_COMPARE(frame->InformationText(), firstText);

        // A search lists fewer rows than are selected; the text still reads right.
        first->View()->Search(QStringLiteral("flange"));
        const int listed = firstModel->RowCount();
        QVERIFY(listed > 0 && listed < rows);
        QCOMPARE(frame->InformationText(), QStringLiteral("Rules selected: 3, listed: %1").arg(listed));

        first->Document()->SetModifiedFlag(false);
        first->close();
        QTRY_COMPARE(frame->Children().size(), 0);
        QCOMPARE(frame->InformationText(), QStringLiteral("Ready."));
    }

    void everySaveToAPathJoinsRecentDocuments_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("save command") << QStringLiteral("save");
        QTest::newRow("password then save") << QStringLiteral("password");
        QTest::newRow("save on close") << QStringLiteral("close");
    }
    void everySaveToAPathJoinsRecentDocuments()
    {
        QFETCH(QString, how);
        AppRun run;
        QVERIFY(run.StartShown(kFrameSize));
        CMainFrame* frame = run.Frame();
        CChildFrame* child = frame->ActiveChild();
        const QString path = run.env.Path(QStringLiteral("saved-by-%1.vtr").arg(how));
        QVERIFY(!run.app->RecentFiles().contains(path));
        run.dialogs.Answer(path);
        if (how == QLatin1String("save")) {
            frame->OnCommand(CmdId::ID_FILE_SAVE);
        } else if (how == QLatin1String("password")) {
            SetPasswordPrompt([](QString& typed) {
                typed = QStringLiteral("pw");
                return true;
            });
            QTest::keyClick(child->View()->ListCtrl(), Qt::Key_L, Qt::ControlModifier);
            SetPasswordPrompt({});
            QVERIFY(child->Document()->IsPasswordProtected());
        } else {
            child->Document()->SetModifiedFlag(true);
            run.messages.Answer(MsgAnswer::Yes);
            child->close();
            QTRY_COMPARE(frame->Children().size(), 0);
        }
        QVERIFY(QFile::exists(path));
        QCOMPARE(run.app->RecentFiles().value(0), path);
        QCOMPARE(frame->RecentMenu()->actions().value(0)->data().toString(), path);
    }

    void firstWindowColumnsFitTheirTexts()
    {
        AppRun run;
        QVERIFY(run.StartShown(kFrameSize));
        CVTRRMListCtrlEx* list = run.Frame()->ActiveChild()->View()->ListCtrl();
        QApplication::processEvents();
        const int rows = list->model()->rowCount();
        QVERIFY(rows > 100);
        // The rows on screen and a spread of rows further down.
        QList<int> sample;
        for (int row = 0; row < 60; ++row)
            sample << row;
        for (int row = 60; row < rows; row += rows / 20)
            sample << row;
        auto widest = [&](int column) {
            int w = 0;
            for (int row : sample)
                w = std::max(w, CellTextWidth(list, row, column));
            return w;
        };
        QVERIFY(list->columnWidth(RuleListModel::RuleColumn) >= widest(RuleListModel::RuleColumn));
        QVERIFY(list->columnWidth(RuleListModel::ModuleColumn) >= widest(RuleListModel::ModuleColumn));
        // A narrower window keeps them readable.
        run.Frame()->resize(700, 600);
        QApplication::processEvents();
        QVERIFY(list->columnWidth(RuleListModel::ModuleColumn) >= widest(RuleListModel::ModuleColumn));
    }

    void sortedColumnShowsItsIndicator()
    {
        AppRun run;
        QVERIFY(run.StartShown(kFrameSize));
        CVTRRuleBuilderView* view = run.Frame()->ActiveChild()->View();
        QHeaderView* header = view->ListCtrl()->horizontalHeader();
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        auto click = [&](int column) {
            const int x = std::min(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                header->viewport()->width() - 5);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
        };
        // The list opens sorted by "Rule", ticked rules first; the first
        // click on "Rule" puts them last.
        RuleListModel* model = view->Controller()->Model();
        QVERIFY(model->SetChecked(model->RowCount() / 2, true));
        click(RuleListModel::RuleColumn);
        QCOMPARE(header->sortIndicatorSection(), 0);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        QVERIFY(model->IsChecked(model->RowCount() - 1));
        QVERIFY(!model->IsChecked(0));

        click(RuleListModel::ModuleColumn);
        QCOMPARE(header->sortIndicatorSection(), int(RuleListModel::ModuleColumn));
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        click(RuleListModel::ModuleColumn);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    }
};

QTEST_MAIN(DocumentWindowsTest)
#include "DocumentWindowsTest.moc"
