#include "views/ui/RuleCompareWindow.h"

#include "views/DocumentComparison.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

CRuleCompareWindow::CRuleCompareWindow(
    const QString& thisName, const QString& otherPath, RuleFileComparison comparison, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ruleCompareWindow"));
    setWindowTitle(QStringLiteral("Compare %1 with %2").arg(thisName, QFileInfo(otherPath).fileName()));
    setModal(false);
    resize(900, 500);

    m_model = new ComparisonModel(this);
    m_model->SetComparison(std::move(comparison));
    m_sorted = new QSortFilterProxyModel(this);
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_sorted->setSortLocaleAware(true);

    m_count = new QLabel(m_model->Comparison().Same() ? QStringLiteral("Same rules and settings")
                                                      : ComparisonCountText(m_model->Comparison()),
        this);
    m_count->setObjectName(QStringLiteral("compareCounts"));
    auto* paths = new QLabel(QStringLiteral("This file: %1\nThe other file: %2").arg(thisName, otherPath), this);
    paths->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("compareTable"));
    m_table->setModel(m_sorted);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(ComparisonModel::RuleColumn, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(ComparisonModel::RuleColumn, 300);
    m_table->setColumnWidth(ComparisonModel::SettingColumn, 250);
    m_table->setColumnWidth(ComparisonModel::HereColumn, 150);
    // Double click and Enter both activate.
    connect(m_table, &QTableView::activated, this, [this](const QModelIndex& index) {
        const QString owner
            = ComparedRuleOwner(m_model->Text(m_sorted->mapToSource(index).row(), ComparisonModel::RuleColumn));
        if (!owner.isEmpty())
            emit RuleActivated(owner);
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_count);
    layout->addWidget(paths);
    layout->addWidget(m_table, 1);
    layout->addWidget(buttons);
}

QString CRuleCompareWindow::ShownText(int row, int column) const
{
    return m_sorted->index(row, column).data().toString();
}
