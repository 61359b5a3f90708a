#include "views/ui/RuleFilterBar.h"

#include "views/RuleListModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

CRuleFilterBar::CRuleFilterBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ruleFilterBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("filterText"));
    m_text->setPlaceholderText(QStringLiteral("Filter rules, categories, modules, messages (Ctrl+Shift+F)"));
    m_text->setClearButtonEnabled(true);
    m_text->setToolTip(QStringLiteral("Keeps the rules whose name, category, module or custom message contains the "
                                      "text; Escape clears the filter"));

    m_criticality = new QComboBox(this);
    m_criticality->setObjectName(QStringLiteral("filterCriticality"));
    m_criticality->addItem(QStringLiteral("Any criticality"), 0);
    for (int code = 1; code <= 5; ++code)
        m_criticality->addItem(RuleListModel::CriticalityWord(code), code);

    m_module = new QComboBox(this);
    m_module->setObjectName(QStringLiteral("filterModule"));
    m_module->addItem(QStringLiteral("Any module"), QString());
    m_module->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    m_ticked = new QCheckBox(QStringLiteral("&Ticked only"), this);
    m_ticked->setObjectName(QStringLiteral("filterTicked"));
    m_differs = new QCheckBox(QStringLiteral("&Differs from defaults"), this);
    m_differs->setObjectName(QStringLiteral("filterDiffers"));
    m_differs->setToolTip(QStringLiteral("Only the rules whose settings differ from their module's defaults"));

    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("filterCount"));

    layout->addWidget(m_text, 1);
    layout->addWidget(m_criticality);
    layout->addWidget(m_module);
    layout->addWidget(m_ticked);
    layout->addWidget(m_differs);
    layout->addWidget(m_count);

    connect(m_text, &QLineEdit::textChanged, this, &CRuleFilterBar::Changed);
    connect(m_criticality, &QComboBox::currentIndexChanged, this, &CRuleFilterBar::Changed);
    connect(m_module, &QComboBox::currentIndexChanged, this, &CRuleFilterBar::Changed);
    connect(m_ticked, &QCheckBox::toggled, this, &CRuleFilterBar::Changed);
    connect(m_differs, &QCheckBox::toggled, this, &CRuleFilterBar::Changed);
    // Escape clears from any part of the bar.
    for (QWidget* part : { static_cast<QWidget*>(m_text), static_cast<QWidget*>(m_criticality),
             static_cast<QWidget*>(m_module), static_cast<QWidget*>(m_ticked), static_cast<QWidget*>(m_differs) })
        part->installEventFilter(this);
}

RuleListFilter CRuleFilterBar::Filter() const
{
    RuleListFilter filter;
    filter.text = m_text->text().trimmed();
    filter.criticality = m_criticality->currentData().toInt();
    filter.module = m_module->currentData().toString();
    filter.tickedOnly = m_ticked->isChecked();
    filter.differsOnly = m_differs->isChecked();
    return filter;
}

void CRuleFilterBar::Clear()
{
    m_quiet = true;
    m_text->clear();
    m_criticality->setCurrentIndex(0);
    m_module->setCurrentIndex(0);
    m_ticked->setChecked(false);
    m_differs->setChecked(false);
    m_quiet = false;
    Changed();
}

void CRuleFilterBar::SetModules(const QStringList& modules)
{
    const QString chosen = m_module->currentData().toString();
    m_quiet = true;
    while (m_module->count() > 1)
        m_module->removeItem(1);
    for (const QString& module : modules)
        m_module->addItem(module, module);
    const int at = chosen.isEmpty() ? 0 : m_module->findData(chosen);
    m_module->setCurrentIndex(at < 0 ? 0 : at);
    m_quiet = false;
    Changed();
}

void CRuleFilterBar::SetCountText(const QString& text)
{
    m_count->setText(text);
}

void CRuleFilterBar::FocusText()
{
    m_text->setFocus(Qt::ShortcutFocusReason);
    m_text->selectAll();
}

bool CRuleFilterBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape
        && !Filter().IsEmpty()) {
        Clear();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CRuleFilterBar::Changed()
{
    if (m_quiet)
        return;
    const RuleListFilter filter = Filter();
    if (filter == m_last)
        return;
    m_last = filter;
    emit FilterChanged(filter);
}
