#include "settings/ui/VTRUnitSettingDlg.h"

#include "Utilities/StringTable.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
std::optional<QString> SelectedText(const QComboBox* combo)
{
    if (combo->currentIndex() < 0)
        return std::nullopt;
    return combo->currentText();
}
} // namespace

CVTRUnitSettingDlg::CVTRUnitSettingDlg(RuleUnits* units, QWidget* parent)
    : QDialog(parent)
    , m_form(units)
{
    setWindowTitle(VtrString(577));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    m_linear = new QComboBox(this);
    m_linear->setObjectName(QStringLiteral("575"));
    m_linear->addItems(m_form.LinearEntries());
    m_angular = new QComboBox(this);
    m_angular->setObjectName(QStringLiteral("576"));
    m_angular->addItems(m_form.AngularEntries());
    grid->addWidget(new QLabel(QStringLiteral("Length Unit"), this), 0, 0);
    grid->addWidget(m_linear, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Angular Unit"), this), 1, 0);
    grid->addWidget(m_angular, 1, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    // A unit without an entry ("feet & inches") shows its name greyed and
    // stays as it is unless the user picks another.
    if (units) {
        m_linear->setPlaceholderText(UnitDisplay::LinearText(units->LinearUnit));
        m_angular->setPlaceholderText(UnitDisplay::AngularText(units->AngularUnit));
    }
    m_linear->setCurrentIndex(m_form.InitialLinearIndex());
    m_angular->setCurrentIndex(m_form.InitialAngularIndex());

    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &CVTRUnitSettingDlg::accept);

    // Connected after the opening selection, so only the user's changes count.
    connect(m_linear, &QComboBox::activated, this,
        [this](int index) { m_form.OnLinearChanged(index, m_linear->itemText(index)); });
    connect(m_angular, &QComboBox::activated, this,
        [this](int index) { m_form.OnAngularChanged(index, m_angular->itemText(index)); });
    setMinimumWidth(260);
}

void CVTRUnitSettingDlg::accept()
{
    QDialog::accept();
    m_form.Accept(SelectedText(m_linear), SelectedText(m_angular));
}

RuleInputUnits::UnitDialog MakeUnitSettingDialog(QWidget* parent)
{
    return [parent](RuleUnits& units) {
        CVTRUnitSettingDlg dialog(&units, parent);
        return dialog.exec() == QDialog::Accepted;
    };
}
