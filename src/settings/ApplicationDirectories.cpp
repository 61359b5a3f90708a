#include "settings/ApplicationDirectories.h"

#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"
#include "Utilities/VTRUIUtils.h"
#include "VtrDatabaseServer.h"
#include "VtrRegularFile.h"
#include "modules/IniFile.h"
#include "modules/ModuleLists.h"
#include "settings/DatabaseServerText.h"
#include "settings/MachineEnvironment.h"

#include <string>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

namespace {
std::string Narrow(const QString& s)
{
    return s.toLocal8Bit().toStdString();
}

QString Wide(const std::string& s)
{
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

QString Caption()
{
    return VtrString(StrId::AppCaption);
}

QString WithPath(int id, const QString& path)
{
    return VtrString(id).replace(QStringLiteral("%s"), path);
}

// The path as it is checked: a final "/." dropped (it names the folder
// itself) and a final "/" added.
QString CheckedForm(const QString& path)
{
    QString copy = path;
    if (copy.endsWith(QLatin1String("/.")))
        copy.chop(1);
    if (!copy.endsWith(QLatin1Char('/')))
        copy += QLatin1Char('/');
    return copy;
}

// An absolute path, or "//server/share/" with a server and a share.
bool IsValidPath(const QString& copy)
{
    for (const QChar c : copy)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    if (!copy.startsWith(QLatin1Char('/')))
        return false;
    if (!copy.startsWith(QLatin1String("//")))
        return true;
    const qsizetype serverEnd = copy.indexOf(QLatin1Char('/'), 2);
    if (serverEnd <= 2)
        return false;
    const qsizetype shareEnd = copy.indexOf(QLatin1Char('/'), serverEnd + 1);
    return shareEnd > serverEnd + 1;
}
// Whether the server setting's file can take a change: where it is, it is a
// regular file; a file can be written beside it (settings are replaced whole).
bool CanStoreServer(QString& why)
{
    const QString path = vtr_db::DatabaseServerSettingsPath();
    if (QFileInfo::exists(path) && !VtrIsRegularFile(path, &why)) {
        why = QStringLiteral("%1 is %2").arg(path, why);
        return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile probe(path);
    if (!probe.open(QIODevice::WriteOnly)) {
        why = QStringLiteral("%1 cannot be written: %2").arg(path, probe.errorString());
        return false;
    }
    probe.cancelWriting();
    return true;
}

void ServerNotStored(const QString& why)
{
    ShowMessage(QStringLiteral("The database server could not be stored: %1. Nothing was changed.").arg(why), Caption(),
        MsgIcon::Error);
}
} // namespace

namespace AppDirectories {
QString ProcessValue(const char* variable)
{
    return qEnvironmentVariable(variable);
}
} // namespace AppDirectories

QString GetScriptDirectory()
{
    const QString iniPath = GetConfigModuleIniPath();
    const std::string file = Narrow(iniPath);
    const QString iniFolder = QFileInfo(iniPath).absolutePath();
    if (!CIniFile::CanOpen(file)) {
        if (!iniPath.isEmpty() && !QFileInfo::exists(iniFolder))
            QDir().mkpath(iniFolder);
        CIniFile::Create(file);
    }
    QString folder;
    if (CIniFile::RecordExists(AppDirectories::kScriptKey, ModuleSections::kScripts, file)) {
        folder = Wide(CIniFile::GetValue(AppDirectories::kScriptKey, ModuleSections::kScripts, file));
    } else {
        if (!CIniFile::SectionExists(ModuleSections::kScripts, file))
            CIniFile::AddSection(ModuleSections::kScripts, file);
        folder = iniFolder + QStringLiteral("/ScriptDir");
        CIniFile::AppendRecord(AppDirectories::kScriptKey, Narrow(folder), ModuleSections::kScripts, file);
    }
    if (!folder.isEmpty() && !QFileInfo(folder).isDir())
        QDir().mkdir(folder);
    return folder;
}

FolderCheck CheckFolder(const QString& path)
{
    if (path.isEmpty())
        return FolderCheck::InvalidPath;
    const QString copy = CheckedForm(path);
    if (!IsValidPath(copy))
        return FolderCheck::InvalidPath;
    if (!QFileInfo(copy).isDir()) {
        // Offering to create a folder where a file stands could only fail.
        QString bare = copy;
        while (bare.size() > 1 && bare.endsWith(QLatin1Char('/')))
            bare.chop(1);
        const QFileInfo there(bare);
        return there.exists() || there.isSymLink() ? FolderCheck::NotAFolder : FolderCheck::Missing;
    }
    // A fresh random name, created exclusively: whatever the user keeps in
    // the folder is never opened, and only the probe itself is removed.
    QTemporaryFile probe(copy + QStringLiteral(".vtrpro-write-probe-XXXXXX"));
    return probe.open() ? FolderCheck::Usable : FolderCheck::ReadOnly;
}

FolderCheck ValidateFolder(const QString& path)
{
    const FolderCheck check = CheckFolder(path);
    switch (check) {
    case FolderCheck::Missing:
        if (ShowMessage(WithPath(61695, path), Caption(), MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
            return check;
        // One level only: a typed path whose parent is missing is most
        // likely a typing mistake.
        if (QDir().mkdir(CheckedForm(path)))
            return FolderCheck::Usable;
        ShowMessage(WithPath(61691, path), Caption(), MsgIcon::Error);
        return check;
    case FolderCheck::ReadOnly:
        ShowMessage(WithPath(61692, path), Caption(), MsgIcon::Warning);
        return check;
    case FolderCheck::InvalidPath:
        ShowMessage(WithPath(61693, path), Caption(), MsgIcon::Error);
        return check;
    case FolderCheck::NotAFolder:
        ShowMessage(QStringLiteral("%1 is a file, not a folder. Choose a folder.").arg(path), Caption(),
            MsgIcon::Error);
        return check;
    case FolderCheck::Usable:
        break;
    }
    return check;
}

bool StoreScriptDirectory(const QString& folder)
{
    const std::string file = Narrow(GetConfigModuleIniPath());
    if (CIniFile::SectionExists(ModuleSections::kScripts, file))
        return CIniFile::SetValue(AppDirectories::kScriptKey, Narrow(folder), ModuleSections::kScripts, file);
    return CIniFile::AddSection(ModuleSections::kScripts, file)
        && CIniFile::AppendRecord(AppDirectories::kScriptKey, Narrow(folder), ModuleSections::kScripts, file);
}

bool StoreMachineDirectory(const char* variable, const QString& folder)
{
    QString why;
    if (SetMachineEnvironmentValue(QLatin1String(variable), folder, &why))
        return true;
    LogWithText(QStringLiteral("The machine environment could not be written: %s"), why);
    ShowMessage(VtrString(61698), Caption(), MsgIcon::Error);
    return false;
}

ScriptLocationForm::ScriptLocationForm(QString* scriptFolder, bool documentOpen)
    : m_scriptFolder(scriptFolder)
    , m_documentOpen(documentOpen)
    , m_database(AppDirectories::ProcessValue(AppDirectories::kDatabaseVariable))
    , m_manualChecks(AppDirectories::ProcessValue(AppDirectories::kManualChecksVariable))
    , m_storedServer(DatabaseServerText::StoredSetting())
    , m_shownServer(DatabaseServerText::Shown(m_storedServer))
{ }

ScriptLocationForm::Fields ScriptLocationForm::InitialFields() const
{
    return { m_database, m_scriptFolder ? *m_scriptFolder : QString(), m_manualChecks, m_shownServer };
}

QString ScriptLocationForm::ServerOverride() const
{
    const QString environment = qEnvironmentVariable(vtr_db::kDatabaseUrlVariable).trimmed();
    return environment.isEmpty() ? QString() : vtr_db::WithoutPassword(environment);
}

bool ScriptLocationForm::Accept(Fields& fields)
{
    // Folder names are case-sensitive here, so a change of letter case names
    // another folder and is checked like any other change.
    if (m_scriptFolder && fields.script != *m_scriptFolder) {
        if (!IsAccepted(ValidateFolder(fields.script))) {
            fields.script = *m_scriptFolder;
            return false;
        }
        *m_scriptFolder = fields.script;
        m_scriptChanged = true;
    }
    if (fields.database != m_database) {
        if (!IsAccepted(ValidateFolder(fields.database))) {
            fields.database = m_database;
            return false;
        }
    }
    // A manual-checklist folder is checked like the others, so that no
    // folder that does not exist is stored without a word; clearing the
    // field is how the variable is removed, and is not checked.
    if (fields.manualChecks != m_manualChecks && !fields.manualChecks.isEmpty()) {
        if (!IsAccepted(ValidateFolder(fields.manualChecks))) {
            fields.manualChecks = m_manualChecks;
            return false;
        }
    }
    // The server's text is the stored one, password hidden, until edited;
    // an unedited field keeps the stored connection as it is.
    if (fields.server.trimmed() != m_shownServer) {
        if (!DatabaseServerText::IsPlausible(fields.server)) {
            ShowMessage(QStringLiteral("A connection string is one line without control characters."), Caption(),
                MsgIcon::Error);
            fields.server = m_shownServer;
            return false;
        }
        QString why;
        if (!CanStoreServer(why)) {
            ServerNotStored(why);
            fields.server = m_shownServer;
            return false;
        }
        m_serverToStore = DatabaseServerText::ToStore(fields.server, m_storedServer);
        m_serverChanged = m_serverToStore != m_storedServer;
    }
    if (m_scriptChanged && m_documentOpen)
        ShowMessage(VtrString(61696), Caption(), MsgIcon::Warning);
    m_database = fields.database;
    m_manualChecks = fields.manualChecks;
    return true;
}

QString ScriptLocationForm::BrowseStart(Field field) const
{
    switch (field) {
    case Field::Script:
        return m_scriptFolder ? *m_scriptFolder : QString();
    case Field::Database:
        return m_database;
    case Field::ManualChecks:
        return m_manualChecks;
    }
    return {};
}

void ScriptLocationForm::Browsed(Field field, const QString& folder, Fields& fields)
{
    // Only the browsed field is taken: a path typed into the other field
    // must still be checked on OK.
    switch (field) {
    case Field::Script:
        fields.script = folder;
        break;
    case Field::Database:
        fields.database = folder;
        m_database = folder;
        break;
    case Field::ManualChecks:
        fields.manualChecks = folder;
        m_manualChecks = folder;
        break;
    }
}

ApplicationDirectories::ApplicationDirectories(Dialog dialog)
    : m_dialog(std::move(dialog))
{ }

bool ApplicationDirectories::Run(bool documentOpen) const
{
    QString scriptFolder = GetScriptDirectory();
    const QString remembered = scriptFolder;
    ScriptLocationForm form(&scriptFolder, documentOpen);
    if (!m_dialog || !m_dialog(form))
        return false;
    // First, since it is the one change that can still fail as a whole: then
    // nothing else is written either.
    if (form.ServerChanged()) {
        QString why;
        if (!vtr_db::SetDatabaseServer(form.ServerToStore(), why)) {
            ServerNotStored(why);
            return true;
        }
    }
    // A script-rule folder that cannot be stored is only logged; the
    // machine environment's failures are shown, once for each variable.
    if (form.DatabaseText() != AppDirectories::ProcessValue(AppDirectories::kDatabaseVariable))
        StoreMachineDirectory(AppDirectories::kDatabaseVariable, form.DatabaseText());
    if (scriptFolder != remembered && !StoreScriptDirectory(scriptFolder))
        LogWithText(QStringLiteral("The script directory %s could not be stored"), scriptFolder);
    if (form.ManualChecksText() != AppDirectories::ProcessValue(AppDirectories::kManualChecksVariable))
        StoreMachineDirectory(AppDirectories::kManualChecksVariable, form.ManualChecksText());
    return true;
}
