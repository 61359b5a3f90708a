#pragma once

#include <QString>

// Folders of the installation, without a trailing "/".
class CLocationHelper
{
public:
    // Resources of the user-interface language: <program>/res/<language>, or
    // <prefix>/share/vtrpro/res/<language> in an installed tree.
    static QString GetLocalizedResPath();
    // Resources of the default language: the same folder for "english".
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
