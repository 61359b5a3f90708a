#include "ProductTableModel.h"

#include "../sqlitedb/DatabaseModule.h"

#include <gtest/gtest.h>

#include <QSortFilterProxyModel>

using vtr_db::ProductTable;

namespace {

class ProductTableModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(module.IsLoaded()) << qPrintable(VtrLibrary::LastError());
        db = module.Create();
    }

    // A model of a table with every text column, loaded.
    std::unique_ptr<ProductTableModel> Loaded(ProductTable table, QStringList processes = {})
    {
        auto model = std::make_unique<ProductTableModel>(table, ProductTableModel::TextColumns(table), processes);
        QString error;
        EXPECT_TRUE(model->Load(db.get(), error)) << qPrintable(error);
        return model;
    }

    // The model column that shows a table column.
    static int ColumnOf(const ProductTableModel& model, const char* sqlName)
    {
        const int tableColumn = vtr_db::ProductColumnIndex(model.Table(), sqlName);
        for (int c = 0; c < model.columnCount(); ++c)
            if (model.TableColumn(c) == tableColumn)
                return c;
        return -1;
    }

    static int RowWith(const ProductTableModel& model, int column, const QString& text)
    {
        for (int r = 0; r < model.rowCount(); ++r)
            if (model.index(r, column).data().toString() == text)
                return r;
        return -1;
    }

    ScopedTestEnv env;
    DatabaseModule module;
    DatabaseModule::Collector db { nullptr, { nullptr } };
};

TEST_F(ProductTableModelTest, TypedValuesAreCheckedAndRefusalsLeaveTheCell)
{
    auto model = Loaded(ProductTable::Threads);
    int refused = 0;
    QObject::connect(model.get(), &ProductTableModel::Refused, [&refused](const QString&) { ++refused; });
    const int designation = ColumnOf(*model, "Designation");
    const int tapDrill = ColumnOf(*model, "TapDrill");
    const int m6 = RowWith(*model, designation, QStringLiteral("M6x1"));
    ASSERT_GE(m6, 0);
    EXPECT_EQ(model->index(m6, tapDrill).data().toString(), QStringLiteral("5"));

    struct Case
    {
        int column;
        const char* typed;
        bool accepted;
        const char* shown; // the cell afterwards
    };
    const Case cases[] = {
        { tapDrill, "five", false, "5" },
        { tapDrill, "-1", false, "5" },
        { designation, "m8x1.25", false, "M6x1" }, // another row's, without regard to case
        { designation, "", false, "M6x1" },
        { tapDrill, "5,1", true, "5.1" },
        { designation, "M6x1 special", true, "M6x1 special" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const QModelIndex index = model->index(m6, c.column);
        EXPECT_EQ(model->setData(index, QString::fromUtf8(c.typed)), c.accepted);
        EXPECT_EQ(index.data().toString(), QString::fromUtf8(c.shown));
        EXPECT_EQ(model->LastRefusal().isEmpty(), c.accepted);
    }
    EXPECT_EQ(refused, 4);
    EXPECT_TRUE(model->IsModified());
}

TEST_F(ProductTableModelTest, AddEditDeleteAreStoredOnlyByStore)
{
    auto model = Loaded(ProductTable::Fasteners);
    const int rows = model->rowCount();
    const int type = ColumnOf(*model, "Type");
    const int size = ColumnOf(*model, "Size");
    const int material = ColumnOf(*model, "Material");

    const int added = model->AddRow();
    EXPECT_EQ(model->rowCount(), rows + 1);
    ASSERT_TRUE(model->setData(model->index(added, type), QStringLiteral("Shoulder screw")));
    ASSERT_TRUE(model->setData(model->index(0, material), QStringLiteral("Titanium grade 5")));
    ASSERT_TRUE(model->RemoveRow(1));

    // Dropping the model is Cancel: a fresh one sees the stored rows.
    EXPECT_EQ(Loaded(ProductTable::Fasteners)->rowCount(), rows);

    // The new row lacks its size: Store names the row and writes nothing.
    QString error;
    int badRow = -1;
    EXPECT_FALSE(model->Store(db.get(), error, badRow));
    EXPECT_EQ(badRow, added - 1); // the deleted row moved it up
    EXPECT_TRUE(error.contains(QStringLiteral("Size"))) << qPrintable(error);
    EXPECT_EQ(Loaded(ProductTable::Fasteners)->rowCount(), rows);

    ASSERT_TRUE(model->setData(model->index(badRow, size), QStringLiteral("M8")));
    ASSERT_TRUE(model->Store(db.get(), error, badRow)) << qPrintable(error);
    EXPECT_FALSE(model->IsModified());

    db->Release();
    auto reopened = Loaded(ProductTable::Fasteners);
    EXPECT_EQ(reopened->rowCount(), rows);
    EXPECT_EQ(reopened->index(0, material).data().toString(), QStringLiteral("Titanium grade 5"));
    EXPECT_GE(RowWith(*reopened, type, QStringLiteral("Shoulder screw")), 0);
    // A second store of the same model adds nothing twice.
    ASSERT_TRUE(model->Store(db.get(), error, badRow));
    EXPECT_EQ(Loaded(ProductTable::Fasteners)->rowCount(), rows);
}

TEST_F(ProductTableModelTest, ProcessMapTogglesProcessesAndKeepsOthers)
{
    const QStringList processes = vtr_db::ManufacturingProcesses();
    const int name = vtr_db::ProductColumnIndex(ProductTable::Materials, "Name");
    ProductTableModel model(ProductTable::Materials, { name }, processes);
    QString error;
    ASSERT_TRUE(model.Load(db.get(), error));
    ASSERT_EQ(model.columnCount(), 1 + processes.size());
    EXPECT_EQ(model.headerData(4, Qt::Horizontal).toString(), QStringLiteral("Turn"));

    const int abs = RowWith(model, 0, QStringLiteral("ABS"));
    ASSERT_GE(abs, 0);
    const int molding = 1 + static_cast<int>(processes.indexOf(QStringLiteral("Injection Molding")));
    const int composite = 1 + static_cast<int>(processes.indexOf(QStringLiteral("Composite")));
    EXPECT_EQ(model.index(abs, molding).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(model.index(abs, composite).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_TRUE(model.flags(model.index(abs, composite)) & Qt::ItemIsUserCheckable);

    ASSERT_TRUE(model.setData(model.index(abs, molding), Qt::Unchecked, Qt::CheckStateRole));
    ASSERT_TRUE(model.setData(model.index(abs, composite), Qt::Checked, Qt::CheckStateRole));
    int badRow = -1;
    ASSERT_TRUE(model.Store(db.get(), error, badRow)) << qPrintable(error);

    // The property editor sees the same map, including processes the map was not shown.
    auto all = Loaded(ProductTable::Materials);
    const int processColumn = vtr_db::ProductColumnIndex(ProductTable::Materials, "Processes");
    EXPECT_EQ(all->Row(abs).values[processColumn].toStringList(),
        (QStringList { QStringLiteral("Additive Manufacturing"), QStringLiteral("Composite") }));

    // Shown read-only, nothing can change.
    ProductTableModel view(ProductTable::Materials, { name }, processes);
    view.SetReadOnly(true);
    ASSERT_TRUE(view.Load(db.get(), error));
    EXPECT_FALSE(view.setData(view.index(abs, molding), Qt::Checked, Qt::CheckStateRole));
    EXPECT_FALSE(view.flags(view.index(abs, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(view.RemoveRow(abs));
}

TEST_F(ProductTableModelTest, SortingIsNumericAndFilteringSpansColumns)
{
    auto model = Loaded(ProductTable::Materials);
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(model.get());
    proxy.setSortRole(ProductTableModel::SortRole);
    proxy.setFilterKeyColumn(-1);
    proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
    const int density = ColumnOf(*model, "Density");
    proxy.sort(density, Qt::AscendingOrder);
    double last = -1;
    for (int r = 0; r < proxy.rowCount(); ++r) {
        const double value = proxy.index(r, density).data(ProductTableModel::SortRole).toDouble();
        EXPECT_LE(last, value) << r;
        last = value;
    }
    // The lightest is a plastic (905 before 1010 as numbers, not as text).
    EXPECT_EQ(proxy.index(0, density).data().toString(), QStringLiteral("905"));

    proxy.setFilterFixedString(QStringLiteral("thermoplastic"));
    EXPECT_GT(proxy.rowCount(), 3);
    for (int r = 0; r < proxy.rowCount(); ++r)
        EXPECT_EQ(proxy.index(r, ColumnOf(*model, "Family")).data().toString(), QStringLiteral("Thermoplastic"));
}

TEST_F(ProductTableModelTest, TypedNameOfAnotherNewRowIsRefused)
{
    auto model = Loaded(ProductTable::Materials);
    const int name = ColumnOf(*model, "Name");
    const int first = model->AddRow();
    const int second = model->AddRow();
    ASSERT_TRUE(model->setData(model->index(first, name), QStringLiteral("Alloy X")));
    ASSERT_TRUE(model->setData(model->index(second, name), QStringLiteral("Alloy Y")));
    // Typed directly, the same name is refused; two rows can only clash if
    // their values came in otherwise, which FindProblem still catches.
    EXPECT_FALSE(model->setData(model->index(second, name), QStringLiteral("alloy x")));
    QString error;
    EXPECT_EQ(model->FindProblem(error), -1) << qPrintable(error);
}

TEST_F(ProductTableModelTest, WithoutADatabaseTheModelIsEmptyAndSaysWhy)
{
    ProductTableModel model(ProductTable::Threads, ProductTableModel::TextColumns(ProductTable::Threads));
    QString error;
    EXPECT_FALSE(model.Load(nullptr, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(model.rowCount(), 0);
    int badRow = 0;
    model.AddRow();
    EXPECT_FALSE(model.Store(nullptr, error, badRow));
}

} // namespace
