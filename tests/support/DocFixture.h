#pragma once

// A document over the test rule module: an application context whose loaded
// rule module is VtrTestModuleu (three rules) with a stand-in database
// module, so the rule list fills as it does in the program.

#include "TestSupport.h"
#include "VtrLibrary.h"
#include "VtrRule.h"
#include "app/AppContext.h"
#include "document/VTRRuleBuilderDoc.h"
#include "modules/ModuleContract.h"

#include <memory>

#include <gtest/gtest.h>

#include <QFile>

class DocFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_app = std::make_unique<AppContext>();
        m_module = VtrLibrary::Load(QStringLiteral("VtrTestModuleu.so"));
        ASSERT_NE(m_module, nullptr) << VtrLibrary::LastError().toStdString();
        m_db = VtrLibrary::Load(QStringLiteral("VtrTestModuleNoDbListu.so"));
        ASSERT_NE(m_db, nullptr) << VtrLibrary::LastError().toStdString();
        ModuleSet& m = m_app->Modules();
        m.loadedRuleModules.Add(m_module);
        m.configuredRuleModules << VtrLibrary::FileName(m_module);
        m.loadedDbModules.Add(m_db);
    }
    void TearDown() override
    {
        m_app.reset();
        EXPECT_EQ(LiveRules(), 0) << "rules leaked or released twice";
        VtrLibrary::Free(m_db);
        VtrLibrary::Free(m_module);
    }
    // Rules of the test module that are alive.
    int32_t LiveRules() const
    {
        using Recorded = void (*)(QStringList*, int32_t*, VtrXMLDocument**, int32_t*);
        auto recorded = reinterpret_cast<Recorded>(VtrLibrary::Find(m_module, "TestModuleGetRecorded"));
        int32_t live = -1;
        if (recorded)
            recorded(nullptr, nullptr, nullptr, &live);
        return live;
    }
    // A rule file holding the named rules of the test module (and others).
    QString WriteRuleFile(const QString& name, const QList<QByteArray>& ruleElements)
    {
        QByteArray text = "<?xml version=\"1.0\"?>\n<VTRExpress Name=\"x\" Createdby=\"t\" CreatedOn=\"\" Unit=\"0\" "
                          "AngularUnit=\"0\" Version=\"v3.4\">\n";
        for (const QByteArray& e : ruleElements)
            text += "  " + e + "\n";
        text += "</VTRExpress>\n";
        const QString path = m_env.Path(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return path;
    }
    QByteArray TestRuleElement(const char* name, int selected = 1) const
    {
        QStringList categories;
        return QByteArray("<Rule Name=\"") + name + "\" DisplayName=\"" + name + "\" RuleCategory=\"" + Category()
            + "\" RuleModule=\"Test Rules\" Severity=\"2\" Selected=\"" + QByteArray::number(selected) + "\"/>";
    }
    // The category the test module gives its rules.
    static QByteArray Category();
    static QByteArray ReadAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Messages shown so far that start like the string of an id (its text up to the first "%s").
    int CountShown(const QString& start) const
    {
        int n = 0;
        for (const auto& s : m_messages.shown)
            n += s.text.startsWith(start) ? 1 : 0;
        return n;
    }

    ScopedTestEnv m_env;
    ScriptedMessages m_messages;
    ScriptedFileDialogs m_dialogs;
    std::unique_ptr<AppContext> m_app;
    void* m_module = nullptr;
    void* m_db = nullptr;
};

#include "VTRFrameWrkUtils.h"

inline QByteArray DocFixture::Category()
{
    QStringList categories;
    CVTRFrameWrkUtils::GetRuleCategoryStringList(categories);
    return categories.isEmpty() ? QByteArray() : categories.first().toUtf8();
}
