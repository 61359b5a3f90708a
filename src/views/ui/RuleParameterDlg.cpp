#include "views/ui/RuleParameterDlg.h"

#include "VtrRule.h"
#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"
#include "views/RuleListModel.h"
#include "views/RuleParameters.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QBrush>
#include <QColor>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFont>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
// Marks a value that differs from the module's default.
const QColor kDiffers(255, 236, 153);

// The field an editable column holds, and the column of its default.
bool FieldOf(int column, ParameterField& field)
{
    switch (column) {
    case CRuleParameterDlg::ValueColumn:
        field = ParameterField::Value;
        return true;
    case CRuleParameterDlg::RecommendedColumn:
        field = ParameterField::Recommended;
        return true;
    case CRuleParameterDlg::AlertColumn:
        field = ParameterField::Alert;
        return true;
    default:
        return false;
    }
}

QTableWidgetItem* ReadOnlyItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}
} // namespace

CRuleParameterDlg::CRuleParameterDlg(RuleParameterEdit& edit, const CVtrRule& rule, QWidget* parent)
    : QDialog(parent)
    , m_edit(edit)
{
    setObjectName(QStringLiteral("ruleParameterDlg"));
    setWindowTitle(VtrString(637) + QStringLiteral(" - ") + rule.GetDisplayName());
    setModal(true);

    auto* name = new QLabel(rule.GetDisplayName(), this);
    name->setObjectName(QStringLiteral("ruleName"));
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    name->setFont(bold);
    auto* where = new QLabel(rule.GetRuleCategory() + QStringLiteral(" - ") + rule.GetRuleModuleName(), this);
    auto* summary = new QLabel(rule.GetSummary(), this);
    summary->setObjectName(QStringLiteral("ruleSummary"));
    summary->setWordWrap(true);

    m_criticality = new QComboBox(this);
    m_criticality->setObjectName(QStringLiteral("criticality"));
    for (int code = 1; code <= 5; ++code)
        m_criticality->addItem(RuleListModel::CriticalityWord(code), code);
    m_criticality->setCurrentIndex(m_criticality->findData(edit.Criticality()));
    m_criticalityDefault = new QLabel(this);
    auto* criticalityRow = new QHBoxLayout;
    criticalityRow->addWidget(m_criticality);
    criticalityRow->addWidget(m_criticalityDefault, 1);
    connect(m_criticality, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            m_edit.SetCriticality(m_criticality->itemData(index).toInt());
        ShowCriticalityDefault();
    });
    auto* form = new QFormLayout;
    form->addRow(VtrString(562) + QLatin1Char(':'), criticalityRow);

    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("parameters"));
    m_table->setColumnCount(ColumnCount);
    // Each default column names the value it is the module's default of.
    m_table->setHorizontalHeaderLabels({ QStringLiteral("Parameter"), QStringLiteral("Operator"),
        QStringLiteral("Unit"), QStringLiteral("Value"), QStringLiteral("Default\nvalue"),
        QStringLiteral("Recommended"), QStringLiteral("Default\nrecommended"), QStringLiteral("Alert"),
        QStringLiteral("Default\nalert") });
    for (int column : { DefaultValueColumn, DefaultRecommendedColumn, DefaultAlertColumn })
        m_table->horizontalHeaderItem(column)->setToolTip(
            QStringLiteral("The module's default of the column to the left, in the file's units"));
    m_table->verticalHeader()->hide();
    // The parameter names take what room is left, so every other column
    // stays in view beside the vertical scroll bar.
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_table->setEditTriggers(
        QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    connect(m_table, &QTableWidget::itemChanged, this, &CRuleParameterDlg::OnItemChanged);

    auto* legend = new QLabel(
        QStringLiteral("Values that differ from the module's default are marked. Lists take their values separated "
                       "by \";\"."),
        this);
    legend->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CRuleParameterDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CRuleParameterDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name);
    layout->addWidget(where);
    layout->addWidget(summary);
    layout->addLayout(form);
    layout->addWidget(m_table, 1);
    layout->addWidget(legend);
    layout->addWidget(buttons);

    Fill();
    ShowCriticalityDefault();
    resize(WidthForColumns(), 420);
}

int CRuleParameterDlg::WidthForColumns() const
{
    // Every column at the width of its contents, the vertical scroll bar
    // and the frames, within the screen the dialog opens on.
    int columns = 0;
    for (int c = 0; c < ColumnCount; ++c)
        if (!m_table->isColumnHidden(c))
            columns += c == NameColumn // stretched: its width is not its own
                ? m_nameWidth
                : m_table->columnWidth(c);
    const QMargins margins = layout() ? layout()->contentsMargins() : QMargins();
    const int wanted = columns + m_table->verticalScrollBar()->sizeHint().width() + 2 * m_table->frameWidth()
        + margins.left() + margins.right() + 8;
    int room = 1200;
    if (const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen())
        room = screen->availableGeometry().width() - 40;
    return std::max(std::min(wanted, room), std::min(900, room));
}

void CRuleParameterDlg::Fill()
{
    m_filling = true;
    m_table->setRowCount(m_edit.Count());
    bool anyRecommended = false;
    bool anyAlert = false;
    for (int row = 0; row < m_edit.Count(); ++row) {
        const RuleParameter& p = m_edit.At(row);
        m_table->setItem(row, NameColumn, ReadOnlyItem(p.key));
        m_table->setItem(row, OperatorColumn, ReadOnlyItem(p.op));
        m_table->setItem(row, UnitColumn, ReadOnlyItem(m_edit.UnitText(row)));
        anyRecommended = anyRecommended || p.hasRecommended;
        anyAlert = anyAlert || p.hasAlert;
        ShowRow(row);
    }
    m_table->setColumnHidden(RecommendedColumn, !anyRecommended);
    m_table->setColumnHidden(DefaultRecommendedColumn, !anyRecommended);
    m_table->setColumnHidden(AlertColumn, !anyAlert);
    m_table->setColumnHidden(DefaultAlertColumn, !anyAlert);
    m_table->resizeColumnsToContents();
    m_nameWidth = m_table->columnWidth(NameColumn);
    m_table->horizontalHeader()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    m_filling = false;
}

void CRuleParameterDlg::ShowRow(int row)
{
    // Items are updated in place: a change may arrive from inside the
    // item's own setData, which must not see it deleted.
    const bool wasFilling = std::exchange(m_filling, true);
    const RuleParameter& p = m_edit.At(row);
    for (int column : { ValueColumn, RecommendedColumn, AlertColumn }) {
        ParameterField field;
        FieldOf(column, field);
        QTableWidgetItem* item = m_table->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            m_table->setItem(row, column, item);
        }
        QTableWidgetItem* fallback = m_table->item(row, column + 1);
        if (!fallback) {
            fallback = ReadOnlyItem(QString());
            m_table->setItem(row, column + 1, fallback);
        }
        const bool has = m_edit.Has(row, field);
        const bool differs = has && m_edit.Differs(row, field);
        item->setText(Shown(m_edit.Text(row, field)));
        fallback->setText(has && p.hasDefault ? Shown(m_edit.DefaultText(row, field)) : QString());
        item->setFlags(has ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable : Qt::ItemIsEnabled);
        QFont font = m_table->font();
        font.setBold(differs);
        item->setFont(font);
        item->setBackground(differs ? QBrush(kDiffers) : QBrush());
        item->setData(Qt::UserRole, differs);
        QString tip;
        if (has) {
            tip = QStringLiteral("Value: %1\n").arg(m_edit.Text(row, field))
                + (p.hasDefault ? QStringLiteral("Module default: %1").arg(m_edit.DefaultText(row, field))
                                : QStringLiteral("The module's default is not known."));
            if (field == ParameterField::Value && p.values.size() > 1) {
                QStringList entries;
                for (qsizetype i = 0; i < p.values.size(); ++i)
                    entries << (p.valueLabels.value(i).isEmpty()
                            ? p.values[i]
                            : p.valueLabels[i] + QStringLiteral(": ") + p.values[i]);
                tip += QLatin1Char('\n') + entries.join(QLatin1Char('\n'));
            }
        }
        item->setToolTip(tip);
    }
    m_filling = wasFilling;
}

void CRuleParameterDlg::OnItemChanged(QTableWidgetItem* item)
{
    ParameterField field;
    if (m_filling || !item || !FieldOf(item->column(), field))
        return;
    const int row = item->row();
    QString error;
    // An edit that leaves the shown text as it was keeps the full value.
    const bool refused
        = item->text() != Shown(m_edit.Text(row, field)) && !m_edit.SetText(row, field, item->text(), error);
    if (refused)
        ShowMessage(error, QStringLiteral("VTRPro"), MsgIcon::Warning, MsgButtons::Ok);
    // The cell shows what the session holds: the new value, written
    // plainly, or the previous one after a refusal.
    ShowRow(row);
    if (refused) {
        // The message took the focus and the cell's editor is closing:
        // once it has closed, the refused cell gets the keyboard back so
        // that the correction can be typed at once.
        const int column = item->column();
        QMetaObject::invokeMethod(
            this,
            [this, row, column] {
                m_table->setCurrentCell(row, column);
                m_table->setFocus(Qt::OtherFocusReason);
            },
            Qt::QueuedConnection);
    }
}

QString CRuleParameterDlg::Shown(const QString& text)
{
    QStringList parts = text.split(QLatin1Char(';'));
    for (QString& part : parts) {
        bool ok = false;
        const double v = part.toDouble(&ok);
        if (!ok || !std::isfinite(v))
            continue;
        // Six significant digits, but every digit before the point: what is
        // stored keeps all its digits unless the cell is edited.
        const double magnitude = std::fabs(v);
        const int whole = magnitude >= 1 ? static_cast<int>(std::floor(std::log10(magnitude))) + 1 : 1;
        part = QString::number(v, 'g', std::clamp(whole, 6, 17));
    }
    return parts.join(QLatin1Char(';'));
}

void CRuleParameterDlg::ShowCriticalityDefault()
{
    const int32_t fallback = m_edit.DefaultCriticality();
    if (fallback < 1 || fallback > 5) {
        m_criticalityDefault->setText(QString());
        return;
    }
    const bool differs = fallback != m_edit.Criticality();
    m_criticalityDefault->setText(
        QStringLiteral("Default: %1%2")
            .arg(RuleListModel::CriticalityWord(fallback), differs ? QStringLiteral("  (changed)") : QString()));
    QFont font = m_criticalityDefault->font();
    font.setBold(differs);
    m_criticalityDefault->setFont(font);
}

void CRuleParameterDlg::accept()
{
    // A cell still being edited hands its text over first.
    m_table->setFocus();
    if (QWidget* editor = m_table->focusWidget(); editor && editor != m_table)
        editor->clearFocus();
    QDialog::accept();
}
