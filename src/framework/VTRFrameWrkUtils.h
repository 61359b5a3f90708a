#pragma once

#include <cstdint>

#include <QString>
#include <QStringList>

// Host and folder services of the framework library.
class CVTRFrameWrkUtils
{
public:
    // The host code (VTRPRO_CAD_TYPE, else 3 for NX).
    static int32_t GetCADType();
    // Fills the rule category names, in category-number order.
    static void GetRuleCategoryStringList(QStringList& categories);
    // Category number of a name (compared without regard to case), or -1.
    static int32_t GetRuleCategoryIndex(const QString& category);
    // The shared data-settings folder, ending with "/" (VTRPRO_DATA_SETTINGS_DIR,
    // else $XDG_CONFIG_HOME/VTRPro/, else ~/.config/VTRPro/).
    static QString GetDataSettingsFolder();
    // The folder of the running executable, without a trailing "/".
    static QString GetProgramFolder();
    // The login name of the user the program runs as: the password database
    // first (services, cron and containers often set neither USER nor
    // LOGNAME), then USER and LOGNAME.
    static QString LoggedOnUserName();
};
