#include "VTRFrameWrkUtils.h"

#include "FrameworkExports.h"
#include "VtrUtf8.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace {
// Category numbers are positions in this list; 22 marks user-defined rules,
// which are never stamped with a module name.
const char* const kCategories[] = {
    "General",          "Milling",       "Drilling",       "Turning",           "Sheet Metal",
    "Injection Molding", "Assembly",     "Tolerance",      "Die Casting",       "Casting",
    "Additive Manufacturing", "Welding", "Tubing",         "Sand Casting",      "Investment Casting",
    "Composite",        "Thermoforming", "Manual Check",   "Forging",           "Sheet Metal Forming",
    "Vacuum Infusion",  "Cabling",       "User Defined",   "Drafting",
};

const QHash<QString, int32_t>& CategoryIndex()
{
    static const QHash<QString, int32_t> index = [] {
        QHash<QString, int32_t> h;
        int32_t i = 0;
        for (const char* c : kCategories)
            h.insert(QString::fromLatin1(c).toLower(), i++);
        return h;
    }();
    return index;
}

QString WithSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}
} // namespace

int32_t CVTRFrameWrkUtils::GetCADType()
{
    bool ok = false;
    const int v = qEnvironmentVariable("VTRPRO_CAD_TYPE").toInt(&ok);
    return (ok && v >= 1 && v <= 6) ? v : 3;
}

void CVTRFrameWrkUtils::GetRuleCategoryStringList(QStringList& categories)
{
    categories.clear();
    for (const char* c : kCategories)
        categories << QString::fromLatin1(c);
}

int32_t CVTRFrameWrkUtils::GetRuleCategoryIndex(const QString& category)
{
    // Every rule read asks. An ASCII text lowers as ASCII: it is compared
    // with the few names in place, without a lower-case copy.
    const QChar* text = category.constData();
    const qsizetype size = category.size();
    bool ascii = true;
    for (qsizetype i = 0; i < size && ascii; ++i)
        ascii = text[i].unicode() < 0x80;
    if (ascii) {
        int32_t index = 0;
        for (const char* name : kCategories) {
            qsizetype i = 0;
            for (; i < size && name[i] != '\0'; ++i)
                if (VtrAsciiLower(text[i].unicode()) != VtrAsciiLower(static_cast<char16_t>(name[i])))
                    break;
            if (i == size && name[i] == '\0')
                return index;
            ++index;
        }
        return -1;
    }
    return CategoryIndex().value(category.toLower(), -1);
}

QString CVTRFrameWrkUtils::GetDataSettingsFolder()
{
    const QString dir = qEnvironmentVariable("VTRPRO_DATA_SETTINGS_DIR");
    if (!dir.isEmpty())
        return WithSlash(QDir::cleanPath(QDir(dir).absolutePath()));
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return WithSlash(QDir::cleanPath(config) + QStringLiteral("/VTRPro"));
}

QString CVTRFrameWrkUtils::GetProgramFolder()
{
    static const QString folder = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
    return folder;
}

int32_t GetCADType()
{
    return CVTRFrameWrkUtils::GetCADType();
}

QString CVTRFrameWrkUtils::LoggedOnUserName()
{
    std::vector<char> buffer(16384);
    struct passwd entry = {};
    struct passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name
        && found->pw_name[0] != '\0')
        return QString::fromLocal8Bit(found->pw_name);
    for (const char* name : { "USER", "LOGNAME" }) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

