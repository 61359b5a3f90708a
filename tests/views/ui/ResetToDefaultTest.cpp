// Reset to Default in the rule list view: the context menu offers it only
// for rules saved with settings other than their defaults, the question
// comes first, and the reset gives the rule its defaults back.

#include "TestSupport.h"

#include "VtrRule.h"
#include "app/AppContext.h"
#include "document/VTRRuleBuilderDoc.h"
#include "modules/ModuleLists.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"
#include "views/ui/VTRRMListCtrlEx.h"
#include "views/ui/VTRResetToDefaultWarning.h"
#include "views/ui/VTRRuleBuilderView.h"

#include <memory>

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

namespace {
constexpr char kRule[] = "Hole Depth to Diameter Ratio";
constexpr char kCategory[] = "Drilling";
}

class ResetToDefaultTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScopedTestEnv> m_env;
    std::unique_ptr<ScriptedMessages> m_messages;
    std::unique_ptr<AppContext> m_app;

    struct Open
    {
        std::unique_ptr<CVTRRuleBuilderDoc> doc;
        std::unique_ptr<CVTRRuleBuilderView> view;
        ~Open()
        {
            if (doc)
                doc->OnCloseDocument();
            view.reset();
        }
    };
    std::unique_ptr<Open> View(const QString& path)
    {
        auto o = std::make_unique<Open>();
        o->doc = std::make_unique<CVTRRuleBuilderDoc>();
        if (path.isEmpty())
            o->doc->OnNewDocument();
        else if (!o->doc->OnOpenDocument(path))
            return nullptr;
        o->view = std::make_unique<CVTRRuleBuilderView>(o->doc.get(), nullptr);
        o->view->resize(1000, 700);
        o->view->show();
        o->view->OnInitialUpdate();
        return o;
    }
    static int RowOf(CVTRRuleBuilderView* view, const char* name)
    {
        RuleListModel* model = view->Controller()->Model();
        for (int r = 0; r < model->RowCount(); ++r)
            if (model->RuleAt(r)->GetRuleName() == QLatin1String(name)
                && model->RuleAt(r)->GetRuleCategory() == QLatin1String(kCategory))
                return r;
        return -1;
    }
    static void Select(CVTRRuleBuilderView* view, int row)
    {
        view->ListCtrl()->selectionModel()->setCurrentIndex(view->Controller()->Model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    // Whether the context menu offers "Reset to Default" for the selection.
    static bool MenuOffersReset(CVTRRMListCtrlEx* list)
    {
        bool seen = false;
        bool enabled = false;
        QTimer::singleShot(0, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                // Configure, Reset, a separator and Compare with….
                seen = menu->actions().size() == 4;
                enabled = seen && menu->actions()[1]->isEnabled();
                menu->close();
            }
        });
        const QPoint at = list->visualRect(list->currentIndex()).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &event);
        return seen && enabled;
    }
    // A file holding the rule ticked, saved with its first value changed.
    QString ChangedFile()
    {
        const QString path = m_env->Path(QStringLiteral("changed.vtr"));
        {
            auto o = View(QString());
            const int row = RowOf(o->view.get(), kRule);
            if (row < 0 || !o->view->Controller()->SetChecked(row, true) || !o->doc->OnSaveDocument(path))
                return {};
        }
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QByteArray text = f.readAll();
        f.close();
        const qsizetype rule = text.indexOf(QByteArray("Name=\"") + kRule + "\"");
        const qsizetype open = text.indexOf('>', text.indexOf("<Value", rule)) + 1;
        text.replace(open, text.indexOf("</Value>", open) - open, "42");
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(text);
        return path;
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<ScopedTestEnv>();
        m_messages = std::make_unique<ScriptedMessages>();
        m_app = std::make_unique<AppContext>();
        LoadAllModules(m_app->Modules());
        QVERIFY(m_app->Modules().loadedRuleModules.GetSize() > 0);
    }
    void cleanupTestCase()
    {
        UnloadAllModules(m_app->Modules());
        m_app.reset();
    }

    void theMenuOffersResetOnlyForARuleThatDiffers()
    {
        const QString path = ChangedFile();
        QVERIFY(!path.isEmpty());
        auto o = View(path);
        QVERIFY(o);
        CVTRRMListCtrlEx* list = o->view->ListCtrl();
        const int changed = RowOf(o->view.get(), kRule);
        QVERIFY(changed >= 0);
        Select(o->view.get(), changed);
        QVERIFY(MenuOffersReset(list));
        QCOMPARE(o->view->Controller()->Model()->RuleAt(changed)->GetDiffersFromDefault(), 1);
        // A rule the file does not hold is never compared.
        Select(o->view.get(), changed == 0 ? 1 : 0);
        QVERIFY(!MenuOffersReset(list));
        // A new document has no saved file to compare.
        auto fresh = View(QString());
        Select(fresh->view.get(), 0);
        QVERIFY(!MenuOffersReset(fresh->view->ListCtrl()));
    }

    void resetAsksFirstThenRestoresTheDefaults()
    {
        const QString path = ChangedFile();
        auto o = View(path);
        QVERIFY(o);
        const int row = RowOf(o->view.get(), kRule);
        Select(o->view.get(), row);
        QVERIFY(o->view->ResetToDefaultEnabled());
        CVtrRule* rule = o->view->Controller()->Model()->RuleAt(row);
        const QString modulePath = rule->GetModulePath();
        CVTRRMListCtrlEx* list = o->view->ListCtrl();
        list->setColumnWidth(RuleListModel::CriticalityColumn, 137);

        o->view->SetResetQuestion([] { return false; });
        QVERIFY(!o->view->OnResetToDefault());
        QVERIFY(!o->doc->IsModified());
        QCOMPARE(rule->GetDiffersFromDefault(), 1);

        o->view->SetResetQuestion([] { return true; });
        QVERIFY(o->view->OnResetToDefault());
        QVERIFY(o->doc->IsModified());
        QCOMPARE(rule->GetDiffersFromDefault(), 0);
        QCOMPARE(rule->GetModulePath(), modulePath);
        QVERIFY(o->view->Controller()->Model()->IsChecked(row));
        QCOMPARE(list->columnWidth(RuleListModel::CriticalityColumn), 137);
        // Saved, the file holds the defaults again.
        QVERIFY(o->doc->OnSaveDocument(path));
        QVERIFY(!o->view->ResetToDefaultEnabled());
    }

    void theWarningAsksWithYesAndNoAndOffersHelp()
    {
        CVTRResetToDefaultWarning warning(BinDir() + QStringLiteral("/res/english/vtrpro.chm"));
        QCOMPARE(warning.windowTitle(), QStringLiteral("VTRPro"));
        QCOMPARE(warning.Text()->text(), QStringLiteral("Do you want to restore default values?"));
        QVERIFY(warning.NoButton()->isDefault());
        QTimer::singleShot(0, &warning, [&] { warning.YesButton()->click(); });
        QCOMPARE(warning.exec(), int(QDialog::Accepted));
        QTimer::singleShot(0, &warning, [&] { warning.NoButton()->click(); });
        QCOMPARE(warning.exec(), int(QDialog::Rejected));
        QVERIFY(QFileInfo::exists(BinDir() + QStringLiteral("/res/english/vtrpro/8010.html")));
        QVERIFY(warning.ShowHelp());
        CVTRResetToDefaultWarning noHelp { QString() };
        QVERIFY(!noHelp.ShowHelp());
    }
};

QTEST_MAIN(ResetToDefaultTest)
#include "ResetToDefaultTest.moc"
