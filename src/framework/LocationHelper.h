#pragma once

#include <QString>

// Folders of the installation, without a trailing "/".
class CLocationHelper
{
public:
    // Resources of the user-interface language: <program>/res/<language>.
    static QString GetLocalizedResPath();
    // Resources of the default language: <program>/res/english.
    static QString GetDefaultResPath();
    // The installation root: the program folder.
    static QString GetInstallationRootPath();
};

// The user-interface language.
class CLanguageUtil
{
public:
    // "english", "simpl_chinese", ... (VTRPRO_LANG, else from the system locale).
    static QString GetVTRProLang();
};
