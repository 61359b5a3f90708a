#pragma once

// Registers the program's icons with Qt's resource system; the icons live in
// a static library, whose resource initialiser the linker may otherwise drop.
void InitAppResources();
