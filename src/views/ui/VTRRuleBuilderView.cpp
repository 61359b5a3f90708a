#include "views/ui/VTRRuleBuilderView.h"

#include "PLQSettingUtil.h"
#include "VtrRule.h"
#include "VTRDataHelper.h"
#include "app/AppContext.h"
#include "custommsg/CustomMessageRows.h"
#include "custommsg/CustomMessageStore.h"
#include "custommsg/CustomMessageTransfer.h"
#include "custommsg/ui/VTRCustomMsgErrorDlg.h"
#include "custommsg/ui/VTRCustomMsgWarningDlg.h"
#include "Utilities/FileOpener.h"
#include "document/RulePassword.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/ResetToDefault.h"
#include "views/DocumentComparison.h"
#include "views/RuleDefaultsMarks.h"
#include "views/RuleConfigurer.h"
#include "views/RuleListController.h"
#include "views/ui/RuleCompareWindow.h"
#include "views/ui/RuleFilterBar.h"
#include "views/ui/RuleSettingsOwners.h"
#include "views/ui/VTRRMListCtrlEx.h"
#include "views/ui/VTRResetToDefaultWarning.h"
#include "Utilities/FileDialogService.h"
#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"

#include <algorithm>
#include <cstdlib>

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QResizeEvent>
#include <QShortcut>
#include <QTemporaryDir>

CVTRRuleBuilderView::CVTRRuleBuilderView(CVTRRuleBuilderDoc* doc, QWidget* parent)
    : CVTRRuleBuilderView(doc, nullptr, parent)
{ }

CVTRRuleBuilderView::CVTRRuleBuilderView(
    CVTRRuleBuilderDoc* doc, std::unique_ptr<IModuleRuleSource> source, QWidget* parent)
    : QWidget(parent)
    , m_doc(doc)
    , m_controller(std::make_unique<RuleListController>(doc, std::move(source)))
{
    Init();
}

CVTRRuleBuilderView::~CVTRRuleBuilderView()
{
    if (m_doc)
        m_doc->RemoveView(this);
}

void CVTRRuleBuilderView::Init()
{
    CPLQSettingUtil::InitializePLQSettingsFromFile();
    m_usage = std::make_unique<UsageHook>();
    m_list = new CVTRRMListCtrlEx(this);
    m_label = new QLabel(VtrString(565), this);
    m_summary = new QListWidget(this);
    m_summary->setObjectName(QStringLiteral("summaryPane"));
    m_summary->setSelectionMode(QAbstractItemView::NoSelection);
    // The lines follow the pane's own size, whenever it takes effect: a pane
    // resized while its window is hidden learns its size only when shown.
    m_summary->installEventFilter(this);
    m_list->setModel(m_controller->Model());
    m_filterBar = new CRuleFilterBar(this);
    connect(m_filterBar, &CRuleFilterBar::FilterChanged, this, [this](const RuleListFilter& filter) {
        m_controller->SetFilter(filter);
        ShowFilterCount();
    });
    // Ctrl+F is the search dialog's; the bar takes the key beside it.
    auto* filterKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), this);
    filterKey->setObjectName(QStringLiteral("filterShortcut"));
    filterKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(filterKey, &QShortcut::activated, m_filterBar, &CRuleFilterBar::FocusText);
    m_marker = new RuleDefaultsMarker(this);
    connect(m_marker, &RuleDefaultsMarker::Found, this, [this](const QHash<QString, QStringList>& found, bool loaded) {
        if (loaded)
            m_controller->SetDiffering(DifferingListedRules(*m_controller, found));
    });

    connect(m_list, &CVTRRMListCtrlEx::ColumnClicked, this, [this](int column) {
        m_controller->SortByColumn(column);
        ShowSortIndicator();
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &CVTRRuleBuilderView::OnSelectionChanged);
    connect(
        m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
            if (current.isValid())
                m_list->scrollTo(current);
        });
    connect(m_list, &CVTRRMListCtrlEx::CellDoubleClicked, this, &CVTRRuleBuilderView::OnDoubleClick);
    connect(m_list, &CVTRRMListCtrlEx::PasswordRequested, this, &CVTRRuleBuilderView::OnPassword);
    connect(m_list, &CVTRRMListCtrlEx::ConfigureRequested, this, &CVTRRuleBuilderView::OnConfigureRule);
    connect(m_list, &CVTRRMListCtrlEx::ResetRequested, this, &CVTRRuleBuilderView::OnResetToDefault);
    connect(m_list, &CVTRRMListCtrlEx::CompareRequested, this, &CVTRRuleBuilderView::OnCompareWith);
    connect(m_list, &CVTRRMListCtrlEx::HelpRequested, this, [this] {
        if (const int helpId = SelectedRuleHelpId())
            emit RuleHelpRequested(helpId);
    });
    m_list->SetResetEnabler([this] { return ResetToDefaultEnabled(); });
    m_list->SetMessageCommitter(
        [this](int row, const QString& oldMessage, const QString& text) { CommitMessage(row, oldMessage, text); });
    m_controller->onStatusChanged = [this](const QString& text) {
        ShowFilterCount();
        emit StatusTextChanged(text);
    };
    m_owners = std::make_unique<CRuleSettingsOwners>(this);
    m_configurer = std::make_unique<RuleConfigurer>(*m_controller, *m_owners, [](int flag) {
        if (AppContext* app = AppContext::Instance())
            app->SetEditInProgress(flag);
    });
    if (m_doc)
        m_doc->AddView(this);
}

void CVTRRuleBuilderView::OnInitialUpdate()
{
    if (!m_doc)
        return;
    static const int kWidths[] = { 100, 500, 100, 100, 350 };
    for (int c = 0; c < 5; ++c)
        m_list->setColumnWidth(c, kWidths[c]);
    m_controller->InitialUpdate();
    if (const CVtrRule* selected = m_controller->LastSelectedRule()) {
        // The fill reported it before the sort moved it; find its row once.
        const auto& rows = m_controller->Model()->Rows();
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].rule == selected) {
                m_list->selectionModel()->setCurrentIndex(m_controller->Model()->index(static_cast<int>(i), 0),
                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                break;
            }
        }
    }
    m_list->FitColumnsToSample();
    ShowSortIndicator();
    resizeEvent(nullptr);
    RefreshSummary();
    m_filterBar->SetModules(m_controller->ModuleNames());
    ShowFilterCount();
    RefreshDefaultsMarks();
}

void CVTRRuleBuilderView::ShowFilterCount()
{
    if (m_filterBar)
        m_filterBar->SetCountText(m_controller->FilterCountText());
}

void CVTRRuleBuilderView::RefreshDefaultsMarks()
{
    AppContext* app = AppContext::Instance();
    const QString defaults = app ? app->LastAllRulesFile() : QString();
    if (!m_doc || defaults.isEmpty())
        return;
    if (!m_marksDir)
        m_marksDir = std::make_unique<QTemporaryDir>();
    if (!m_marksDir->isValid())
        return;
    // Written here, where the rules live; read and compared on the worker,
    // which removes the file once read.
    const QString listed = m_marksDir->filePath(QStringLiteral("listed-%1.vtr").arg(++m_marksRun));
    if (WriteListedRulesForMarks(*m_controller, listed))
        m_marker->Start(listed, defaults, true);
}

void CVTRRuleBuilderView::OnActivated()
{
    if (AppContext* app = AppContext::Instance())
        app->SetConfigureRuleEnabled(m_list->SelectedRows().size() == 1);
    // The status bar is shared by every document window.
    m_controller->RefreshStatus();
}

void CVTRRuleBuilderView::OnUpdate(int hint)
{
    m_controller->OnUpdate(hint);
    if (hint == 1 || hint == 9)
        m_list->FitColumnsToSample();
    if (hint == 1)
        ShowSortIndicator();
    if (hint == 1 || hint == 3 || hint == 4 || hint == 9)
        RefreshSummary();
    if (hint == 1)
        m_filterBar->SetModules(m_controller->ModuleNames());
    // A reload, a units change or a configured rule: the marks follow.
    if (hint == 1 || hint == 3 || hint == 4)
        RefreshDefaultsMarks();
}

int CVTRRuleBuilderView::SelectedRuleHelpId() const
{
    const QModelIndex current = m_list->currentIndex();
    int row = -1;
    if (current.isValid() && m_list->selectionModel()->isRowSelected(current.row(), QModelIndex()))
        row = current.row();
    else if (const QList<int> rows = m_list->SelectedRows(); !rows.isEmpty())
        row = rows.first();
    const CVtrRule* rule = row >= 0 ? m_controller->Model()->RuleAt(row) : nullptr;
    return rule ? rule->GetHelpId() : 0;
}

QList<CVtrRule*> CVTRRuleBuilderView::ListedRules() const
{
    return m_controller->ListedRules();
}

void CVTRRuleBuilderView::ClearRows()
{
    m_summary->clear();
    m_controller->ClearAll();
}

void CVTRRuleBuilderView::Search(const QString& text)
{
    if (!m_doc)
        return;
    m_controller->Search(text);
    if (m_controller->Model()->RowCount() > 0)
        m_list->scrollTo(m_controller->Model()->index(0, 0));
    m_list->setFocus();
    m_list->FitColumnsToSample();
    RefreshSummary();
}

QString CVTRRuleBuilderView::StatusText() const
{
    return m_controller->StatusText();
}

void CVTRRuleBuilderView::OnSelectionChanged()
{
    const QModelIndex current = m_list->currentIndex();
    const int count = static_cast<int>(m_list->selectionModel()->selectedRows().size());
    m_controller->OnSelectionChanged(count, current.isValid() ? current.row() : -1);
    RefreshSummary();
}

void CVTRRuleBuilderView::RefreshSummary()
{
    m_summary->clear();
    const QList<int> rows = m_list->SelectedRows();
    if (rows.size() != 1)
        return;
    const CVtrRule* rule = m_controller->Model()->RuleAt(rows.first());
    if (!rule)
        return;
    const QString text = rule->GetSummary();
    // The pane's own width, which holds as soon as it is laid out (its
    // viewport follows only when the pane is shown).
    const int columnWidth = m_summary->width() - 20;
    const int textWidth = m_summary->fontMetrics().horizontalAdvance(text);
    for (const QString& line : SplitSummary(text, columnWidth, textWidth))
        m_summary->addItem(line);
}

void CVTRRuleBuilderView::ShowSortIndicator()
{
    const int state = m_controller->SortState();
    QHeaderView* header = m_list->horizontalHeader();
    if (state == 0) {
        header->setSortIndicator(-1, Qt::AscendingOrder);
        return;
    }
    header->setSortIndicator(std::abs(state) - 1, state > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CVTRRuleBuilderView::OnDoubleClick(int row, int column)
{
    // Without a connected database the double click configures, as elsewhere.
    if (column == RuleListModel::CustomMessageColumn
        && CustomMessageStore::CanEdit(vtr_db::VTRDataHelper::getInstance()->GetCollector())) {
        m_list->StartMessageEdit(row);
        return;
    }
    if (m_list->SelectedRows().size() > 1)
        return;
    ConfigureRow(row);
}

bool CVTRRuleBuilderView::ConfirmCentralDatabase()
{
    AppContext* app = AppContext::Instance();
    bool on = app ? app->CentralDatabaseWarning() : true;
    const bool confirmed = CustomMessageStore::ConfirmCentralDatabase(on, [this, app] {
        if (m_messageWarning)
            return m_messageWarning();
        CVTRCustomMsgWarningDlg warning(app ? app->HelpFilePath() : QString(), this);
        return warning.exec() == QDialog::Accepted;
    });
    if (app)
        app->SetCentralDatabaseWarning(on);
    return confirmed;
}

void CVTRRuleBuilderView::CommitMessage(int row, const QString& oldMessage, const QString& text)
{
    ModelMessageRows rows(*m_controller->Model());
    CustomMessageServices services;
    services.database = vtr_db::VTRDataHelper::getInstance()->GetCollector();
    services.confirm = [this] { return ConfirmCentralDatabase(); };
    services.trackEvent
        = [this](int32_t value, int32_t kind, const QString& name) { m_list->Usage().Send(value, kind, name); };
    CustomMessageStore::CommitEdit(rows, row, oldMessage, text, services);
}

void CVTRRuleBuilderView::OnExportCustomMessage()
{
    if (!m_doc)
        return;
    QString path;
    // Overwriting asks first; a new file must be allowed, so "must exist" is left out.
    const unsigned flags = FileDialogFlags::kOverwritePrompt | FileDialogFlags::kHideReadOnly;
    // No folder given: the dialog starts in the last folder used, else the documents folder.
    if (GetFileDialogService()->AskPath(false, QString(), VtrString(116), QString(), QLatin1String(CustomMessageTransfer::kExportName), flags,
            QLatin1String(CustomMessageTransfer::kExportFilter), path)
        != 1)
        return;
    const ModelMessageRows rows(*m_controller->Model());
    // The sheet is written; a desktop that cannot show it is said, with where it is.
    if (CustomMessageTransfer::Export(path, rows))
        OpenWithFileOpenerOrSay(path);
}

void CVTRRuleBuilderView::OnImportCustomMessage()
{
    if (!m_doc)
        return;
    QString path;
    const unsigned flags = FileDialogFlags::kFileMustExist | FileDialogFlags::kHideReadOnly;
    if (GetFileDialogService()->AskPath(true, QString(), QString(),
            QLatin1String(CustomMessageTransfer::kImportExtension), QString(), flags,
            QLatin1String(CustomMessageTransfer::kImportFilter), path)
            != 1
        || path.isEmpty())
        return;
    ModelMessageRows rows(*m_controller->Model());
    CustomMessageServices services;
    services.database = vtr_db::VTRDataHelper::getInstance()->GetCollector();
    services.confirm = [this] { return ConfirmCentralDatabase(); };
    services.trackEvent
        = [this](int32_t value, int32_t kind, const QString& name) { m_usage->Send(value, kind, name); };
    services.endEditing = [this] { m_list->EndMessageEdit(); };
    const CustomMessageTransfer::ImportResult result
        = CustomMessageTransfer::Import(path, rows, services, QDir::tempPath());
    if (!result.AnyFlag())
        return;
    if (m_messageErrors) {
        m_messageErrors(result.logPath);
        return;
    }
    AppContext* app = AppContext::Instance();
    CVTRCustomMsgErrorDlg errors(result.logPath, app ? app->HelpFilePath() : QString(), this);
    errors.exec();
}

void CVTRRuleBuilderView::OnConfigureRule()
{
    const QList<int> rows = m_list->SelectedRows();
    if (!m_doc || rows.isEmpty())
        return;
    ConfigureRow(rows.first());
}

void CVTRRuleBuilderView::ConfigureRow(int row)
{
    m_configurer->ConfigureRow(row);
    m_list->setFocus();
    RefreshSummary();
}

QList<CVtrRule*> CVTRRuleBuilderView::SelectedRules() const
{
    QList<CVtrRule*> rules;
    for (int row : m_list->SelectedRows())
        if (CVtrRule* rule = m_controller->Model()->RuleAt(row))
            rules.append(rule);
    return rules;
}

bool CVTRRuleBuilderView::ResetToDefaultEnabled()
{
    AppContext* app = AppContext::Instance();
    if (!m_doc || !app)
        return false;
    return MarkRulesThatDiffer(m_doc->GetPathName(), app->LastAllRulesFile(), SelectedRules());
}

bool CVTRRuleBuilderView::OnResetToDefault()
{
    AppContext* app = AppContext::Instance();
    const QList<int> rows = m_list->SelectedRows();
    if (!m_doc || !app || rows.isEmpty())
        return false;
    if (!m_resetQuestion) {
        CVTRResetToDefaultWarning warning(app->HelpFilePath(), this);
        if (warning.exec() != QDialog::Accepted)
            return false;
    } else if (!m_resetQuestion()) {
        return false;
    }
    // The criticality column is rewritten; it keeps the width the user gave it.
    const int width = m_list->columnWidth(RuleListModel::CriticalityColumn);
    const bool done = ResetRulesToDefault(*m_controller, rows, app->LastAllRulesFile()) >= 0;
    m_list->setColumnWidth(RuleListModel::CriticalityColumn, width);
    RefreshSummary();
    if (done)
        RefreshDefaultsMarks();
    return done;
}

void CVTRRuleBuilderView::OnCompareWith()
{
    if (!m_doc)
        return;
    QString path;
    const unsigned flags = FileDialogFlags::kFileMustExist | FileDialogFlags::kHideReadOnly;
    if (GetFileDialogService()->AskPath(true, QString(), QStringLiteral("Compare with"), QStringLiteral("vtr"),
            QString(), flags, QStringLiteral("Rule files (*.vtr);;All files (*)"), path)
            != 1
        || path.isEmpty())
        return;
    if (CRuleCompareWindow* window = CompareWith(path))
        window->show();
}

CRuleCompareWindow* CVTRRuleBuilderView::CompareWith(const QString& path)
{
    if (!m_doc)
        return nullptr;
    RuleFileComparison comparison;
    QString error;
    if (!CompareDocumentWithFile(*m_doc, path, comparison, error)) {
        ShowMessage(error, VtrString(StrId::DocCaption), MsgIcon::Warning, MsgButtons::Ok);
        return nullptr;
    }
    QString thisName = m_doc->GetPathName().isEmpty() ? m_doc->GetTitle() : m_doc->GetPathName();
    // What is compared is the document as it stands, not its file.
    if (m_doc->IsModified())
        thisName += QStringLiteral(" (with unsaved changes)");
    auto* window = new CRuleCompareWindow(thisName, path, std::move(comparison), this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowFlag(Qt::Window);
    connect(window, &CRuleCompareWindow::RuleActivated, this, [this](const QString& owner) { ShowRule(owner); });
    return window;
}

bool CVTRRuleBuilderView::ShowRule(const QString& owner)
{
    // One command, one pass over the rows.
    auto rowOf = [this, &owner] {
        const RuleListModel* model = m_controller->Model();
        for (int r = 0; r < model->RowCount(); ++r) {
            const CVtrRule* rule = model->RuleAt(r);
            const QString& category = rule->GetRuleCategory();
            const QString& name = rule->GetRuleName();
            if (owner.size() == category.size() + 1 + name.size() && owner.startsWith(category)
                && owner.at(category.size()) == QLatin1Char('/') && owner.endsWith(name))
                return r;
        }
        return -1;
    };
    int row = rowOf();
    if (row < 0 && (!m_controller->Filter().IsEmpty() || m_controller->SearchActive())) {
        m_filterBar->Clear();
        m_controller->SetFilter(RuleListFilter {});
        if (m_controller->SearchActive())
            m_controller->ClearSearch();
        ShowFilterCount();
        row = rowOf();
    }
    if (row < 0)
        return false;
    const QModelIndex index = m_controller->Model()->index(row, 0);
    m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->scrollTo(index);
    window()->raise();
    window()->activateWindow();
    m_list->setFocus();
    return true;
}

void CVTRRuleBuilderView::OnPassword()
{
    if (!m_doc || m_doc->IsPasswordProtected())
        return;
    QString typed;
    if (!AskNewPassword(typed))
        return;
    m_doc->SetConfirmedPassword(typed);
    m_doc->DoFileSave();
}

void CVTRRuleBuilderView::resizeEvent(QResizeEvent* event)
{
    if (event)
        QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    const int listWidth = std::max(0, w - 20);
    const int barHeight = m_filterBar->sizeHint().height();
    m_filterBar->setGeometry(10, 6, listWidth, barHeight);
    const int listTop = 6 + barHeight + 4;
    m_list->setGeometry(10, listTop, listWidth, std::max(0, h * 3 / 4 - listTop));
    const int labelY = 10 + h * 3 / 4;
    m_label->setGeometry(10, labelY, listWidth, m_label->sizeHint().height());
    m_summary->setGeometry(10, labelY + m_label->sizeHint().height() + 5, listWidth, std::max(0, h / 4 - 40));
    // A share of the width each, but never narrower than their texts.
    for (int c = 1; c <= 3; ++c)
        m_list->setColumnWidth(c, std::max(listWidth * 15 / 100, m_list->FittedWidth(c)));
}

bool CVTRRuleBuilderView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_summary && event->type() == QEvent::Resize)
        RefreshSummary();
    return QWidget::eventFilter(watched, event);
}
