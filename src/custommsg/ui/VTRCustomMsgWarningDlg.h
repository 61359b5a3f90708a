#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// Warns that custom messages go into the centralized database: OK (accept)
// goes on, Cancel (or closing) stores nothing; the caller turns the warning
// off after OK. Help (the button or F1) opens the help page.
class CVTRCustomMsgWarningDlg : public QDialog
{
    Q_OBJECT
public:
    // helpFile: the program's help file; empty for no help.
    explicit CVTRCustomMsgWarningDlg(const QString& helpFile, QWidget* parent = nullptr);

    // The help context of both custom-message dialogs.
    static constexpr int kHelpId = 15001;

    QLabel* TextLabel() const { return m_text; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }
    // Opens the help page; false when it could not be shown.
    bool ShowHelp();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_helpFile;
    QLabel* m_text = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

// Opens a custom-message dialog's help page; false when it was not shown.
bool ShowCustomMessageHelp(const QString& helpFile);
