#include "app/ui/AppResources.h"

#include <QtGlobal>

void InitAppResources()
{
    static bool done = false;
    if (!done) {
        Q_INIT_RESOURCE(icons);
        done = true;
    }
}
