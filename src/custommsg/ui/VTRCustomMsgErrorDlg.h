#pragma once

#include <QDialog>

class CHyperLink;
class QLabel;
class QPushButton;

// Says that an import raised a flag: "Custom Message imported with errors : "
// "Click here" "for details.", where the blue link opens the import log with
// the desktop's default program. Help (the button or F1) opens the help page.
class CVTRCustomMsgErrorDlg : public QDialog
{
    Q_OBJECT
public:
    CVTRCustomMsgErrorDlg(const QString& logPath, const QString& helpFile, QWidget* parent = nullptr);

    CHyperLink* Link() const { return m_link; }
    QLabel* Text() const { return m_text; }
    QLabel* Details() const { return m_details; }
    QPushButton* OkButton() const { return m_ok; }
    bool ShowHelp();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_helpFile;
    QLabel* m_text = nullptr;
    CHyperLink* m_link = nullptr;
    QLabel* m_details = nullptr;
    QPushButton* m_ok = nullptr;
};
