#include "ProductData.h"

#include <cmath>
#include <cstring>

#include <QLocale>

namespace vtr_db {

namespace {
constexpr double kNoLimit = 1e12;

ProductColumn TextColumn(const char* sqlName, const char* label, bool required = false, bool unique = false)
{
    return ProductColumn { sqlName, label, ColumnKind::Text, required, unique, 0, 0, {} };
}

ProductColumn NumberColumn(const char* sqlName, const char* label, bool required, double minimum, double maximum)
{
    return ProductColumn { sqlName, label, ColumnKind::Number, required, false, minimum, maximum, {} };
}

QString FormatNumber(double value)
{
    return QLocale::c().toString(value, 'g', 12);
}

// A number of the row, or NaN when the column is empty or not a number.
double NumberAt(const ProductRow& row, ProductTable table, const char* sqlName)
{
    const int index = ProductColumnIndex(table, sqlName);
    if (index < 0 || index >= row.values.size() || !row.values[index].isValid())
        return std::nan("");
    bool ok = false;
    const double value = row.values[index].toDouble(&ok);
    return ok ? value : std::nan("");
}
} // namespace

const char* ProductSqlTable(ProductTable table)
{
    switch (table) {
    case ProductTable::Fasteners:
        return "Fasteners";
    case ProductTable::Threads:
        return "Threads";
    case ProductTable::Materials:
        break;
    }
    return "Materials";
}

const char* ProductSqlId(ProductTable table)
{
    switch (table) {
    case ProductTable::Fasteners:
        return "FastenerId";
    case ProductTable::Threads:
        return "ThreadId";
    case ProductTable::Materials:
        break;
    }
    return "MaterialId";
}

const std::vector<ProductColumn>& ProductColumns(ProductTable table)
{
    // Lengths and diameters in millimetres, strengths in MPa, the elastic
    // modulus in GPa and the density in kg/m3.
    static const std::vector<ProductColumn> fasteners = {
        TextColumn("Type", "Type", true),
        TextColumn("Standard", "Standard"),
        TextColumn("Size", "Size", true),
        NumberColumn("Pitch", "Thread pitch (mm)", false, 0.1, 10),
        NumberColumn("MinLength", "Min length (mm)", false, 0.5, 2000),
        NumberColumn("MaxLength", "Max length (mm)", false, 0.5, 2000),
        TextColumn("Head", "Head"),
        TextColumn("Drive", "Drive"),
        TextColumn("Material", "Material"),
    };
    static const std::vector<ProductColumn> threads = {
        ProductColumn { "Standard", "Standard", ColumnKind::Choice, true, false, 0, 0, { "ISO metric", "Unified" } },
        TextColumn("Designation", "Designation", true, true),
        NumberColumn("MajorDiameter", "Major diameter (mm)", true, 0.3, 1000),
        NumberColumn("Pitch", "Pitch (mm)", true, 0.05, 10),
        NumberColumn("TapDrill", "Tap drill (mm)", true, 0.1, 1000),
    };
    static const std::vector<ProductColumn> materials = {
        TextColumn("Name", "Material", true, true),
        TextColumn("Family", "Family"),
        NumberColumn("Density", "Density (kg/m3)", false, 1, 25000),
        NumberColumn("YieldStrength", "Yield strength (MPa)", false, 0, 5000),
        NumberColumn("TensileStrength", "Tensile strength (MPa)", false, 0, 5000),
        NumberColumn("ElasticModulus", "Elastic modulus (GPa)", false, 0.0001, 1200),
        TextColumn("Hardness", "Hardness"),
        ProductColumn { "Processes", "Processes", ColumnKind::ProcessSet, false, false, 0, 0, {} },
    };
    switch (table) {
    case ProductTable::Fasteners:
        return fasteners;
    case ProductTable::Threads:
        return threads;
    case ProductTable::Materials:
        break;
    }
    return materials;
}

int ProductColumnIndex(ProductTable table, const char* sqlName)
{
    const std::vector<ProductColumn>& columns = ProductColumns(table);
    for (size_t i = 0; i < columns.size(); ++i)
        if (std::strcmp(columns[i].sqlName, sqlName) == 0)
            return static_cast<int>(i);
    return -1;
}

const QStringList& ManufacturingProcesses()
{
    static const QStringList processes
        = { "Prismatic Mill", "Sheet Metal", "Tubing", "Turn", "Injection Molding", "Die Casting", "Casting",
              "Sand Casting", "Investment Casting", "Additive Manufacturing", "Sheet Metal Forming", "Composite" };
    return processes;
}

bool ParseProductValue(const ProductColumn& column, const QString& text, QVariant& value, QString& error)
{
    const QString label = QString::fromUtf8(column.label);
    const QString trimmed = text.trimmed();
    value = QVariant();
    error.clear();
    if (trimmed.isEmpty()) {
        if (column.required) {
            error = QStringLiteral("%1 must not be empty.").arg(label);
            return false;
        }
        return true;
    }
    switch (column.kind) {
    case ColumnKind::Text:
        value = trimmed;
        return true;
    case ColumnKind::Choice:
        for (const QString& choice : column.choices) {
            if (choice.compare(trimmed, Qt::CaseInsensitive) == 0) {
                value = choice;
                return true;
            }
        }
        error = QStringLiteral("%1 must be one of: %2.").arg(label, column.choices.join(QStringLiteral(", ")));
        return false;
    case ColumnKind::Number: {
        QString number = trimmed;
        number.replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = false;
        const double parsed = QLocale::c().toDouble(number, &ok);
        if (!ok || !std::isfinite(parsed)) {
            error = QStringLiteral("%1 must be a number, not \"%2\".").arg(label, trimmed);
            return false;
        }
        if (parsed < column.minimum || parsed > column.maximum) {
            error = QStringLiteral("%1 must be between %2 and %3.")
                        .arg(label, FormatNumber(column.minimum), FormatNumber(column.maximum));
            return false;
        }
        value = parsed;
        return true;
    }
    case ColumnKind::ProcessSet:
        value = trimmed.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        return true;
    }
    return false;
}

QString CheckProductRow(ProductTable table, const ProductRow& row)
{
    const std::vector<ProductColumn>& columns = ProductColumns(table);
    if (row.values.size() != static_cast<qsizetype>(columns.size()))
        return QStringLiteral("The row has %1 values where %2 are expected.")
            .arg(row.values.size())
            .arg(columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
        const ProductColumn& column = columns[i];
        const QVariant& value = row.values[static_cast<qsizetype>(i)];
        if (column.kind == ColumnKind::ProcessSet)
            continue;
        // Stored values pass the same check as typed ones.
        QVariant parsed;
        QString error;
        const QString text = value.isValid() ? value.toString() : QString();
        if (!ParseProductValue(column, text, parsed, error))
            return error;
    }
    const auto less = [](double a, double b) { return !std::isnan(a) && !std::isnan(b) && a < b; };
    switch (table) {
    case ProductTable::Fasteners:
        if (less(NumberAt(row, table, "MaxLength"), NumberAt(row, table, "MinLength")))
            return QStringLiteral("Max length must not be below min length.");
        break;
    case ProductTable::Threads:
        if (!less(NumberAt(row, table, "TapDrill"), NumberAt(row, table, "MajorDiameter")))
            return QStringLiteral("Tap drill must be below the major diameter.");
        if (!less(NumberAt(row, table, "Pitch"), NumberAt(row, table, "MajorDiameter")))
            return QStringLiteral("Pitch must be below the major diameter.");
        break;
    case ProductTable::Materials:
        if (less(NumberAt(row, table, "TensileStrength"), NumberAt(row, table, "YieldStrength")))
            return QStringLiteral("Tensile strength must not be below yield strength.");
        break;
    }
    return {};
}

} // namespace vtr_db
