#include "ProductTableDlg.h"

#include "VTRFrameWrkUtils.h"
#include "VtrSettingsFile.h"
#include "VtrWindowPlacement.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QAbstractItemDelegate>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

ProductTableDlg::ProductTableDlg(
    ProductTableModel* model, vtr_db::IDatabaseCollector* db, const QString& title, QWidget* parent)
    : QDialog(parent)
    , m_model(model)
    , m_db(db)
{
    setObjectName(QStringLiteral("productTableDlg"));
    setWindowTitle(title);
    setModal(true);

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("filterEdit"));
    m_filter->setPlaceholderText(QStringLiteral("Filter"));
    m_filter->setClearButtonEnabled(true);

    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setSortRole(ProductTableModel::SortRole);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setFilterKeyColumn(-1);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("productTable"));
    m_table->setModel(m_proxy);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(-1, Qt::AscendingOrder); // stored order until a header is clicked
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(
        QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setVisible(false);

    m_add = new QPushButton(QStringLiteral("&Add"), this);
    m_add->setObjectName(QStringLiteral("addButton"));
    m_delete = new QPushButton(QStringLiteral("&Delete"), this);
    m_delete->setObjectName(QStringLiteral("deleteButton"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->setWordWrap(true);
    m_status->setStyleSheet(QStringLiteral("color: #b00020"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);

    auto* top = new QHBoxLayout;
    top->addWidget(m_filter, 1);
    top->addWidget(m_add);
    top->addWidget(m_delete);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_status);
    layout->addWidget(buttons);

    connect(m_filter, &QLineEdit::textChanged, m_proxy, &QSortFilterProxyModel::setFilterFixedString);
    connect(m_add, &QPushButton::clicked, this, &ProductTableDlg::OnAdd);
    connect(m_delete, &QPushButton::clicked, this, &ProductTableDlg::OnDelete);
    connect(buttons, &QDialogButtonBox::accepted, this, &ProductTableDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ProductTableDlg::reject);
    connect(m_model, &ProductTableModel::Refused, this, &ProductTableDlg::ShowStatus);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UpdateButtons(); });

    QString error;
    m_loaded = m_model->Load(m_db, error);
    if (!m_loaded) {
        // Nothing can be stored over a table that could not be read.
        m_model->SetReadOnly(true);
        ShowStatus(QStringLiteral("The product database cannot be used: %1").arg(error));
    }
    UpdateButtons();
    m_table->resizeColumnsToContents();
    // As wide as the columns want, but never wider than the screen: OK and
    // Cancel must stay in reach.
    const QSize preferred(std::max(720, std::min(1400, m_table->horizontalHeader()->length() + 60)), 520);
    resize(VtrFitWindowRect(QRect(QPoint(0, 0), preferred), AvailableArea(parent)).size());
}

QRect ProductTableDlg::AvailableArea(const QWidget* near)
{
    QScreen* screen = near ? near->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void ProductTableDlg::RestorePlace(const QSettings& settings, const QString& name)
{
    const std::optional<VtrWindowPlace> place = VtrLoadWindowPlace(settings, name);
    if (!place)
        return; // the first time: the fitted size, centred over the parent when shown
    QScreen* screen = QGuiApplication::screenAt(place->geometry.center());
    const QRect available = screen ? screen->availableGeometry() : AvailableArea(parentWidget());
    setGeometry(VtrFitWindowRect(place->geometry, available));
    if (place->maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void ProductTableDlg::SavePlace(QSettings& settings, const QString& name) const
{
    VtrSaveWindowPlace(settings, name, { normalGeometry(), isMaximized() });
    settings.sync();
}

QString ProductTableDlg::StatusText() const
{
    return m_status->text();
}

void ProductTableDlg::ShowStatus(const QString& text)
{
    m_status->setText(text);
}

void ProductTableDlg::UpdateButtons()
{
    const bool editable = m_loaded && !m_model->IsReadOnly();
    m_add->setEnabled(editable);
    m_delete->setEnabled(editable && m_table->selectionModel()->hasSelection());
    m_ok->setEnabled(editable);
}

void ProductTableDlg::OnAdd()
{
    // A filter could hide the new, empty row.
    m_filter->clear();
    const int row = m_model->AddRow();
    const QModelIndex index = m_proxy->mapFromSource(m_model->index(row, 0));
    m_table->setCurrentIndex(index);
    m_table->scrollTo(index);
    m_table->edit(index);
    ShowStatus({});
}

void ProductTableDlg::OnDelete()
{
    QList<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        rows << m_proxy->mapToSource(index).row();
    // From the bottom, so the rows still to delete keep their numbers.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : rows)
        m_model->RemoveRow(row);
    UpdateButtons();
}

void ProductTableDlg::accept()
{
    // A value still in its editor counts as typed.
    if (QWidget* editor = m_table->indexWidget(m_table->currentIndex())) {
        emit m_table->itemDelegate()->commitData(editor);
        emit m_table->itemDelegate()->closeEditor(editor);
    }
    QString error;
    int badRow = -1;
    if (!m_model->Store(m_db, error, badRow)) {
        ShowStatus(error);
        if (badRow >= 0) {
            m_filter->clear();
            const QModelIndex index = m_proxy->mapFromSource(m_model->index(badRow, 0));
            m_table->setCurrentIndex(index);
            m_table->scrollTo(index);
        }
        return;
    }
    QDialog::accept();
}

void RunProductTableEditor(ProductTableModel& model, const QString& title, void* parent)
{
    vtr_db::IDatabaseCollector* db = vtr_db::VTRDataHelper::getInstance()->GetCollector();
    ProductTableDlg dialog(&model, db, title, static_cast<QWidget*>(parent));
    // Each editor opens where the user last left it, fitted to the screen.
    const std::unique_ptr<QSettings> places
        = VtrOpenSettingsFile(CVTRFrameWrkUtils::GetDataSettingsFolder() + QStringLiteral("ProductEditors.ini"));
    dialog.RestorePlace(*places, title);
    dialog.exec();
    dialog.SavePlace(*places, title);
}
