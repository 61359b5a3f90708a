#include "settings/ui/VTRRMScriptLocnDlg.h"

#include "Utilities/StringTable.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// One group of the dialog: its title, the ids of its field and button, and
// the prompt its folder browser shows.
struct GroupInfo
{
    ScriptLocationForm::Field field;
    const char* title;
    const char* editId;
    const char* buttonId;
    const char* prompt;
};

constexpr GroupInfo kGroups[] = {
    { ScriptLocationForm::Field::Database, "Database Directory", "61618", "61619",
        "Select the location to store the database" },
    { ScriptLocationForm::Field::Script, "ScriptRule Directory", "61616", "61617",
        "Select the location to store the script" },
    { ScriptLocationForm::Field::ManualChecks, "Manual Checklist Directory", "61621", "61622",
        "Select the location to Add ManualChecklist to the RuleFile" },
};

const GroupInfo& InfoOf(ScriptLocationForm::Field field)
{
    for (const GroupInfo& g : kGroups)
        if (g.field == field)
            return g;
    return kGroups[0];
}
} // namespace

CVTRRMScriptLocnDlg::CVTRRMScriptLocnDlg(ScriptLocationForm& form, QWidget* parent)
    : QDialog(parent)
    , m_form(form)
    , m_browser(&CVTRRMScriptLocnDlg::BrowseForFolder)
{
    setWindowTitle(QStringLiteral("Application Directories"));
    auto* layout = new QVBoxLayout(this);
    for (const GroupInfo& g : kGroups) {
        auto* group = new QGroupBox(QLatin1String(g.title), this);
        auto* row = new QHBoxLayout(group);
        auto* edit = new QLineEdit(group);
        edit->setObjectName(QLatin1String(g.editId));
        auto* button = new QPushButton(QStringLiteral("..."), group);
        button->setObjectName(QLatin1String(g.buttonId));
        button->setToolTip(QLatin1String(g.prompt));
        button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
        row->addWidget(edit, 1);
        row->addWidget(button);
        layout->addWidget(group);
        const ScriptLocationForm::Field field = g.field;
        connect(button, &QPushButton::clicked, this, [this, field] { Browse(field); });
        switch (g.field) {
        case ScriptLocationForm::Field::Database:
            m_database = edit;
            m_browseDatabase = button;
            break;
        case ScriptLocationForm::Field::Script:
            m_script = edit;
            m_browseScript = button;
            break;
        case ScriptLocationForm::Field::ManualChecks:
            m_manualChecks = edit;
            m_browseManualChecks = button;
            break;
        }
    }
    // The shop's database server: a connection string, not a folder, so no
    // browse button. Its password is never shown; it belongs in a password file.
    auto* serverGroup = new QGroupBox(QStringLiteral("Database Server"), this);
    auto* serverLayout = new QVBoxLayout(serverGroup);
    auto* serverRow = new QHBoxLayout;
    auto* serverLabel = new QLabel(QStringLiteral("Server\u2026"), serverGroup);
    m_server = new QLineEdit(serverGroup);
    m_server->setObjectName(QStringLiteral("serverEdit"));
    m_server->setPlaceholderText(QStringLiteral("postgresql://host/vtrpro (empty: the database on this computer)"));
    m_server->setToolTip(QStringLiteral(
        "The PostgreSQL server the shop shares, as a libpq connection string. Keep its password in ~/.pgpass "
        "(or the file PGPASSFILE names), not here; a stored password is never shown."));
    serverLabel->setBuddy(m_server);
    serverRow->addWidget(serverLabel);
    serverRow->addWidget(m_server, 1);
    serverLayout->addLayout(serverRow);
    m_serverOverride = new QLabel(serverGroup);
    m_serverOverride->setObjectName(QStringLiteral("serverOverrideNote"));
    m_serverOverride->setWordWrap(true);
    const QString override = m_form.ServerOverride();
    m_serverOverride->setText(
        QStringLiteral("VTRPRO_DATABASE_URL (%1) overrides this setting while it is set.").arg(override));
    m_serverOverride->setVisible(!override.isEmpty());
    serverLayout->addWidget(m_serverOverride);
    layout->addWidget(serverGroup);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CVTRRMScriptLocnDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CVTRRMScriptLocnDlg::reject);

    ShowFields(m_form.InitialFields());
    setMinimumWidth(460);
}

QPushButton* CVTRRMScriptLocnDlg::BrowseButton(ScriptLocationForm::Field field) const
{
    switch (field) {
    case ScriptLocationForm::Field::Database:
        return m_browseDatabase;
    case ScriptLocationForm::Field::Script:
        return m_browseScript;
    case ScriptLocationForm::Field::ManualChecks:
        return m_browseManualChecks;
    }
    return nullptr;
}

QString CVTRRMScriptLocnDlg::BrowseForFolder(
    QWidget* parent, const QString& title, const QString& prompt, const QString& start)
{
    QFileDialog dialog(parent, title, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The prompt says which folder is asked for; the file name field shows
    // the selected folder's path.
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        auto* label = new QLabel(prompt, &dialog);
        grid->addWidget(label, grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

ScriptLocationForm::Fields CVTRRMScriptLocnDlg::FieldTexts() const
{
    return { m_database->text(), m_script->text(), m_manualChecks->text(), m_server->text() };
}

void CVTRRMScriptLocnDlg::ShowFields(const ScriptLocationForm::Fields& fields)
{
    m_database->setText(fields.database);
    m_script->setText(fields.script);
    m_manualChecks->setText(fields.manualChecks);
    m_server->setText(fields.server);
}

void CVTRRMScriptLocnDlg::Browse(ScriptLocationForm::Field field)
{
    if (!m_browser)
        return;
    const QString chosen
        = m_browser(this, VtrString(61697), QLatin1String(InfoOf(field).prompt), m_form.BrowseStart(field));
    if (chosen.isEmpty())
        return;
    ScriptLocationForm::Fields fields = FieldTexts();
    m_form.Browsed(field, chosen, fields);
    ShowFields(fields);
}

void CVTRRMScriptLocnDlg::accept()
{
    ScriptLocationForm::Fields fields = FieldTexts();
    const bool accepted = m_form.Accept(fields);
    ShowFields(fields);
    if (accepted)
        QDialog::accept();
}

ApplicationDirectories::Dialog MakeScriptLocationDialog(QWidget* parent)
{
    return [parent](ScriptLocationForm& form) {
        CVTRRMScriptLocnDlg dialog(form, parent);
        return dialog.exec() == QDialog::Accepted;
    };
}
