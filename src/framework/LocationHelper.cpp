#include "LocationHelper.h"

#include "VTRFrameWrkUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace {
// The build keeps res/ beside the program; an installed tree keeps the
// program in <prefix>/lib/vtrpro/ and its resources in <prefix>/share/vtrpro/,
// so the tree can move as a whole.
QString ResourceFolder()
{
    const QString program = CVTRFrameWrkUtils::GetProgramFolder();
    const QString beside = program + QStringLiteral("/res");
    if (QFileInfo(beside).isDir())
        return beside;
    const QString installed = QDir::cleanPath(program + QStringLiteral("/../../share/vtrpro/res"));
    return QFileInfo(installed).isDir() ? installed : beside;
}
} // namespace

QString CLocationHelper::GetLocalizedResPath()
{
    return ResourceFolder() + QLatin1Char('/') + CLanguageUtil::GetVTRProLang();
}

QString CLocationHelper::GetDefaultResPath()
{
    return ResourceFolder() + QStringLiteral("/english");
}

QString CLocationHelper::GetInstallationRootPath()
{
    return CVTRFrameWrkUtils::GetProgramFolder();
}

QString CLanguageUtil::GetVTRProLang()
{
    const QString lang = qEnvironmentVariable("VTRPRO_LANG");
    if (!lang.isEmpty())
        return lang;
    const QLocale locale = QLocale::system();
    if (locale.language() == QLocale::Chinese)
        return locale.script() == QLocale::TraditionalChineseScript ? QStringLiteral("trad_chinese") : QStringLiteral("simpl_chinese");
    if (locale.language() == QLocale::German)
        return QStringLiteral("german");
    if (locale.language() == QLocale::Japanese)
        return QStringLiteral("japanese");
    return QStringLiteral("english");
}
