// The four product data editors as a user drives them: the hardware database
// of the assembly module and the three editors of the material editors
// library, each opened through its export, edited, cancelled, confirmed and
// reopened.

#include "ProductData.h"
#include "TestSupport.h"
#include "VTRDataHelper.h"
#include "VtrLibrary.h"
#include "modules/ExternalEditors.h"
#include "modules/ModuleContract.h"

#include <functional>

#include <QAbstractItemModel>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTest>
#include <QTimer>

namespace {

// Runs act on the next modal dialog once it shows; gives up after a few seconds
// so that an editor that never opens fails the test instead of hanging it.
void WhenEditorOpens(std::function<void(QDialog*)> act, int triesLeft = 500)
{
    QTimer::singleShot(10, [act, triesLeft] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog) {
            // A failed check returns early: the editor is closed all the same.
            QPointer<QDialog> open(dialog);
            act(dialog);
            if (open && open->isVisible())
                open->reject();
            return;
        }
        if (triesLeft > 0)
            WhenEditorOpens(act, triesLeft - 1);
    });
}

QTableView* TableOf(QDialog* dialog)
{
    return dialog->findChild<QTableView*>(QStringLiteral("productTable"));
}

QString StatusOf(QDialog* dialog)
{
    auto* label = dialog->findChild<QLabel*>(QStringLiteral("statusLabel"));
    return label ? label->text() : QStringLiteral("<no status line>");
}

int ColumnNamed(QAbstractItemModel* model, const QString& header)
{
    for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal).toString() == header)
            return c;
    return -1;
}

void Press(QDialog* dialog, QDialogButtonBox::StandardButton which)
{
    auto* box = dialog->findChild<QDialogButtonBox*>();
    QVERIFY(box);
    QTest::mouseClick(box->button(which), Qt::LeftButton);
}

// One editor and what the test types into it.
struct EditorCase
{
    const char* name;
    std::function<void()> launch;
    QList<QPair<QString, QString>> newRow; // column heading, typed text; the first goes through the cell editor
    QString checkProcess; // a process column ticked on the new row, or empty
    QString editColumn; // a cell of the first row changed to editValue
    QString editValue;
    QString numberColumn; // a column where text is refused, or empty
};

// What the editor showed when it was reopened.
struct Seen
{
    bool opened = false;
    int rows = -1;
    bool newRowFound = false;
    bool processTicked = false;
    QString firstRowEdit;
};

} // namespace

class ProductEditorsTest : public QObject
{
    Q_OBJECT
private:
    QList<EditorCase> Cases()
    {
        auto assemblyLaunch = m_assemblyLaunch;
        auto bridge = m_bridge;
        return {
            { "hardware-database", [assemblyLaunch] { assemblyLaunch(nullptr); },
                { { "Type", "Shoulder screw" }, { "Size", "M8" }, { "Thread pitch (mm)", "1.25" } }, {}, "Material",
                "Titanium grade 5", "Thread pitch (mm)" },
            { "thread-data", [bridge] { bridge.launchThreadData(nullptr); },
                { { "Standard", "Unified" }, { "Designation", "7/8-9 UNC" }, { "Major diameter (mm)", "22.225" },
                    { "Pitch (mm)", "2.822" }, { "Tap drill (mm)", "19.45" } },
                {}, "Tap drill (mm)", "1.3", "Tap drill (mm)" },
            { "material-property", [bridge] { bridge.launchProperties(nullptr); },
                { { "Material", "Inconel 718" }, { "Density (kg/m3)", "8190" }, { "Yield strength (MPa)", "1035" },
                    { "Tensile strength (MPa)", "1240" } },
                {}, "Hardness", "HB 130", "Density (kg/m3)" },
            { "material-process-map",
                [bridge] { bridge.launchProcessMap(nullptr, vtr_db::ManufacturingProcesses(), true); },
                { { "Material", "Inconel 718" } }, "Additive Manufacturing", "Family", "Carbon steel", {} },
        };
    }

    // Opens the editor, adds and fills a row, changes a cell of the first
    // row, and leaves with button. Returns the row count before the edits.
    int EditAndLeave(const EditorCase& c, QDialogButtonBox::StandardButton button, bool* left)
    {
        int before = -1;
        WhenEditorOpens([&](QDialog* dialog) {
            QTableView* table = TableOf(dialog);
            QVERIFY(table);
            QAbstractItemModel* model = table->model();
            before = model->rowCount();
            QVERIFY2(StatusOf(dialog).isEmpty(), qPrintable(StatusOf(dialog)));

            if (!c.numberColumn.isEmpty()) {
                const QModelIndex cell = model->index(0, ColumnNamed(model, c.numberColumn));
                const QString old = cell.data().toString();
                QVERIFY(!model->setData(cell, QStringLiteral("plenty")));
                QCOMPARE(cell.data().toString(), old);
                QVERIFY2(StatusOf(dialog).contains(QStringLiteral("must be a number")), qPrintable(StatusOf(dialog)));
            }

            // Add opens the new row's first cell for typing.
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("addButton")), Qt::LeftButton);
            QCOMPARE(model->rowCount(), before + 1);
            const QModelIndex current = table->currentIndex();
            auto* editor = qobject_cast<QLineEdit*>(table->indexWidget(current));
            QVERIFY(editor);
            editor->setText(c.newRow.first().second);
            QTest::keyClick(editor, Qt::Key_Return);
            const int row = current.row();
            // The delegate commits a confirmed editor from the event loop.
            QTRY_COMPARE(model->index(row, 0).data().toString(), c.newRow.first().second);
            for (qsizetype i = 1; i < c.newRow.size(); ++i) {
                const int column = ColumnNamed(model, c.newRow[i].first);
                QVERIFY2(column >= 0, qPrintable(c.newRow[i].first));
                QVERIFY2(model->setData(model->index(row, column), c.newRow[i].second), qPrintable(StatusOf(dialog)));
            }
            if (!c.checkProcess.isEmpty()) {
                const int column = ColumnNamed(model, c.checkProcess);
                QVERIFY(model->setData(model->index(row, column), Qt::Checked, Qt::CheckStateRole));
            }
            const int editColumn = ColumnNamed(model, c.editColumn);
            QVERIFY(model->setData(model->index(0, editColumn), c.editValue));

            // The filter narrows the table to the new row and back.
            auto* filter = dialog->findChild<QLineEdit*>(QStringLiteral("filterEdit"));
            QTest::keyClicks(filter, c.newRow.first().second);
            QVERIFY(model->rowCount() >= 1 && model->rowCount() < before);
            filter->clear();
            QCOMPARE(model->rowCount(), before + 1);

            Press(dialog, button);
            *left = !dialog->isVisible();
        });
        c.launch();
        return before;
    }

    Seen Reopen(const EditorCase& c)
    {
        Seen seen;
        WhenEditorOpens([&](QDialog* dialog) {
            seen.opened = true;
            QAbstractItemModel* model = TableOf(dialog)->model();
            seen.rows = model->rowCount();
            // The new row is the one that holds every typed value.
            int row = -1;
            for (int r = 0; r < model->rowCount() && row < 0; ++r) {
                bool all = true;
                for (const auto& [header, value] : c.newRow)
                    all = all && model->index(r, ColumnNamed(model, header)).data().toString() == value;
                if (all)
                    row = r;
            }
            seen.newRowFound = row >= 0;
            if (row >= 0 && !c.checkProcess.isEmpty())
                seen.processTicked
                    = model->index(row, ColumnNamed(model, c.checkProcess)).data(Qt::CheckStateRole) == Qt::Checked;
            seen.firstRowEdit = model->index(0, ColumnNamed(model, c.editColumn)).data().toString();
            dialog->reject();
        });
        c.launch();
        return seen;
    }

    void* m_assembly = nullptr;
    PFN_LaunchFastenerDatabaseDlg m_assemblyLaunch = nullptr;
    MaterialEditorEntries m_bridge;

private slots:
    void initTestCase()
    {
        m_assembly = VtrLibrary::Load(BinDir() + QStringLiteral("/VTRAssemblyRulesu.so"));
        QVERIFY2(m_assembly, qPrintable(VtrLibrary::LastError()));
        m_assemblyLaunch = reinterpret_cast<PFN_LaunchFastenerDatabaseDlg>(
            VtrLibrary::Find(m_assembly, ModuleExports::kLaunchFastenerDatabaseDlg));
        QVERIFY(m_assemblyLaunch);
        m_bridge = CExternalEditors::LoadMaterialEditors();
        QVERIFY(m_bridge.launchProcessMap && m_bridge.launchProperties && m_bridge.launchThreadData);
    }

    void cancelDropsEditsAndOkStoresThem_data()
    {
        QTest::addColumn<int>("index");
        const QList<EditorCase> cases = Cases();
        for (int i = 0; i < cases.size(); ++i)
            QTest::newRow(cases[i].name) << i;
    }

    void cancelDropsEditsAndOkStoresThem()
    {
        QFETCH(int, index);
        const EditorCase c = Cases()[index];
        ScopedTestEnv env;
        // The process-wide collector opens the database of this test's folder.
        vtr_db::IDatabaseCollector* db = vtr_db::VTRDataHelper::getInstance()->GetCollector();
        QVERIFY(db);
        db->Release();

        bool left = false;
        const int before = EditAndLeave(c, QDialogButtonBox::Cancel, &left);
        QVERIFY(left);
        Seen seen = Reopen(c);
        QVERIFY(seen.opened);
        QCOMPARE(seen.rows, before);
        QVERIFY(!seen.newRowFound);
        QVERIFY(seen.firstRowEdit != c.editValue);

        left = false;
        QCOMPARE(EditAndLeave(c, QDialogButtonBox::Ok, &left), before);
        QVERIFY(left);
        db->Release(); // as the program does after an editor: reading again comes from the file
        seen = Reopen(c);
        QCOMPARE(seen.rows, before + 1);
        QVERIFY(seen.newRowFound);
        QCOMPARE(seen.firstRowEdit, c.editValue);
        if (!c.checkProcess.isEmpty())
            QVERIFY(seen.processTicked);
        db->Release();
    }

    void okWithAnIncompleteRowKeepsTheEditorOpen()
    {
        ScopedTestEnv env;
        vtr_db::IDatabaseCollector* db = vtr_db::VTRDataHelper::getInstance()->GetCollector();
        db->Release();
        QString status;
        bool stillOpen = false;
        int before = -1;
        WhenEditorOpens([&](QDialog* dialog) {
            QAbstractItemModel* model = TableOf(dialog)->model();
            before = model->rowCount();
            QTableView* table = TableOf(dialog);
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("addButton")), Qt::LeftButton);
            QWidget* editor = table->indexWidget(table->currentIndex());
            QVERIFY(editor);
            QTest::keyClick(editor, Qt::Key_Escape); // leave the new row empty
            Press(dialog, QDialogButtonBox::Ok);
            stillOpen = dialog->isVisible();
            status = StatusOf(dialog);
        });
        m_bridge.launchThreadData(nullptr);
        QVERIFY(stillOpen);
        QVERIFY2(status.contains(QStringLiteral("must not be empty")), qPrintable(status));
        db->Release();
        bool reopened = false;
        WhenEditorOpens([&](QDialog* dialog) {
            reopened = true;
            QCOMPARE(TableOf(dialog)->model()->rowCount(), before);
            dialog->reject();
        });
        m_bridge.launchThreadData(nullptr);
        QVERIFY(reopened);
        db->Release();
    }

    void editorsFitTheScreenAndOpenWhereTheyWereLeft()
    {
        ScopedTestEnv env;
        vtr_db::IDatabaseCollector* db = vtr_db::VTRDataHelper::getInstance()->GetCollector();
        db->Release();
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        const QList<EditorCase> cases = Cases();
        const EditorCase& map = cases[3];
        const EditorCase& thread = cases[1];
        QCOMPARE(QString::fromUtf8(map.name), QStringLiteral("material-process-map"));

        // The map wants more width than a small screen has: it opens fitted,
        // OK and Cancel in reach. The user then moves and resizes it.
        const QRect left(available.x() + 20, available.y() + 40, 500, 400);
        bool fitted = false;
        WhenEditorOpens([&](QDialog* dialog) {
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            QVERIFY2(dialog->width() <= available.width(), qPrintable(QString::number(dialog->width())));
            QVERIFY(dialog->height() <= available.height());
            auto* box = dialog->findChild<QDialogButtonBox*>();
            QVERIFY(box);
            for (QAbstractButton* button : box->buttons()) {
                const QRect inDialog(button->mapTo(dialog, QPoint(0, 0)), button->size());
                QVERIFY2(dialog->rect().contains(inDialog), qPrintable(button->text()));
            }
            fitted = true;
            dialog->setGeometry(left);
            QTRY_COMPARE(dialog->geometry(), left);
            dialog->reject();
        });
        map.launch();
        QVERIFY(fitted);

        // Opened again: where it was left. Another editor keeps its own place.
        QRect again;
        WhenEditorOpens([&](QDialog* dialog) {
            again = dialog->geometry();
            dialog->reject();
        });
        map.launch();
        QCOMPARE(again, left);
        QRect other;
        WhenEditorOpens([&](QDialog* dialog) {
            other = dialog->geometry();
            dialog->reject();
        });
        thread.launch();
        QVERIFY(other.size() != left.size());
        db->Release();
    }

    // Writes each editor's screenshot for the documentation when
    // VTRPRO_EDITOR_SCREENSHOTS names a folder.
    void screenshots()
    {
        const QString folder = qEnvironmentVariable("VTRPRO_EDITOR_SCREENSHOTS");
        if (folder.isEmpty())
            QSKIP("VTRPRO_EDITOR_SCREENSHOTS not set");
        ScopedTestEnv env;
        vtr_db::IDatabaseCollector* db = vtr_db::VTRDataHelper::getInstance()->GetCollector();
        db->Release();
        QDir().mkpath(folder);
        for (const EditorCase& c : Cases()) {
            bool saved = false;
            WhenEditorOpens([&](QDialog* dialog) {
                if (QString::fromUtf8(c.name) == QStringLiteral("material-property")) {
                    auto* filter = dialog->findChild<QLineEdit*>(QStringLiteral("filterEdit"));
                    filter->setText(QStringLiteral("steel"));
                }
                TableOf(dialog)->sortByColumn(0, Qt::AscendingOrder);
                QApplication::processEvents();
                saved = dialog->grab().save(folder + QLatin1Char('/') + QString::fromUtf8(c.name) + ".png");
                dialog->reject();
            });
            c.launch();
            QVERIFY2(saved, c.name);
        }
        db->Release();
    }
};

QTEST_MAIN(ProductEditorsTest)
#include "ProductEditorsTest.moc"
