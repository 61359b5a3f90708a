#pragma once

#include "ProductTableModel.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QSettings;
class QSortFilterProxyModel;
class QTableView;

// The modal editor of one product table: the rows in a sortable table, a
// filter over every column, Add and Delete, and a line that says why a value
// was refused. OK stores every change in one transaction and closes; a
// change that cannot be stored keeps the dialog open with the reason. Cancel
// drops every change.
class ProductTableDlg : public QDialog
{
    Q_OBJECT
public:
    // The dialog loads the model from db (which may be null) and stores into it.
    ProductTableDlg(
        ProductTableModel* model, vtr_db::IDatabaseCollector* db, const QString& title, QWidget* parent = nullptr);

    ProductTableModel* Model() const { return m_model; }
    QTableView* Table() const { return m_table; }
    QLineEdit* Filter() const { return m_filter; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* DeleteButton() const { return m_delete; }
    QPushButton* OkButton() const { return m_ok; }
    // The reason of the last refusal or failure, empty when all is well.
    QString StatusText() const;

    void accept() override;

    // Gives the dialog the place stored under name, fitted to the screen;
    // without one it keeps its size and opens over its parent.
    void RestorePlace(const QSettings& settings, const QString& name);
    // Stores where the dialog is now under name.
    void SavePlace(QSettings& settings, const QString& name) const;
    // The available area of the screen near a widget (the primary screen without one).
    static QRect AvailableArea(const QWidget* near);

private:
    void OnAdd();
    void OnDelete();
    void ShowStatus(const QString& text);
    void UpdateButtons();

    ProductTableModel* m_model;
    vtr_db::IDatabaseCollector* m_db;
    QSortFilterProxyModel* m_proxy = nullptr;
    QTableView* m_table = nullptr;
    QLineEdit* m_filter = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_ok = nullptr;
    QLabel* m_status = nullptr;
    bool m_loaded = false;
};

// Opens a product table editor over the process-wide product database and
// returns when the user closes it.
void RunProductTableEditor(ProductTableModel& model, const QString& title, void* parent);
