// The review of the shipped rule catalogues: limits graded the right way
// round and parameters whose units follow what their names measure.

#include "CatalogueReview.h"
#include "ConcreteVTRRule.h"
#include "PtrArray.h"
#include "TestSupport.h"
#include "VtrLibrary.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "modules/ModuleContract.h"

#include <gtest/gtest.h>

#include <memory>

#include <QDir>

namespace {

// A rule holding one parameter element, read as the modules read theirs.
std::unique_ptr<ConcreteVTRRule> RuleWith(const QString& parameter)
{
    const QByteArray markup = (QStringLiteral(R"(<Rule Name="R" RuleCategory="General" RuleModule="M">)") + parameter
        + QStringLiteral("</Rule>"))
                                  .toUtf8();
    VtrXMLDocument document;
    std::unique_ptr<VtrXMLNode> root(document.LoadFromBuffer(markup.constData(), static_cast<size_t>(markup.size())));
    auto rule = std::make_unique<ConcreteVTRRule>();
    if (!root || !rule->PopulateParametersFromXML(root.get()))
        return nullptr;
    return rule;
}

QString Parameter(
    const char* name, const char* attributes, const char* op, const char* value, const char* recom, const char* alert)
{
    QString p = QStringLiteral(R"(<Parameter Name="%1" %2>)").arg(QLatin1String(name), QLatin1String(attributes));
    if (*op)
        p += QStringLiteral("<Operator>%1</Operator>").arg(QString::fromUtf8(op).toHtmlEscaped());
    p += QStringLiteral("<ParameterType>Double</ParameterType><Value>%1</Value>").arg(QLatin1String(value));
    if (*recom)
        p += QStringLiteral("<Recom>%1</Recom>").arg(QLatin1String(recom));
    if (*alert)
        p += QStringLiteral("<Alert>%1</Alert>").arg(QLatin1String(alert));
    return p + QStringLiteral("</Parameter>");
}

} // namespace

TEST(CatalogueReview, NamesSayWhatTheyMeasure)
{
    const struct
    {
        const char* name;
        const char* quantity;
    } cases[] = {
        { "Minimum hole diameter", "Length" },
        { "Plate thickness needing a bevel", "Length" },
        { "MaximumWallThickness", "Length" },
        { "Minimum distance from hole to edge", "Length" },
        { "Maximum flat area span", "Length" },
        { "Minimum draft angle", "Angle" },
        { "Additional draft per 0.025 mm of texture depth", "Angle" },
        { "Minimum face area", "Area" },
        { "Maximum area per vacuum port", "Area" },
        { "Minimum interference volume reported", "Volume" },
        { "Maximum number of distinct bend radii", "None" },
        { "Maximum depth to diameter ratio", "None" },
        { "Maximum mass in kilograms", "None" },
        { "Expected springback", "" },
        { "Minimum tolerance per 25 mm", "" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(QuantityNamed(QLatin1String(c.name)), QLatin1String(c.quantity)) << c.name;
}

TEST(CatalogueReview, FindsLimitsGradedTheWrongWayAndUnitsThatDoNotFollow)
{
    const struct
    {
        const char* label;
        QString parameter;
        const char* slip; // part of the one slip expected, or null for none
    } cases[] = {
        { "minimum in order", Parameter("Minimum width", R"(Type="1" UnitType="Length")", ">=", "4", "5", "3"),
            nullptr },
        { "maximum in order", Parameter("Maximum depth", R"(Type="1" UnitType="Length")", "<=", "50", "40", "60"),
            nullptr },
        { "limit equal to its recommended value",
            Parameter("Minimum width", R"(Type="1" UnitType="Length")", ">=", "6", "6", "4"), nullptr },
        { "switch without levels", Parameter("Report undercuts", R"(Type="4")", "=", "1", "", ""), nullptr },
        { "minimum with its alert above the recommended value (the old bevel thickness)",
            Parameter("Plate thickness needing a bevel", R"(Type="1" UnitType="Length")", ">=", "6", "6", "8"),
            "not below" },
        { "maximum with its alert below the recommended value",
            Parameter("Maximum depth", R"(Type="1" UnitType="Length")", "<=", "50", "40", "30"), "not above" },
        { "maximum with its alert inside the limit",
            Parameter("Maximum depth", R"(Type="1" UnitType="Length")", "<=", "50", "40", "45"), "between" },
        { "fixed value recommending another",
            Parameter("Drill point angle", R"(Type="1" UnitType="Angle")", "=", "118", "120", "140"), "differs" },
        { "unknown operator", Parameter("Minimum width", R"(Type="1" UnitType="Length")", "=>", "4", "5", "3"),
            "unknown operator" },
        { "area without a unit", Parameter("Minimum face area", R"(Type="1")", ">=", "0.01", "0.1", "0.001"),
            "says Area" },
        { "volume without a unit", Parameter("Minimum interference volume reported", R"(Type="1")", ">=", "1", "", ""),
            "says Volume" },
        { "angle measured as a length",
            Parameter("Minimum draft angle", R"(Type="1" UnitType="Length")", ">=", "1", "2", "0.5"), "says Angle" },
        { "ratio that would convert",
            Parameter("Minimum relief width in pitches", R"(Type="2" UnitType="Length")", ">=", "1", "2", "0.5"),
            "says None" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const auto rule = RuleWith(c.parameter);
        ASSERT_TRUE(rule);
        const QStringList slips = CatalogueSlips(*rule);
        if (!c.slip) {
            EXPECT_TRUE(slips.isEmpty()) << qPrintable(slips.join(QLatin1Char('\n')));
            continue;
        }
        ASSERT_EQ(slips.size(), 1) << qPrintable(slips.join(QLatin1Char('\n')));
        EXPECT_TRUE(slips.front().contains(QLatin1String(c.slip))) << qPrintable(slips.front());
    }
}

TEST(CatalogueReview, EveryShippedModuleCatalogueIsFreeOfSlips)
{
    const QStringList libraries = QDir(BinDir()).entryList(
        { QStringLiteral("*Rulesu") + QLatin1String(VtrLibrary::kSuffix) }, QDir::Files, QDir::Name);
    ASSERT_GE(libraries.size(), 21) << "the rule modules must be built beside the tests";
    int parameters = 0;
    QStringList slips;
    for (const QString& library : libraries) {
        void* handle = VtrLibrary::Load(BinDir() + QLatin1Char('/') + library);
        ASSERT_TRUE(handle) << qPrintable(VtrLibrary::LastError());
        auto getAll = reinterpret_cast<PFN_GetAllRules>(VtrLibrary::Find(handle, ModuleExports::kGetAllRules));
        auto release = reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(handle, ModuleExports::kDeleteRule));
        ASSERT_TRUE(getAll && release) << qPrintable(library);
        PtrArray rules;
        getAll(&rules);
        for (int32_t i = 0; i < rules.GetSize(); ++i) {
            auto* rule = static_cast<CVtrRule*>(rules.GetAt(i));
            if (const auto* concrete = dynamic_cast<const ConcreteVTRRule*>(rule)) {
                for (const QString& slip : CatalogueSlips(*concrete))
                    slips << library + QStringLiteral(": ") + slip;
                for (const VtrRuleItem& item : concrete->Items())
                    parameters += item.name == QLatin1String("Parameter") ? 1 : 0;
            }
            release(&rule);
        }
        VtrLibrary::Free(handle);
    }
    EXPECT_GT(parameters, 300);
    EXPECT_TRUE(slips.isEmpty()) << qPrintable(slips.join(QLatin1Char('\n')));
}
