// The pages of the product rules that the configurator ships: they are
// rules like any other, so F1 on one opens its own page.
#include "HelpPages.h"

#include "PLQRuleConfigurator.h"
#include "ProductRuleCatalogue.h"
#include "RuleMarkup.h"

bool ReadProductRules(HelpModule& module, QString& error)
{
    module.library = QStringLiteral("PLQRuleConfiguratoru");
    module.name = QStringLiteral("Product Rules");
    module.summary = QStringLiteral("Rules of the product line, kept by the product-rule configurator.");
    module.rules.clear();
    const ProductRuleEntry* entries = ProductRuleCatalogue::Entries();
    for (int i = 0; i < ProductRuleCatalogue::Count(); ++i) {
        const auto rule = RuleFromMarkup(QString::fromUtf8(entries[i].element));
        if (!rule) {
            error = QStringLiteral("product rule %1 of %2 is not a usable rule element").arg(i).arg(entries[i].key);
            return false;
        }
        HelpRule page = HelpRuleOf(*rule, QString());
        // The element carries no summary; the rule list shows the entry's.
        page.summary = QString::fromUtf8(entries[i].summary);
        module.rules.push_back(std::move(page));
    }
    return true;
}
