#include "ModuleRule.h"

VtrXMLDocument* CVtrModuleRule::XMLDocForWriting() const
{
    // Without a document of its own the module builds in the framework's.
    if (VtrXMLDocument* doc = ModuleXMLDoc())
        return doc;
    return ConcreteVTRRule::XMLDocForWriting();
}
