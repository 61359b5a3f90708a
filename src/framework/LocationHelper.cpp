#include "LocationHelper.h"

#include "VTRFrameWrkUtils.h"

#include <QLocale>

QString CLocationHelper::GetLocalizedResPath()
{
    return GetInstallationRootPath() + QStringLiteral("/res/") + CLanguageUtil::GetVTRProLang();
}

QString CLocationHelper::GetDefaultResPath()
{
    return GetInstallationRootPath() + QStringLiteral("/res/english");
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
