#include "app/ui/ApplicationLook.h"

#include "app/CommandTable.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

namespace {
struct LookColors
{
    int id;
    bool classicStyle; // the flat "Windows" style of the older looks
    const char* window;
    const char* base;
    const char* highlight;
    bool dark;
};

// clang-format off
const LookColors kColors[] = {
    {205, true,  "#d4d0c8", "#ffffff", "#0a246a", false}, // Windows 2000
    {206, false, "#f7f6f3", "#ffffff", "#316ac5", false}, // Office XP
    {207, true,  "#ece9d8", "#ffffff", "#316ac5", false}, // Windows XP
    {208, false, "#c3daf9", "#ffffff", "#e8a33d", false}, // Office 2003
    {209, false, "#eeede5", "#ffffff", "#4b6983", false}, // Visual Studio 2005
    {210, false, "#d6dbe9", "#ffffff", "#3399ff", false}, // Visual Studio 2008
    {215, false, "#bfdbff", "#ffffff", "#f5b642", false}, // Office 2007 blue
    {216, false, "#3b3b3b", "#2a2a2a", "#f0a030", true},  // Office 2007 black
    {217, false, "#dde1e7", "#ffffff", "#8ea4c2", false}, // Office 2007 silver
    {218, false, "#c9e3e8", "#ffffff", "#3f9bb0", false}, // Office 2007 aqua
    {219, false, "#f0f0f0", "#ffffff", "#3399ff", false}, // Windows 7
};
// clang-format on

const LookColors* Find(int id)
{
    for (const LookColors& c : kColors)
        if (c.id == id)
            return &c;
    return nullptr;
}
} // namespace

namespace ApplicationLook {

bool IsValid(int id)
{
    return Find(id) != nullptr && CommandTable::IsLook(id);
}

QString StyleName(int id)
{
    const LookColors* c = Find(id);
    return c && c->classicStyle ? QStringLiteral("Windows") : QStringLiteral("Fusion");
}

QPalette Palette(int id)
{
    const LookColors* c = Find(id);
    if (!c)
        c = Find(kDefault);
    const QColor window(QLatin1String(c->window));
    QPalette p(window, window);
    p.setColor(QPalette::Base, QColor(QLatin1String(c->base)));
    p.setColor(QPalette::AlternateBase, window.lighter(c->dark ? 120 : 104));
    p.setColor(QPalette::Highlight, QColor(QLatin1String(c->highlight)));
    p.setColor(QPalette::HighlightedText, Qt::white);
    const QColor text = c->dark ? QColor(0xf0, 0xf0, 0xf0) : QColor(0x10, 0x10, 0x10);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, c->dark ? QColor(0x50, 0x50, 0x50) : QColor(0xff, 0xff, 0xe1));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Disabled, QPalette::WindowText, c->dark ? QColor(0x90, 0x90, 0x90) : QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, c->dark ? QColor(0x90, 0x90, 0x90) : QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::Text, c->dark ? QColor(0x90, 0x90, 0x90) : QColor(0x80, 0x80, 0x80));
    return p;
}

void Apply(int id)
{
    if (!IsValid(id))
        id = kDefault;
    const QString style = StyleName(id);
    if (!QApplication::style() || QApplication::style()->name().compare(style, Qt::CaseInsensitive) != 0) {
        if (QStyle* s = QStyleFactory::create(style))
            QApplication::setStyle(s);
    }
    QApplication::setPalette(Palette(id));
    for (QWidget* w : QApplication::topLevelWidgets())
        w->update();
}

} // namespace ApplicationLook
