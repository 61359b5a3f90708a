#include "document/Fingerprint.h"

#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "document/VTRProMD5.h"

#include <memory>

QString RulesFingerprint(const VtrXMLNode* root)
{
    if (!root || root->IsNull())
        return {};
    Md5Stream md5;
    bool any = false;
    // Rule by rule, so no string of the whole file's markup is ever built.
    for (pugi::xml_node child = root->Native().child("Rule"); child; child = child.next_sibling("Rule")) {
        const VtrXMLNode node(child, root->Owner());
        md5.AddUtf16(node.GetXML());
        any = true;
    }
    if (!any)
        return {};
    return md5.Finish();
}

FingerprintStatus VerifyRuleFileFingerprint(const QString& path, QString* detail)
{
    VtrXMLDocument document;
    std::unique_ptr<VtrXMLNode> root(document.LoadFromFile(path));
    if (!root) {
        if (detail)
            *detail = document.LastError();
        return FingerprintStatus::Unreadable;
    }
    if (root->GetNodeName() != QLatin1String("VTRExpress")) {
        if (detail)
            *detail = QStringLiteral("root element is \"%1\", not \"VTRExpress\"").arg(root->GetNodeName());
        return FingerprintStatus::Unreadable;
    }
    QString password;
    QString stored;
    root->GetAttributeValue(QStringLiteral("Password"), password);
    root->GetAttributeValue(QStringLiteral("RulesData"), stored);
    if (password.isEmpty() || stored.isEmpty())
        return FingerprintStatus::Unprotected;
    return RulesFingerprint(root.get()) == stored ? FingerprintStatus::Matches : FingerprintStatus::Modified;
}
