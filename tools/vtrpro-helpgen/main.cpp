// Generates the help pages of the rules at build time: one page per rule of
// every catalogue and per shipped product rule, named by its help id, and the
// contents page (index.html) listing the topics and the rules by module.
//   vtrpro-helpgen OUTPUT_FOLDER TOPIC_FOLDER CATALOGUE.xml...
#include "HelpPages.h"

#include "VtrXMLDocument.h"

#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

// The catalogue reader's rules ask their module for a document only when
// they write elements, which the generator never does.
VtrXMLDocument* ModuleXMLDoc()
{
    return nullptr;
}

namespace {
bool Write(const QString& path, const QString& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.toUtf8());
    return file.commit();
}

int Fail(const QString& message)
{
    std::fprintf(stderr, "vtrpro-helpgen: %s\n", qPrintable(message));
    return 1;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3)
        return Fail(QStringLiteral("usage: vtrpro-helpgen OUTPUT_FOLDER TOPIC_FOLDER CATALOGUE.xml..."));
    const QString out = args[0];
    if (!QDir().mkpath(out))
        return Fail(QStringLiteral("cannot create %1").arg(out));
    const std::vector<HelpTopicPage> topics = ReadTopicPages(args[1]);

    QSet<int> taken;
    for (const HelpTopicPage& t : topics)
        taken.insert(QFileInfo(t.file).completeBaseName().toInt());
    std::vector<HelpModule> modules;
    // Two rules (or a rule and a topic) on one page would hide one of them.
    const auto writePages = [&](const QString& source, HelpModule module) {
        for (const HelpRule& rule : module.rules) {
            if (taken.contains(rule.helpId))
                return Fail(QStringLiteral("%1: help id %2 of \"%3\" is already taken")
                                .arg(source)
                                .arg(rule.helpId)
                                .arg(rule.name));
            taken.insert(rule.helpId);
            if (!Write(out + QStringLiteral("/%1.html").arg(rule.helpId), RulePage(module, rule)))
                return Fail(QStringLiteral("cannot write the page of %1").arg(rule.helpId));
        }
        modules.push_back(std::move(module));
        return 0;
    };
    for (const QString& catalogue : args.mid(2)) {
        HelpModule module;
        QString error;
        if (!ReadHelpModule(catalogue, module, error))
            return Fail(error);
        if (const int failed = writePages(catalogue, std::move(module)))
            return failed;
    }
    HelpModule products;
    QString error;
    if (!ReadProductRules(products, error))
        return Fail(error);
    if (const int failed = writePages(QStringLiteral("the product rules"), std::move(products)))
        return failed;
    if (!Write(out + QStringLiteral("/index.html"), IndexPage(modules, topics)))
        return Fail(QStringLiteral("cannot write the contents page"));
    return 0;
}
