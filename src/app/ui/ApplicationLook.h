#pragma once

#include <QPalette>
#include <QString>

// The application looks 205 to 219: each a Qt style with a palette of its own.
namespace ApplicationLook {
// The look of a first start.
inline constexpr int kDefault = 219;
// Whether id is one of the looks.
bool IsValid(int id);
// The Qt style the look uses ("Windows" or "Fusion").
QString StyleName(int id);
// The palette of a look.
QPalette Palette(int id);
// Sets the style and palette on the whole application and repaints every window.
void Apply(int id);
} // namespace ApplicationLook
