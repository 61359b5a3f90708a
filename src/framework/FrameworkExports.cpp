#include "FrameworkExports.h"

#include "VTRDataHelper.h"
#include "VTRFrameWrkUtils.h"

#include <cstring>

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {
VtrXMLDocument* g_xmlDoc = nullptr;
VtrHelpViewer g_helpViewer;
} // namespace

void SetVTRHelpViewer(VtrHelpViewer viewer)
{
    g_helpViewer = std::move(viewer);
}

VtrXMLDocument* VtrFrameworkXMLDoc()
{
    return g_xmlDoc;
}

void SetXMLDoc(VtrXMLDocument* document)
{
    g_xmlDoc = document;
}

int32_t GetDataSettingsFolderPath(char16_t* buffer, int32_t* capacity)
{
    const QString path = CVTRFrameWrkUtils::GetDataSettingsFolder();
    const int32_t length = static_cast<int32_t>(path.size());
    if (buffer && capacity && *capacity > length) {
        std::memcpy(buffer, path.utf16(), sizeof(char16_t) * static_cast<size_t>(length));
        buffer[length] = u'\0';
    }
    return length;
}

void AreVSTARulesSupported(bool* supported)
{
    if (!supported)
        return;
    const QByteArray v = qgetenv("VTRPRO_VSTA_RULES");
    *supported = v.isEmpty() || (v != "0" && v.toLower() != "false" && v.toLower() != "no");
}

void ShowVTRHelp(const QString* helpFile, int32_t helpId, int32_t* result)
{
    if (result)
        *result = 0;
    if (!helpFile)
        return;
    // The help "file" names a folder of HTML pages beside it: vtrpro.chm ->
    // vtrpro/<id>.html, falling back to the folder's index page.
    QFileInfo info(*helpFile);
    QString base = info.absolutePath() + QLatin1Char('/') + info.completeBaseName();
    QString page = base + QStringLiteral("/%1.html").arg(helpId);
    // Users' stored rules have no pages of their own: theirs is the page of
    // the commands that create and edit them.
    if (!QFileInfo::exists(page) && vtr_db::IsStoredRuleHelpId(helpId))
        page = base + QStringLiteral("/1000.html");
    if (!QFileInfo::exists(page))
        page = base + QStringLiteral("/index.html");
    if (!QFileInfo::exists(page))
        return;
    QString opener = qEnvironmentVariable("VTRPRO_HELP_OPENER");
    if (opener.isEmpty() && g_helpViewer) {
        if (g_helpViewer(page) && result)
            *result = 1;
        return;
    }
    if (opener.isEmpty())
        opener = QStringLiteral("xdg-open");
    if (QProcess::startDetached(opener, {page}) && result)
        *result = 1;
}
