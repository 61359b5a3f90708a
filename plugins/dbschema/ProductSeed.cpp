#include "ProductSeed.h"

#include <cmath>
#include <cstring>

#include <QStringList>

namespace {
// An absent number (no yield point, a fastener without thread or length).
constexpr double kNone = NAN;

struct SeedThread
{
    const char* standard;
    const char* designation;
    double majorDiameter; // mm
    double pitch; // mm
    double tapDrill; // mm
};

// Coarse and common fine ISO metric threads with their usual tap drills, and
// unified threads (pitch 25.4 / threads per inch, the tap drill of the
// customary letter, number or fraction drill).
const SeedThread kThreads[] = {
    { "ISO metric", "M1.6x0.35", 1.6, 0.35, 1.25 },
    { "ISO metric", "M2x0.4", 2, 0.4, 1.6 },
    { "ISO metric", "M2.5x0.45", 2.5, 0.45, 2.05 },
    { "ISO metric", "M3x0.5", 3, 0.5, 2.5 },
    { "ISO metric", "M4x0.7", 4, 0.7, 3.3 },
    { "ISO metric", "M5x0.8", 5, 0.8, 4.2 },
    { "ISO metric", "M6x1", 6, 1, 5 },
    { "ISO metric", "M8x1.25", 8, 1.25, 6.8 },
    { "ISO metric", "M8x1", 8, 1, 7 },
    { "ISO metric", "M10x1.5", 10, 1.5, 8.5 },
    { "ISO metric", "M10x1.25", 10, 1.25, 8.8 },
    { "ISO metric", "M12x1.75", 12, 1.75, 10.2 },
    { "ISO metric", "M12x1.5", 12, 1.5, 10.5 },
    { "ISO metric", "M14x2", 14, 2, 12 },
    { "ISO metric", "M16x2", 16, 2, 14 },
    { "ISO metric", "M16x1.5", 16, 1.5, 14.5 },
    { "ISO metric", "M20x2.5", 20, 2.5, 17.5 },
    { "ISO metric", "M24x3", 24, 3, 21 },
    { "ISO metric", "M30x3.5", 30, 3.5, 26.5 },
    { "Unified", "#4-40 UNC", 2.845, 0.635, 2.26 },
    { "Unified", "#6-32 UNC", 3.505, 0.794, 2.71 },
    { "Unified", "#8-32 UNC", 4.166, 0.794, 3.45 },
    { "Unified", "#10-24 UNC", 4.826, 1.058, 3.8 },
    { "Unified", "#10-32 UNF", 4.826, 0.794, 4.04 },
    { "Unified", "1/4-20 UNC", 6.35, 1.27, 5.11 },
    { "Unified", "1/4-28 UNF", 6.35, 0.907, 5.41 },
    { "Unified", "5/16-18 UNC", 7.938, 1.411, 6.53 },
    { "Unified", "5/16-24 UNF", 7.938, 1.058, 6.91 },
    { "Unified", "3/8-16 UNC", 9.525, 1.588, 7.94 },
    { "Unified", "3/8-24 UNF", 9.525, 1.058, 8.43 },
    { "Unified", "7/16-14 UNC", 11.113, 1.814, 9.35 },
    { "Unified", "1/2-13 UNC", 12.7, 1.954, 10.72 },
    { "Unified", "1/2-20 UNF", 12.7, 1.27, 11.51 },
    { "Unified", "5/8-11 UNC", 15.875, 2.309, 13.49 },
    { "Unified", "3/4-10 UNC", 19.05, 2.54, 16.67 },
    { "Unified", "1-8 UNC", 25.4, 3.175, 22.23 },
};

struct SeedMaterial
{
    const char* name;
    const char* family;
    double density; // kg/m3
    double yieldStrength; // MPa
    double tensileStrength; // MPa
    double elasticModulus; // GPa
    const char* hardness;
    const char* processes; // ";"-separated
};

// Typical handbook values (room temperature, the usual temper or grade).
const SeedMaterial kMaterials[] = {
    { "Structural steel S235", "Steel", 7850, 235, 360, 210, "HB 120",
        "Prismatic Mill;Sheet Metal;Tubing;Turn;Sheet Metal Forming" },
    { "Structural steel S355", "Steel", 7850, 355, 510, 210, "HB 150",
        "Prismatic Mill;Sheet Metal;Tubing;Turn;Sheet Metal Forming" },
    { "Carbon steel AISI 1018", "Steel", 7870, 370, 440, 205, "HB 126",
        "Prismatic Mill;Sheet Metal;Tubing;Turn;Sheet Metal Forming" },
    { "Carbon steel AISI 1045", "Steel", 7850, 530, 625, 206, "HB 179", "Prismatic Mill;Turn" },
    { "Alloy steel AISI 4140", "Steel", 7850, 655, 1020, 205, "HRC 28", "Prismatic Mill;Turn" },
    { "Stainless steel 304", "Stainless steel", 8000, 215, 505, 193, "HB 201",
        "Prismatic Mill;Sheet Metal;Tubing;Turn;Investment Casting;Sheet Metal Forming" },
    { "Stainless steel 316L", "Stainless steel", 8000, 170, 485, 193, "HB 217",
        "Prismatic Mill;Sheet Metal;Tubing;Turn;Investment Casting;Additive Manufacturing;Sheet Metal Forming" },
    { "Stainless steel 17-4 PH", "Stainless steel", 7800, 1170, 1310, 197, "HRC 40",
        "Prismatic Mill;Turn;Investment Casting;Additive Manufacturing" },
    { "Aluminium 6061-T6", "Aluminium", 2700, 276, 310, 68.9, "HB 95",
        "Prismatic Mill;Sheet Metal;Tubing;Turn;Sheet Metal Forming" },
    { "Aluminium 5052-H32", "Aluminium", 2680, 193, 228, 70.3, "HB 60", "Sheet Metal;Tubing;Sheet Metal Forming" },
    { "Aluminium 7075-T6", "Aluminium", 2810, 503, 572, 71.7, "HB 150", "Prismatic Mill;Turn" },
    { "Aluminium A380", "Aluminium", 2710, 160, 324, 71, "HB 80", "Die Casting" },
    { "Aluminium A356-T6", "Aluminium", 2680, 165, 228, 72.4, "HB 70", "Casting;Sand Casting;Investment Casting" },
    { "Aluminium AlSi10Mg", "Aluminium", 2670, 230, 350, 70, "HB 120", "Additive Manufacturing" },
    { "Zinc Zamak 3", "Zinc", 6600, 221, 268, 96, "HB 82", "Die Casting" },
    { "Magnesium AZ91D", "Magnesium", 1810, 160, 230, 45, "HB 63", "Die Casting" },
    { "Brass C36000", "Copper alloy", 8500, 310, 385, 97, "HB 100", "Prismatic Mill;Turn" },
    { "Copper C11000", "Copper alloy", 8890, 69, 220, 115, "HB 45", "Sheet Metal;Tubing;Sheet Metal Forming" },
    { "Grey cast iron EN-GJL-250", "Cast iron", 7200, kNone, 250, 110, "HB 210", "Casting;Sand Casting" },
    { "Ductile iron EN-GJS-500-7", "Cast iron", 7100, 320, 500, 169, "HB 185", "Casting;Sand Casting" },
    { "Titanium Ti-6Al-4V", "Titanium", 4430, 880, 950, 113.8, "HRC 36",
        "Prismatic Mill;Turn;Investment Casting;Additive Manufacturing" },
    { "ABS", "Thermoplastic", 1050, 40, 44, 2.3, "HRR 110", "Injection Molding;Additive Manufacturing" },
    { "Polycarbonate", "Thermoplastic", 1200, 62, 69, 2.4, "HRM 70", "Injection Molding" },
    { "Polyamide PA6 GF30", "Thermoplastic", 1360, kNone, 160, 9.5, "HRR 120", "Injection Molding" },
    { "Polypropylene", "Thermoplastic", 905, 32, 35, 1.5, "Shore D 70", "Injection Molding" },
    { "Acetal POM", "Thermoplastic", 1410, 65, 70, 2.9, "HRM 86", "Injection Molding;Prismatic Mill;Turn" },
    { "Polyamide PA12", "Thermoplastic", 1010, 48, 50, 1.7, "Shore D 75", "Additive Manufacturing;Injection Molding" },
    { "Carbon fibre epoxy UD", "Composite", 1550, kNone, 1500, 135, "", "Composite" },
    { "Glass fibre epoxy woven", "Composite", 1900, kNone, 350, 20, "", "Composite" },
};

struct SeedFastener
{
    const char* type;
    const char* standard;
    const char* size;
    double pitch; // mm
    double minLength; // mm
    double maxLength; // mm
    const char* head;
    const char* drive;
    const char* material;
};

const SeedFastener kFasteners[] = {
    { "Hex head bolt", "ISO 4014", "M6", 1, 30, 150, "Hex", "External hex", "Steel 8.8" },
    { "Hex head bolt", "ISO 4014", "M8", 1.25, 35, 200, "Hex", "External hex", "Steel 8.8" },
    { "Hex head bolt", "ISO 4014", "M10", 1.5, 40, 240, "Hex", "External hex", "Steel 8.8" },
    { "Hex head bolt", "ISO 4014", "M12", 1.75, 45, 300, "Hex", "External hex", "Steel 8.8" },
    { "Hex head screw", "ISO 4017", "M5", 0.8, 8, 50, "Hex", "External hex", "Steel 8.8" },
    { "Hex head screw", "ISO 4017", "M6", 1, 10, 60, "Hex", "External hex", "Stainless A2-70" },
    { "Hex head screw", "ISO 4017", "M8", 1.25, 12, 80, "Hex", "External hex", "Steel 8.8" },
    { "Socket head cap screw", "ISO 4762", "M3", 0.5, 5, 30, "Cylindrical", "Hex socket", "Steel 12.9" },
    { "Socket head cap screw", "ISO 4762", "M4", 0.7, 6, 40, "Cylindrical", "Hex socket", "Steel 12.9" },
    { "Socket head cap screw", "ISO 4762", "M5", 0.8, 8, 50, "Cylindrical", "Hex socket", "Steel 12.9" },
    { "Socket head cap screw", "ISO 4762", "M6", 1, 10, 60, "Cylindrical", "Hex socket", "Steel 12.9" },
    { "Socket head cap screw", "ISO 4762", "M8", 1.25, 12, 80, "Cylindrical", "Hex socket", "Steel 12.9" },
    { "Socket head cap screw", "ISO 4762", "M10", 1.5, 16, 100, "Cylindrical", "Hex socket", "Steel 12.9" },
    { "Countersunk screw", "ISO 10642", "M4", 0.7, 8, 40, "Countersunk", "Hex socket", "Steel 10.9" },
    { "Countersunk screw", "ISO 10642", "M5", 0.8, 8, 50, "Countersunk", "Hex socket", "Steel 10.9" },
    { "Countersunk screw", "ISO 10642", "M6", 1, 10, 60, "Countersunk", "Hex socket", "Steel 10.9" },
    { "Pan head screw", "ISO 7045", "M3", 0.5, 4, 30, "Pan", "Cross recess Z", "Stainless A2" },
    { "Pan head screw", "ISO 7045", "M4", 0.7, 5, 40, "Pan", "Cross recess Z", "Stainless A2" },
    { "Set screw, flat point", "ISO 4026", "M6", 1, 6, 30, "Headless", "Hex socket", "Steel 45H" },
    { "Hex nut", "ISO 4032", "M6", 1, kNone, kNone, "Hex", "External hex", "Steel 8" },
    { "Hex nut", "ISO 4032", "M8", 1.25, kNone, kNone, "Hex", "External hex", "Steel 8" },
    { "Hex nut", "ISO 4032", "M10", 1.5, kNone, kNone, "Hex", "External hex", "Steel 8" },
    { "Nyloc nut", "ISO 7040", "M8", 1.25, kNone, kNone, "Hex", "External hex", "Steel 8" },
    { "Flat washer", "ISO 7089", "M6", kNone, kNone, kNone, "", "", "Steel 200 HV" },
    { "Flat washer", "ISO 7089", "M8", kNone, kNone, kNone, "", "", "Steel 200 HV" },
    { "Hex bolt", "ASME B18.2.1", "1/4-20 UNC", 1.27, 12.7, 152.4, "Hex", "External hex", "SAE Grade 5" },
    { "Hex bolt", "ASME B18.2.1", "3/8-16 UNC", 1.588, 19.05, 203.2, "Hex", "External hex", "SAE Grade 5" },
    { "Socket head cap screw", "ASME B18.3", "#10-24 UNC", 1.058, 6.35, 76.2, "Cylindrical", "Hex socket",
        "Alloy steel" },
    { "Blind rivet", "ISO 15983", "4.8 mm", kNone, 6, 25, "Dome", "", "Aluminium" },
};

// A row of table with every value empty.
vtr_db::ProductRow EmptyRow(vtr_db::ProductTable table)
{
    vtr_db::ProductRow row;
    row.values.resize(static_cast<qsizetype>(vtr_db::ProductColumns(table).size()));
    return row;
}

void Put(vtr_db::ProductRow& row, vtr_db::ProductTable table, const char* column, const char* text)
{
    if (text && *text)
        row.values[vtr_db::ProductColumnIndex(table, column)] = QString::fromUtf8(text);
}

void Put(vtr_db::ProductRow& row, vtr_db::ProductTable table, const char* column, double value)
{
    if (!std::isnan(value))
        row.values[vtr_db::ProductColumnIndex(table, column)] = value;
}
} // namespace

namespace vtr_db {

QList<ProductRow> SeedRows(ProductTable table)
{
    QList<ProductRow> rows;
    switch (table) {
    case ProductTable::Threads:
        for (const SeedThread& t : kThreads) {
            ProductRow row = EmptyRow(table);
            Put(row, table, "Standard", t.standard);
            Put(row, table, "Designation", t.designation);
            Put(row, table, "MajorDiameter", t.majorDiameter);
            Put(row, table, "Pitch", t.pitch);
            Put(row, table, "TapDrill", t.tapDrill);
            rows << row;
        }
        break;
    case ProductTable::Materials:
        for (const SeedMaterial& m : kMaterials) {
            ProductRow row = EmptyRow(table);
            Put(row, table, "Name", m.name);
            Put(row, table, "Family", m.family);
            Put(row, table, "Density", m.density);
            Put(row, table, "YieldStrength", m.yieldStrength);
            Put(row, table, "TensileStrength", m.tensileStrength);
            Put(row, table, "ElasticModulus", m.elasticModulus);
            Put(row, table, "Hardness", m.hardness);
            row.values[ProductColumnIndex(table, "Processes")]
                = QString::fromUtf8(m.processes).split(QLatin1Char(';'), Qt::SkipEmptyParts);
            rows << row;
        }
        break;
    case ProductTable::Fasteners:
        for (const SeedFastener& f : kFasteners) {
            ProductRow row = EmptyRow(table);
            Put(row, table, "Type", f.type);
            Put(row, table, "Standard", f.standard);
            Put(row, table, "Size", f.size);
            Put(row, table, "Pitch", f.pitch);
            Put(row, table, "MinLength", f.minLength);
            Put(row, table, "MaxLength", f.maxLength);
            Put(row, table, "Head", f.head);
            Put(row, table, "Drive", f.drive);
            Put(row, table, "Material", f.material);
            rows << row;
        }
        break;
    }
    return rows;
}

} // namespace vtr_db
