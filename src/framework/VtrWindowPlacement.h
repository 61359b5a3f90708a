#pragma once

#include <optional>

#include <QMargins>
#include <QRect>
#include <QSettings>
#include <QSize>
#include <QString>

// Where windows go on the screen: the program's main window and the editors
// of the product family fit the screen's available area and open where the
// user last left them. Qt Core only; the windows hand in their screen's area.

// The frame a window manager adds around a window that is not shown yet:
// room for a title bar and thin borders.
inline const QMargins kVtrAssumedWindowFrame(4, 30, 4, 4);

// The client rectangle of a window wanted at wanted on a screen whose
// available area is available: no larger than that area less the frame, and
// moved (not shrunk further) so that the framed window lies wholly inside it.
// An empty available area changes nothing.
QRect VtrFitWindowRect(const QRect& wanted, const QRect& available, const QMargins& frame = kVtrAssumedWindowFrame);

// A window of size preferred in the middle of available, fitted.
QRect VtrCentredWindowRect(const QSize& preferred, const QRect& available,
    const QMargins& frame = kVtrAssumedWindowFrame);

// Where a window was left: its normal (not maximized) rectangle and whether
// it was maximized.
struct VtrWindowPlace
{
    QRect geometry;
    bool maximized = false;
};

// The place stored under name in settings, or nothing when none is stored or
// what is stored is not a usable rectangle.
std::optional<VtrWindowPlace> VtrLoadWindowPlace(const QSettings& settings, const QString& name);
// Stores a place under name (group "Windows/<name>").
void VtrSaveWindowPlace(QSettings& settings, const QString& name, const VtrWindowPlace& place);
