#include "VtrWindowPlacement.h"

#include <algorithm>

namespace {
QString Key(const QString& name, const char* field)
{
    return QStringLiteral("Windows/%1/%2").arg(name, QLatin1String(field));
}

// Far beyond any screen: a stored value past it is damage, not a place.
constexpr int kLargestCoordinate = 1 << 20;
} // namespace

QRect VtrFitWindowRect(const QRect& wanted, const QRect& available, const QMargins& frame)
{
    if (available.isEmpty())
        return wanted;
    const QRect room = available.marginsRemoved(frame);
    if (room.isEmpty())
        return wanted;
    const int width = std::clamp(wanted.width(), 1, room.width());
    const int height = std::clamp(wanted.height(), 1, room.height());
    // left() and right() are inclusive: the last left edge that keeps the width inside is right() - width + 1.
    const int x = std::clamp(wanted.x(), room.left(), room.right() - width + 1);
    const int y = std::clamp(wanted.y(), room.top(), room.bottom() - height + 1);
    return QRect(x, y, width, height);
}

QRect VtrCentredWindowRect(const QSize& preferred, const QRect& available, const QMargins& frame)
{
    QRect wanted(QPoint(0, 0), preferred);
    if (!available.isEmpty())
        wanted.moveCenter(available.center());
    return VtrFitWindowRect(wanted, available, frame);
}

std::optional<VtrWindowPlace> VtrLoadWindowPlace(const QSettings& settings, const QString& name)
{
    const QVariant stored = settings.value(Key(name, "Geometry"));
    if (!stored.isValid())
        return std::nullopt;
    const QRect geometry = stored.toRect();
    const auto sane = [](int v) { return v > -kLargestCoordinate && v < kLargestCoordinate; };
    if (geometry.isEmpty() || !sane(geometry.x()) || !sane(geometry.y()) || !sane(geometry.width())
        || !sane(geometry.height()))
        return std::nullopt;
    VtrWindowPlace place;
    place.geometry = geometry;
    place.maximized = settings.value(Key(name, "Maximized"), false).toBool();
    return place;
}

void VtrSaveWindowPlace(QSettings& settings, const QString& name, const VtrWindowPlace& place)
{
    settings.setValue(Key(name, "Geometry"), place.geometry);
    settings.setValue(Key(name, "Maximized"), place.maximized);
}
