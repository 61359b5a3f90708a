#include "views/RuleDefaultsMarks.h"

#include "VtrRule.h"
#include "document/FileDetails.h"
#include "document/RuleFile.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/RuleListController.h"

#include <algorithm>
#include <utility>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSet>
#include <QThread>

QString DifferingRuleKey(const QString& name, const QString& category)
{
    return name.toLower() + QChar(0x1f) + category.toLower();
}

namespace {
// A listing line named for people.
QString SettingName(const std::string& key, const QString& owner)
{
    QString what;
    if (key == "Severity")
        return QStringLiteral("criticality");
    if (key == "Type")
        return owner + QStringLiteral(": type");
    if (key == "Recom")
        what = QStringLiteral("recommended value");
    else if (key == "Alert")
        what = QStringLiteral("alert value");
    else if (key == "Value")
        what = QStringLiteral("value");
    else if (key == "Operator")
        what = QStringLiteral("operator");
    else
        what = QString::fromStdString(key);
    return owner.isEmpty() ? what : owner + QStringLiteral(": ") + what;
}

// Parameters and constraints open with their "Type" line; the lines after
// it belong to the one it opens, named by its place in the rule.
struct Context
{
    int opened = 0;
    QString owner;
    void Follow(const SettingsLine& line)
    {
        if (line.key == "Type")
            owner = QStringLiteral("parameter %1").arg(++opened);
    }
};
} // namespace

QStringList DifferingSettingNames(const std::vector<SettingsLine>& current, const std::vector<SettingsLine>& defaults)
{
    QStringList names;
    QSet<QString> seen;
    auto add = [&](const SettingsLine& line, const Context& context) {
        QString name = SettingName(line.key, context.owner);
        if (!seen.contains(name)) {
            seen.insert(name);
            names.append(std::move(name));
        }
    };
    // The listings follow the elements in order, so lines pair by place;
    // a listing longer than the other differs in every line past the end.
    Context a;
    Context b;
    const size_t common = std::min(current.size(), defaults.size());
    for (size_t i = 0; i < common; ++i) {
        a.Follow(current[i]);
        b.Follow(defaults[i]);
        if (!(current[i] == defaults[i]))
            add(current[i], a);
    }
    for (size_t i = common; i < current.size(); ++i) {
        a.Follow(current[i]);
        add(current[i], a);
    }
    for (size_t i = common; i < defaults.size(); ++i) {
        b.Follow(defaults[i]);
        add(defaults[i], b);
    }
    return names;
}

bool FindDifferingRules(const QString& currentPath, const QString& defaultsPath, QHash<QString, QStringList>& out)
{
    out.clear();
    RuleSettingsReport report;
    if (!report.Load(currentPath, defaultsPath))
        return false;
    for (const RuleElementIndex::RuleKey& rule : report.Current().Rules()) {
        if (IsNeverResetRule(rule.name))
            continue;
        const auto& defaults = report.Defaults().Elements(rule.name, rule.category);
        if (defaults.empty())
            continue;
        const std::vector<SettingsLine> now
            = RuleSettingsLines(report.Current().Elements(rule.name, rule.category), rule.name);
        const std::vector<SettingsLine> then = RuleSettingsLines(defaults, rule.name);
        if (now == then)
            continue;
        out.insert(DifferingRuleKey(rule.name, rule.category), DifferingSettingNames(now, then));
    }
    return true;
}

bool WriteListedRulesForMarks(const RuleListController& list, const QString& path)
{
    const CVTRRuleBuilderDoc* doc = list.Document();
    if (!doc)
        return false;
    CVTRFileDetails record;
    record.name = path;
    record.units = doc->CurrentUnits();
    // Adding numbers the rules; the document's own numbering is put back.
    std::vector<std::pair<CVtrRule*, int32_t>> numbers;
    numbers.reserve(list.Pool().Size());
    list.Pool().ForEach([&](CVtrRule* rule) {
        numbers.emplace_back(rule, rule->GetSequenceNumber());
        record.AddRule(rule);
    });
    const bool written = WriteRuleFile(record, path, false);
    for (const auto& [rule, number] : numbers)
        rule->SetSequenceNumber(number);
    record.ClearRules();
    return written;
}

QHash<const CVtrRule*, QStringList> DifferingListedRules(
    const RuleListController& list, const QHash<QString, QStringList>& found)
{
    QHash<const CVtrRule*, QStringList> out;
    if (found.isEmpty())
        return out;
    list.Pool().ForEach([&](CVtrRule* rule) {
        const auto it = found.constFind(DifferingRuleKey(rule->GetRuleName(), rule->GetRuleCategory()));
        if (it != found.constEnd())
            out.insert(rule, it.value());
    });
    return out;
}

RuleDefaultsMarker::RuleDefaultsMarker(QObject* parent)
    : QObject(parent)
{ }

RuleDefaultsMarker::~RuleDefaultsMarker()
{
    for (QThread* thread : std::as_const(m_threads)) {
        thread->wait();
        delete thread;
    }
}

void RuleDefaultsMarker::Start(const QString& currentPath, const QString& defaultsPath, bool removeCurrent)
{
    const quint64 generation = ++m_generation;
    QThread* thread = QThread::create([this, generation, currentPath, defaultsPath, removeCurrent] {
        QHash<QString, QStringList> found;
        const bool loaded = FindDifferingRules(currentPath, defaultsPath, found);
        if (removeCurrent)
            QFile::remove(currentPath);
        // Only the newest start is reported; the object's thread emits it.
        QMetaObject::invokeMethod(
            this,
            [this, generation, found = std::move(found), loaded] {
                if (generation == m_generation)
                    emit Found(found, loaded);
            },
            Qt::QueuedConnection);
    });
    // A child, so that a worker whose deletion is still pending goes with this object.
    thread->setParent(this);
    connect(thread, &QThread::finished, this, [this, thread] {
        m_threads.removeOne(thread);
        thread->deleteLater();
    });
    m_threads.append(thread);
    thread->start(QThread::LowPriority);
}

bool RuleDefaultsMarker::WaitIdle(int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!m_threads.isEmpty()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    // The result is posted after the worker ends its work; let it arrive.
    QCoreApplication::processEvents();
    return true;
}
