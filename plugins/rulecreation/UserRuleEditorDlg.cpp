#include "UserRuleEditorDlg.h"

#include "PLQRuleConfigurator.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
enum Column { NameColumn, OperatorColumn, TypeColumn, ValueColumn, ColumnCount };

QComboBox* Choice(const QStringList& entries, const QString& current, QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->addItems(entries);
    const int i = entries.indexOf(current);
    combo->setCurrentIndex(i >= 0 ? i : 0);
    return combo;
}
} // namespace

UserRuleEditorDlg::UserRuleEditorDlg(UserRuleStore& store, const Setup& setup, QWidget* parent)
    : QDialog(parent)
    , m_store(store)
    , m_setup(setup)
    , m_keys(store.Keys())
{
    setObjectName(QStringLiteral("userRuleEditor"));
    const QString flavour = setup.productRule ? QStringLiteral("Product Rule") : QStringLiteral("Custom Rule");
    setWindowTitle((setup.edited ? QStringLiteral("Edit ") : QStringLiteral("Create ")) + flavour);
    setModal(true);

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("name"));
    m_module = new QComboBox(this);
    m_module->setObjectName(QStringLiteral("module"));
    if (setup.productRule) {
        m_module->addItems(m_keys.keys);
    } else {
        // Custom rules all belong to the one module; the category says where they show.
        m_module->addItem(UserRuleDrafts::ModuleName(false));
        m_module->setEnabled(false);
    }
    m_category = new QComboBox(this);
    m_category->setObjectName(QStringLiteral("category"));
    m_criticality = new QComboBox(this);
    m_criticality->setObjectName(QStringLiteral("criticality"));
    m_criticality->addItems(UserRuleDrafts::CriticalityWords());
    m_criticality->setCurrentIndex(2);
    m_summary = new QPlainTextEdit(this);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setFixedHeight(60);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name :"), m_name);
    form->addRow(QStringLiteral("Module :"), m_module);
    form->addRow(QStringLiteral("Category :"), m_category);
    form->addRow(QStringLiteral("Criticality :"), m_criticality);
    form->addRow(QStringLiteral("Summary :"), m_summary);

    auto* unitsNote = new QLabel(QStringLiteral("Parameters (lengths in %1, angles in %2):")
                                     .arg(VtrUnits::LinearStoredName(setup.units.LinearUnit),
                                         VtrUnits::AngularStoredName(setup.units.AngularUnit)),
        this);
    m_parameters = new QTableWidget(0, ColumnCount, this);
    m_parameters->setObjectName(QStringLiteral("parameters"));
    m_parameters->setHorizontalHeaderLabels(
        { QStringLiteral("Name"), QStringLiteral("Operator"), QStringLiteral("Type"), QStringLiteral("Value") });
    m_parameters->horizontalHeader()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    m_parameters->verticalHeader()->setVisible(false);
    auto* add = new QPushButton(QStringLiteral("Add parameter"), this);
    add->setObjectName(QStringLiteral("addParameter"));
    auto* remove = new QPushButton(QStringLiteral("Remove parameter"), this);
    remove->setObjectName(QStringLiteral("removeParameter"));
    connect(add, &QPushButton::clicked, this, &UserRuleEditorDlg::AddEmptyParameter);
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_parameters->currentRow() >= 0)
            m_parameters->removeRow(m_parameters->currentRow());
    });
    auto* rowButtons = new QHBoxLayout;
    rowButtons->addWidget(add);
    rowButtons->addWidget(remove);
    rowButtons->addStretch();

    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("error"));
    m_error->setWordWrap(true);
    m_error->setStyleSheet(QStringLiteral("color: #b00020;"));
    m_error->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &UserRuleEditorDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &UserRuleEditorDlg::reject);

    auto* layout = new QVBoxLayout(this);
    if (!setup.notice.isEmpty()) {
        auto* notice = new QLabel(setup.notice, this);
        notice->setObjectName(QStringLiteral("notice"));
        notice->setWordWrap(true);
        layout->addWidget(notice);
    }
    layout->addLayout(form);
    layout->addWidget(unitsNote);
    layout->addWidget(m_parameters);
    layout->addLayout(rowButtons);
    layout->addWidget(m_error);
    layout->addWidget(buttons);
    resize(620, 520);

    connect(m_module, &QComboBox::currentIndexChanged, this, [this] { FillCategories(); });
    // A refusal stays until the user changes what it was about.
    connect(m_name, &QLineEdit::textChanged, m_error, &QLabel::hide);
    connect(m_parameters, &QTableWidget::itemChanged, m_error, &QLabel::hide);
    FillCategories();
    if (setup.edited) {
        m_editedName = setup.edited->GetRuleName();
        m_editedCategory = setup.edited->GetRuleCategory();
        ShowDraft(UserRuleDrafts::FromRule(*setup.edited, setup.editedKey, setup.units));
    } else {
        AddParameterRow({ QString(), QStringLiteral(">="), UserRuleValueType::Length, QString() });
    }
}

void UserRuleEditorDlg::FillCategories()
{
    const QString current = m_category->currentText();
    m_category->clear();
    // A product rule's categories are its module's; a custom rule may take any.
    m_category->addItems(
        m_setup.productRule ? m_keys.categories.value(m_module->currentText()) : m_keys.AllCategories());
    const int i = m_category->findText(current);
    if (i >= 0)
        m_category->setCurrentIndex(i);
}

void UserRuleEditorDlg::ShowDraft(const UserRuleDraft& draft)
{
    m_name->setText(draft.name);
    if (draft.productRule) {
        const int key = m_module->findText(draft.key.isEmpty() ? m_keys.KeyOfCategory(draft.category) : draft.key);
        if (key >= 0)
            m_module->setCurrentIndex(key);
    }
    const int category = m_category->findText(m_keys.CanonicalCategory(draft.category));
    if (category >= 0)
        m_category->setCurrentIndex(category);
    m_criticality->setCurrentIndex(draft.criticality - 1);
    m_summary->setPlainText(draft.summary);
    m_parameters->setRowCount(0);
    for (const UserRuleParameter& p : draft.parameters)
        AddParameterRow(p);
}

void UserRuleEditorDlg::AddParameterRow(const UserRuleParameter& parameter)
{
    const int row = m_parameters->rowCount();
    m_parameters->insertRow(row);
    m_parameters->setItem(row, NameColumn, new QTableWidgetItem(parameter.name));
    QComboBox* op = Choice(UserRuleDrafts::OperatorsOf(parameter.type), parameter.op, m_parameters);
    QComboBox* type = Choice(UserRuleDrafts::TypeWords(), UserRuleDrafts::TypeWord(parameter.type), m_parameters);
    m_parameters->setCellWidget(row, OperatorColumn, op);
    m_parameters->setCellWidget(row, TypeColumn, type);
    m_parameters->setItem(row, ValueColumn, new QTableWidgetItem(parameter.value));
    // The operators follow the type: a yes/no value is only equal or not.
    connect(type, &QComboBox::currentTextChanged, op, [op](const QString& word) {
        UserRuleValueType t = UserRuleValueType::Number;
        UserRuleDrafts::TypeOfWord(word, t);
        const QStringList offered = UserRuleDrafts::OperatorsOf(t);
        const QString current = op->currentText();
        op->clear();
        op->addItems(offered);
        const int i = offered.indexOf(current);
        op->setCurrentIndex(i >= 0 ? i : offered.indexOf(QStringLiteral("=")));
    });
}

void UserRuleEditorDlg::AddEmptyParameter()
{
    AddParameterRow({ QString(), QStringLiteral(">="), UserRuleValueType::Length, QString() });
    const int row = m_parameters->rowCount() - 1;
    m_parameters->setCurrentCell(row, NameColumn);
    // The button had the focus: typing goes to the new row's name at once.
    m_parameters->setFocus(Qt::OtherFocusReason);
    m_parameters->editItem(m_parameters->item(row, NameColumn));
}

UserRuleDraft UserRuleEditorDlg::Draft() const
{
    UserRuleDraft draft;
    draft.productRule = m_setup.productRule;
    draft.name = m_name->text();
    draft.category = m_category->currentText();
    draft.key = m_setup.productRule ? m_module->currentText() : QString();
    draft.summary = m_summary->toPlainText().trimmed();
    draft.criticality = m_criticality->currentIndex() + 1;
    // The version of the rule as it was read: a store refuses it when the rule was stored again since.
    draft.storedVersion = m_setup.edited ? m_setup.edited->StoredVersion() : 0;
    for (int row = 0; row < m_parameters->rowCount(); ++row) {
        UserRuleParameter p;
        const QTableWidgetItem* name = m_parameters->item(row, NameColumn);
        const QTableWidgetItem* value = m_parameters->item(row, ValueColumn);
        p.name = name ? name->text() : QString();
        p.value = value ? value->text() : QString();
        if (auto* op = qobject_cast<QComboBox*>(m_parameters->cellWidget(row, OperatorColumn)))
            p.op = op->currentText();
        if (auto* type = qobject_cast<QComboBox*>(m_parameters->cellWidget(row, TypeColumn)))
            UserRuleDrafts::TypeOfWord(type->currentText(), p.type);
        draft.parameters.push_back(p);
    }
    return draft;
}

void UserRuleEditorDlg::accept()
{
    UserRuleDraft draft = Draft();
    QString error;
    bool ok = UserRuleDrafts::Validate(draft, m_keys, m_setup.names, m_editedName, error);
    std::unique_ptr<CPLQRuleConfigurator> rule;
    if (ok)
        rule = UserRuleDrafts::Build(draft, m_setup.units, error);
    ok = rule && m_store.Store(draft, m_setup.units, m_editedName, m_editedCategory, error);
    if (!ok) {
        m_error->setText(error);
        m_error->show();
        return;
    }
    m_error->hide();
    // The version it was stored as, so that the list's copy can be written again.
    QString unused;
    const UserRuleStore::Entry stored = m_store.Find(draft.name, draft.category, unused);
    rule->SetStoredVersion(stored.rule ? stored.rule->StoredVersion() : 0);
    m_stored = std::move(rule);
    QDialog::accept();
}
