#include "ProductData.h"

#include <gtest/gtest.h>

using namespace vtr_db;

namespace {
const ProductColumn& Column(ProductTable table, const char* name)
{
    return ProductColumns(table)[static_cast<size_t>(ProductColumnIndex(table, name))];
}

// A row of the table with the named values set (numbers as doubles).
ProductRow MakeRow(ProductTable table, std::initializer_list<std::pair<const char*, QVariant>> values)
{
    ProductRow row;
    row.values.resize(static_cast<qsizetype>(ProductColumns(table).size()));
    for (const auto& [name, value] : values)
        row.values[ProductColumnIndex(table, name)] = value;
    return row;
}
} // namespace

struct ParseCase
{
    ProductTable table;
    const char* column;
    const char* text;
    bool accepted;
    QVariant value; // when accepted
    const char* reason; // part of the refusal
};

TEST(ProductData, TypedValuesAreParsedAndCheckedByColumn)
{
    const ParseCase cases[] = {
        { ProductTable::Materials, "Density", "7850", true, 7850.0, "" },
        { ProductTable::Materials, "Density", " 2,7e3 ", true, 2700.0, "" },
        { ProductTable::Materials, "Density", "", true, QVariant(), "" },
        { ProductTable::Materials, "Density", "heavy", false, {}, "must be a number" },
        { ProductTable::Materials, "Density", "0", false, {}, "between 1 and 25000" },
        { ProductTable::Materials, "Density", "nan", false, {}, "must be a number" },
        { ProductTable::Materials, "Name", "  ", false, {}, "must not be empty" },
        { ProductTable::Materials, "Name", " ABS ", true, QStringLiteral("ABS"), "" },
        { ProductTable::Threads, "Standard", "unified", true, QStringLiteral("Unified"), "" },
        { ProductTable::Threads, "Standard", "BSW", false, {}, "must be one of: ISO metric, Unified" },
        { ProductTable::Threads, "Pitch", "", false, {}, "must not be empty" },
        { ProductTable::Fasteners, "Pitch", "", true, QVariant(), "" },
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(std::string(c.column) + " <- \"" + c.text + "\"");
        QVariant value;
        QString error;
        EXPECT_EQ(ParseProductValue(Column(c.table, c.column), QString::fromUtf8(c.text), value, error), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(value, c.value);
            EXPECT_TRUE(error.isEmpty());
        } else {
            EXPECT_TRUE(error.contains(QString::fromUtf8(c.reason))) << qPrintable(error);
            EXPECT_FALSE(value.isValid());
        }
    }
}

TEST(ProductData, RowChecksRelateColumns)
{
    struct Case
    {
        ProductTable table;
        ProductRow row;
        const char* problem; // empty: the row is fine
    };
    const Case cases[] = {
        { ProductTable::Threads,
            MakeRow(ProductTable::Threads,
                { { "Standard", "ISO metric" }, { "Designation", "M6x1" }, { "MajorDiameter", 6.0 }, { "Pitch", 1.0 },
                    { "TapDrill", 5.0 } }),
            "" },
        { ProductTable::Threads,
            MakeRow(ProductTable::Threads,
                { { "Standard", "ISO metric" }, { "Designation", "M6x1" }, { "MajorDiameter", 6.0 }, { "Pitch", 1.0 },
                    { "TapDrill", 6.5 } }),
            "Tap drill must be below the major diameter" },
        { ProductTable::Threads, MakeRow(ProductTable::Threads, { { "Designation", "M6x1" } }), "must not be empty" },
        { ProductTable::Materials,
            MakeRow(ProductTable::Materials,
                { { "Name", "Weak steel" }, { "YieldStrength", 400.0 }, { "TensileStrength", 300.0 } }),
            "Tensile strength must not be below yield strength" },
        { ProductTable::Materials, MakeRow(ProductTable::Materials, { { "Name", "Unknown alloy" } }), "" },
        { ProductTable::Fasteners,
            MakeRow(ProductTable::Fasteners,
                { { "Type", "Hex bolt" }, { "Size", "M8" }, { "MinLength", 50.0 }, { "MaxLength", 20.0 } }),
            "Max length must not be below min length" },
        { ProductTable::Fasteners, MakeRow(ProductTable::Fasteners, { { "Type", "Washer" }, { "Size", "M8" } }), "" },
        { ProductTable::Fasteners, ProductRow { 0, { QStringLiteral("Hex bolt") }, 0, {}, {} }, "values where" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        const QString problem = CheckProductRow(c.table, c.row);
        if (*c.problem == '\0')
            EXPECT_TRUE(problem.isEmpty()) << qPrintable(problem);
        else
            EXPECT_TRUE(problem.contains(QString::fromUtf8(c.problem))) << qPrintable(problem);
    }
}

TEST(ProductData, TheProcessMapCoversTheTwelveProcessesInOrder)
{
    const QStringList expected
        = { "Prismatic Mill", "Sheet Metal", "Tubing", "Turn", "Injection Molding", "Die Casting", "Casting",
              "Sand Casting", "Investment Casting", "Additive Manufacturing", "Sheet Metal Forming", "Composite" };
    EXPECT_EQ(ManufacturingProcesses(), expected);
}
