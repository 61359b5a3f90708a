#include "userrules/ui/VTRRMUserDefinedRuleDlg.h"

#include "ConcreteVTRRule.h"
#include "userrules/UserDefinedRuleCriticality.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

CVTRRMUserDefinedRuleDlg::CVTRRMUserDefinedRuleDlg(ConcreteVTRRule* rule, QWidget* parent)
    : QDialog(parent)
    , m_rule(rule)
{
    setWindowTitle(QStringLiteral("User Defined Rule"));
    setModal(true);
    m_combo = new QComboBox(this);
    m_combo->setObjectName(QStringLiteral("criticality"));
    m_combo->setEditable(false);
    m_combo->clear();
    m_combo->addItems(UserDefinedRuleCriticality::Entries());
    m_combo->setCurrentIndex(UserDefinedRuleCriticality::EntryOf(rule ? rule->GetCriticality() : 0));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Criticality :"), m_combo);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CVTRRMUserDefinedRuleDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CVTRRMUserDefinedRuleDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(280);
}

void CVTRRMUserDefinedRuleDlg::accept()
{
    if (m_rule) {
        if (m_combo->currentIndex() >= 0) {
            if (const int32_t code = UserDefinedRuleCriticality::CodeOf(m_combo->currentText()))
                m_rule->SetCriticality(code);
        } else {
            m_combo->setCurrentIndex(UserDefinedRuleCriticality::EntryOf(m_rule->GetCriticality()));
        }
    }
    QDialog::accept();
}
