#pragma once

#include <QDialog>

class QListWidget;
class QMdiArea;

// The windows dialog: the open document windows, to activate or close.
class CWindowsDlg : public QDialog
{
    Q_OBJECT
public:
    CWindowsDlg(QMdiArea* area, QWidget* parent = nullptr);

    QListWidget* List() const { return m_list; }
    // Activates the chosen window and closes the dialog.
    void ActivateSelected();
    // Closes the chosen windows (each may ask to save); the list is refreshed.
    void CloseSelected();

private:
    void Fill();

    QMdiArea* m_area;
    QListWidget* m_list;
};
