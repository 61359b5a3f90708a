#pragma once

#include "ConcreteVTRRule.h"

// A rule of a rule module. It reads and writes its element like the
// framework's own rule; only the document it builds elements in differs: the
// one handed to its module, when there is one.
class CVtrModuleRule : public ConcreteVTRRule
{
public:
    CVtrModuleRule() = default;
    CVtrModuleRule(const CVtrModuleRule&) = default;
    CVtrModuleRule& operator=(const CVtrModuleRule&) = default;
    ~CVtrModuleRule() override = default;

protected:
    VtrXMLDocument* XMLDocForWriting() const override;
};

// The document handed to this module by SetXMLDoc, or null.
VtrXMLDocument* ModuleXMLDoc();
