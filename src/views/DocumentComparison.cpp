#include "views/DocumentComparison.h"

#include "VtrRule.h"
#include "document/CanonicalRuleText.h"
#include "document/FileDetails.h"
#include "document/RuleFile.h"
#include "document/VTRRuleBuilderDoc.h"

#include <unordered_set>
#include <utility>
#include <vector>

#include <QRegularExpression>
#include <QTemporaryDir>

namespace {
const QString kAbsent = QStringLiteral("(none)");
const QString kPresent = QStringLiteral("present");

// Writes the document's rules as a save would now (an unticked rule the
// document held stays, marked as not ticked), without touching the
// document: its rules keep their numbers.
bool WriteDocument(CVTRRuleBuilderDoc& doc, const QString& path)
{
    CVTRFileDetails record;
    record.name = path;
    record.units = doc.CurrentUnits();
    std::vector<std::pair<CVtrRule*, int32_t>> numbers;
    doc.SelectedRules().ForEach([&](CVtrRule* rule) {
        numbers.emplace_back(rule, rule->GetSequenceNumber());
        record.AddRule(rule);
    });
    const bool written = WriteRuleFile(record, path, false);
    for (const auto& [rule, number] : numbers)
        rule->SetSequenceNumber(number);
    record.ClearRules();
    return written;
}

// The other file with its rules in the given units (see CompareDocumentWithFile).
bool ReadInUnits(CVTRRuleBuilderDoc& doc, const QString& path, const RuleUnits& units, const QString& scratch,
    CanonicalRuleFile& out, QString& error)
{
    if (!ReadCanonicalRuleFile(path, out, error))
        return false;
    if (CanonicalFileUnits(out) == units)
        return true;
    CVTRFileDetails record;
    const bool read = ReadRuleFile(record, path);
    // The rules read belong to their modules; the document knows how to release them.
    struct Release
    {
        CVTRRuleBuilderDoc& doc;
        CVTRFileDetails& record;
        ~Release()
        {
            for (CVtrRule* rule : record.Rules()) {
                CVtrRule* r = rule;
                doc.DeleteRule(r);
            }
            record.ClearRules();
        }
    } release { doc, record };
    if (!read) {
        error = QStringLiteral("it is not a readable rule file");
        return false;
    }
    size_t unconverted = 0;
    return ConvertCanonicalFile(record, units, scratch, out, unconverted, error);
}
} // namespace

bool CompareDocumentWithFile(CVTRRuleBuilderDoc& doc, const QString& otherPath, RuleFileComparison& out, QString& error)
{
    out = {};
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        error = QStringLiteral("no scratch folder can be made");
        return false;
    }
    const QString here = scratch.filePath(QStringLiteral("this.vtr"));
    CanonicalRuleFile a;
    if (!WriteDocument(doc, here) || !ReadCanonicalRuleFile(here, a, error)) {
        error = QStringLiteral("This document cannot be written for the comparison.");
        return false;
    }
    CanonicalRuleFile b;
    QString why;
    if (!ReadInUnits(doc, otherPath, doc.CurrentUnits(), scratch.filePath(QStringLiteral("other.vtr")), b, why)) {
        error = QStringLiteral("%1 cannot be read: %2").arg(otherPath, why);
        return false;
    }
    out = CompareRuleFiles(a, b);
    return true;
}

QString ComparisonCountText(const RuleFileComparison& comparison)
{
    return QStringLiteral("%1 rules only here, %2 only there, %3 settings differ")
        .arg(comparison.onlyInA.size())
        .arg(comparison.onlyInB.size())
        .arg(comparison.settings.size());
}

QString ComparedRuleOwner(const QString& owner)
{
    if (owner.startsWith(QLatin1Char('(')) || !owner.contains(QLatin1Char('/')))
        return {};
    static const QRegularExpression numbered(QStringLiteral(" #\\d+$"));
    QString plain = owner;
    plain.remove(numbered);
    return plain;
}

ComparisonModel::ComparisonModel(QObject* parent)
    : QAbstractTableModel(parent)
{ }

void ComparisonModel::SetComparison(RuleFileComparison comparison)
{
    beginResetModel();
    m_comparison = std::move(comparison);
    endResetModel();
}

int ComparisonModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(m_comparison.onlyInA.size() + m_comparison.onlyInB.size() + m_comparison.settings.size());
}

int ComparisonModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString ComparisonModel::Text(int row, int column) const
{
    if (row < 0 || row >= rowCount())
        return {};
    auto r = static_cast<size_t>(row);
    const size_t onlyA = m_comparison.onlyInA.size();
    const size_t onlyB = m_comparison.onlyInB.size();
    if (r < onlyA + onlyB) {
        const bool here = r < onlyA;
        const std::string& rule = here ? m_comparison.onlyInA[r] : m_comparison.onlyInB[r - onlyA];
        switch (column) {
        case RuleColumn:
            return QString::fromStdString(rule);
        case SettingColumn:
            return QStringLiteral("(rule)");
        case HereColumn:
            return here ? kPresent : kAbsent;
        case ThereColumn:
            return here ? kAbsent : kPresent;
        default:
            return {};
        }
    }
    const SettingDifference& d = m_comparison.settings[r - onlyA - onlyB];
    switch (column) {
    case RuleColumn:
        return QString::fromStdString(d.rule);
    case SettingColumn:
        return QString::fromStdString(d.setting);
    case HereColumn:
        return d.a ? QString::fromStdString(*d.a) : kAbsent;
    case ThereColumn:
        return d.b ? QString::fromStdString(*d.b) : kAbsent;
    default:
        return {};
    }
}

QVariant ComparisonModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return Text(index.row(), index.column());
}

QVariant ComparisonModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kHeaders[] = { "Rule", "Setting", "This file", "The other file" };
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section]) : QVariant();
}
