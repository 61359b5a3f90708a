#pragma once

#include "Utilities/HelpTopics.h"

#include <QDialog>

class QLabel;
class QPushButton;

// Asks before rules are reset to their defaults: "Yes" accepts, "No" (or
// closing) rejects. Help (the button or F1) opens the help page of the
// question.
class CVTRResetToDefaultWarning : public QDialog
{
    Q_OBJECT
public:
    // helpFile: the program's help file; empty for no help.
    explicit CVTRResetToDefaultWarning(const QString& helpFile, QWidget* parent = nullptr);

    // The help context of the question.
    static constexpr int kHelpId = HelpTopic::ResetToDefault;

    QLabel* Text() const { return m_text; }
    QPushButton* YesButton() const { return m_yes; }
    QPushButton* NoButton() const { return m_no; }
    // Opens the help page; false when it could not be shown.
    bool ShowHelp();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_helpFile;
    QLabel* m_text = nullptr;
    QPushButton* m_yes = nullptr;
    QPushButton* m_no = nullptr;
};
